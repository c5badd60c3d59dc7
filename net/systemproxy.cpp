#include "net/systemproxy.h"

#include "config/logging.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThreadPool>
#include <QUrl>

namespace {
// A start-up looks up its first addresses on one thread and a request's host
// on the other; a discovery that takes its time holds up no more than that.
constexpr int lookupThreads = 2;
// Lookups come in bursts at start-up and then every few minutes.
constexpr int idleThreadMs = 5000;

// Long enough that a start-up looks each host up once, short enough that a
// laptop moved to another network soon uses that network's proxy.
constexpr int freshForMs = 5 * 60 * 1000;

QString keyOf(const QNetworkProxyQuery &query)
{
    return query.protocolTag() + QLatin1Char(' ') + query.peerHostName() + QLatin1Char(' ')
        + QString::number(query.peerPort());
}
} // namespace

struct SystemProxy::State
{
    explicit State(Lookup lookup)
        : lookup(std::move(lookup))
    {
    }

    struct Answer
    {
        QList<QNetworkProxy> proxies;
        QDeadlineTimer fresh;
    };

    const Lookup lookup;
    QMutex mutex; // guards everything below
    QHash<QString, Answer> answers;
    QList<QNetworkProxy> fallback{QNetworkProxy(QNetworkProxy::NoProxy)};
    bool fallbackFound = false;
    QSet<QString> lookingUp;
    QObject *receiver = nullptr; ///< of prepare()'s report; cleared when the factory goes
};

SystemProxy::SystemProxy(Lookup lookup, int exitWaitMs)
    : m_state(std::make_shared<State>(std::move(lookup)))
    , m_exitWaitMs(exitWaitMs)
    , m_pool(std::make_unique<QThreadPool>())
{
    m_pool->setMaxThreadCount(lookupThreads);
    m_pool->setExpiryTimeout(idleThreadMs);
}

SystemProxy::~SystemProxy()
{
    {
        // A lookup that ends after the factory must not report to a receiver that is gone.
        const QMutexLocker lock(&m_state->mutex);
        m_state->receiver = nullptr;
    }
    m_pool->clear();
    if (m_pool->waitForDone(m_exitWaitMs))
        return;
    // A lookup blocked in the system cannot be interrupted, and a pool waits
    // for its threads as it goes: it is left behind, on purpose, to the end of
    // the process, which takes its thread down with it. Until then the lookup
    // touches nothing but the state it shares, and nothing is told of it.
    qCWarning(lcNetwork) << "a proxy lookup still runs after" << m_exitWaitMs << "ms; left to the end of the process";
    QThreadPool *leftBehind = m_pool.release();
    Q_UNUSED(leftBehind);
}

void SystemProxy::lookUp(const std::shared_ptr<State> &state, const QList<QNetworkProxyQuery> &queries)
{
    for (const QNetworkProxyQuery &query : queries) {
        QList<QNetworkProxy> proxies = state->lookup(query);
        if (proxies.isEmpty())
            proxies << QNetworkProxy(QNetworkProxy::NoProxy);
        const QMutexLocker lock(&state->mutex);
        state->answers.insert(keyOf(query), {proxies, QDeadlineTimer(freshForMs)});
        state->lookingUp.remove(keyOf(query));
        if (!state->fallbackFound) {
            state->fallback = proxies;
            state->fallbackFound = true;
        }
    }
}

void SystemProxy::prepare(const QList<QUrl> &addresses, QObject *receiver, std::function<void()> done)
{
    QList<QNetworkProxyQuery> queries;
    {
        const QMutexLocker lock(&m_state->mutex);
        m_state->receiver = receiver;
        for (const QUrl &address : addresses) {
            queries << QNetworkProxyQuery(address);
            m_state->lookingUp.insert(keyOf(queries.constLast()));
        }
    }
    m_pool->start([state = m_state, queries, done = std::move(done)] {
        lookUp(state, queries);
        const QMutexLocker lock(&state->mutex);
        if (state->receiver)
            QMetaObject::invokeMethod(state->receiver, done, Qt::QueuedConnection);
    });
}

QList<QNetworkProxy> SystemProxy::queryProxy(const QNetworkProxyQuery &query)
{
    const QString key = keyOf(query);
    const QMutexLocker lock(&m_state->mutex);
    const auto known = m_state->answers.constFind(key);
    const bool current = known != m_state->answers.cend() && !known->fresh.hasExpired();
    if (!current && !m_state->lookingUp.contains(key)) {
        m_state->lookingUp.insert(key);
        m_pool->start([state = m_state, query] { lookUp(state, {query}); });
    }
    return known != m_state->answers.cend() ? known->proxies : m_state->fallback;
}
