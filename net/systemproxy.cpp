#include "net/systemproxy.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <thread>

namespace {
// Lookups under way on worker threads, in the whole process.
std::atomic<int> runningLookups{0};

// Runs work on a thread of its own, detached: a discovery that takes its time
// must not hold up whoever started it.
template <typename Work> void detach(Work work)
{
    ++runningLookups;
    std::thread([work = std::move(work)] {
        work();
        --runningLookups;
    }).detach();
}

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

SystemProxy::SystemProxy(Lookup lookup)
    : m_state(std::make_shared<State>(std::move(lookup)))
{
}

SystemProxy::~SystemProxy()
{
    // Lookups may outlive the factory (they cannot be interrupted), and must
    // not report to a receiver that is gone.
    const QMutexLocker lock(&m_state->mutex);
    m_state->receiver = nullptr;
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
    detach([state = m_state, queries, done = std::move(done)] {
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
        detach([state = m_state, query] { lookUp(state, {query}); });
    }
    return known != m_state->answers.cend() ? known->proxies : m_state->fallback;
}

bool SystemProxy::finishLookups(int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    while (runningLookups > 0 && !deadline.hasExpired())
        QThread::msleep(10);
    return runningLookups == 0;
}
