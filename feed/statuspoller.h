#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

/**
 * Polls "/servers" for the number of players online: once at start() and then
 * on every tick. A tick while a poll is outstanding sends nothing. A failed,
 * stalled or unreadable poll reports nothing; the next tick polls again. The
 * count is never taken from a cache: an old number would be a wrong one.
 */
class StatusPoller final : public QObject
{
    Q_OBJECT

public:
    StatusPoller(
        QNetworkAccessManager *manager, const QString &url, int intervalMs, int timeoutMs, QObject *parent = nullptr);

    /// The most a "/servers" answer may hold: thousands of servers.
    static constexpr qint64 maxAnswerBytes = 256 * 1024;

    void start();
    void poll();

    /**
     * Players online summed over every server of the answer. A server adds its
     * "online" value when that is a whole number in the 32-bit range and 0 in
     * every other case, also when the server is not a JSON object. The sum is
     * taken in 64 bits and clamped to the 32-bit range. Empty when the answer is
     * not a JSON array.
     */
    static std::optional<int> onlineTotal(const QByteArray &answer);

signals:
    void onlineChanged(int total);

private:
    void onFinished();

    QNetworkAccessManager *m_manager;
    QString m_url;
    int m_timeoutMs;
    QTimer *m_timer;
    QPointer<QNetworkReply> m_reply;
};
