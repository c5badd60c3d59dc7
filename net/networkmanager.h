#pragma once

#include "net/systemproxy.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QUrl>
#include <functional>

/**
 * The launcher's one network manager, handed to every feature. It writes the
 * end of every request to the log (the address without its query, the HTTP
 * status, the bytes, the time taken, the error), finds the system's proxy off
 * the GUI thread (see SystemProxy), and keeps the HTTP cache of the news once
 * start() opens it.
 */
class NetworkManager final : public QNetworkAccessManager
{
    Q_OBJECT

public:
    using ProxyLookup = std::function<QList<QNetworkProxy>(const QNetworkProxyQuery &)>;

    /// proxyExitWaitMs: how long the manager's end waits for proxy lookups under way.
    explicit NetworkManager(ProxyLookup proxyLookup, int proxyExitWaitMs = 200, QObject *parent = nullptr);

    /// The most the HTTP cache holds on disk.
    static constexpr qint64 cacheBytes = qint64(64) << 20;

    /**
     * Opens the HTTP cache in cacheFolder and looks up the proxies of the
     * addresses the launcher will ask; ready() follows once they are known,
     * or after maxWaitMs, whichever comes first.
     */
    void start(const QString &cacheFolder, const QList<QUrl> &addresses, int maxWaitMs);

signals:
    void ready();

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *data) override;

private:
    void becomeReady();

    SystemProxy *m_proxy; // owned by the manager, as its proxy factory
    bool m_ready = false;
};
