#include "feed/statuspoller.h"

#include "config/logging.h"
#include "net/replybody.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkReply>
#include <QTimer>
#include <limits>

StatusPoller::StatusPoller(
    QNetworkAccessManager *manager, const QString &url, int intervalMs, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_url(url)
    , m_timeoutMs(timeoutMs)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(intervalMs);
    connect(m_timer, &QTimer::timeout, this, &StatusPoller::poll);
}

void StatusPoller::start()
{
    m_timer->start();
    poll();
}

void StatusPoller::poll()
{
    if (m_reply)
        return;
    m_reply = getAnswer(m_manager, m_url, m_timeoutMs, maxAnswerBytes);
    connect(m_reply, &QNetworkReply::finished, this, &StatusPoller::onFinished);
}

void StatusPoller::onFinished()
{
    const ReplyBody answer = takeBody(m_reply);
    if (answer.kind != ReplyBody::Kind::Complete)
        return;
    if (const std::optional<int> total = onlineTotal(answer.body))
        emit onlineChanged(*total);
    else
        qCWarning(lcFeed) << "the server list is not a JSON array";
}

std::optional<int> StatusPoller::onlineTotal(const QByteArray &answer)
{
    const QJsonDocument document = QJsonDocument::fromJson(answer);
    if (!document.isArray())
        return std::nullopt;
    // Every term fits 32 bits and no array in memory has 2^32 elements, so the
    // 64-bit sum itself cannot overflow.
    qint64 total = 0;
    const QJsonArray servers = document.array();
    for (const QJsonValue &server : servers)
        total += server.toObject().value(QLatin1String("online")).toInt(0);
    return int(qBound(qint64(std::numeric_limits<int>::min()), total, qint64(std::numeric_limits<int>::max())));
}
