#pragma once

#include <QNetworkProxyFactory>
#include <functional>
#include <memory>

class QThreadPool;

class QObject;
class QUrl;

/**
 * The system's proxy, found off the GUI thread. Asking Windows for it may run
 * automatic proxy discovery (DHCP, then DNS lookups of "wpad" hosts), which
 * blocks its caller for as long as the network takes to answer: seconds on a
 * captive portal, and as long as the DNS time-outs where no DNS server
 * answers. Qt asks its proxy factory on the thread that makes the request,
 * so this factory never looks anything up itself: it answers from what
 * worker threads found, and has them look up what it does not know yet.
 * The workers are the factory's own; a lookup cannot be interrupted, so the
 * factory waits for them a bounded time as it goes.
 */
class SystemProxy final : public QNetworkProxyFactory
{
public:
    using Lookup = std::function<QList<QNetworkProxy>(const QNetworkProxyQuery &)>;

    /// exitWaitMs: how long the factory's end waits for lookups under way.
    SystemProxy(Lookup lookup, int exitWaitMs);
    ~SystemProxy() override;

    /// Looks up the proxies of these addresses on a worker thread, and then
    /// calls done on the GUI thread, unless this factory is gone by then.
    void prepare(const QList<QUrl> &addresses, QObject *receiver, std::function<void()> done);

    /// Never blocks: what a worker found for the query's host, and for a host
    /// not looked up yet the answer for the first prepared address (most
    /// systems name one proxy for every outside host) while a worker looks it
    /// up. An answer older than a few minutes is looked up again meanwhile,
    /// for a laptop that has moved to another network.
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

private:
    struct State;
    static void lookUp(const std::shared_ptr<State> &state, const QList<QNetworkProxyQuery> &queries);

    std::shared_ptr<State> m_state;
    int m_exitWaitMs;
    std::unique_ptr<QThreadPool> m_pool;
};
