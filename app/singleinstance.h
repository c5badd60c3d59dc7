#pragma once

#include <QLockFile>
#include <QString>
#include <QStringList>

class QByteArray;
class QLocalSocket;

/**
 * Decides whether this process is the first launcher copy of the user or a
 * later one that hands its launch link over and exits.
 *
 * A running copy answers on the local socket. When nobody answers, a per-user
 * lock decides: its holder is the first copy and the only one that may clear a
 * stale socket name and listen. A copy that finds the lock taken is racing a
 * first copy that has not started listening yet, so it keeps trying to connect
 * for a short, bounded time before it gives up and runs on its own.
 */
class SingleInstance final
{
public:
    enum class Role {
        Second,            ///< connected to a running copy
        First,             ///< holds the lock; listens for later copies
        FirstWithoutChannel ///< nobody answered and the lock stayed taken
    };

    explicit SingleInstance(const QString &serverName);

    /// Connects socket to a running copy or takes the lock. Blocks for at most
    /// connectWaitMs, plus contentionWaitMs when another copy holds the lock.
    Role claim(QLocalSocket &socket, int connectWaitMs = 500, int contentionWaitMs = 3000);

    /// The last argument that is a launch link, or an empty string.
    static QString launchLinkFrom(const QStringList &arguments);

    /// Whether text starts with the launch-link prefix, ignoring case.
    static bool isLaunchLink(const QString &text);

    /// Whether a message read from the channel asks for the play action.
    static bool messageRequestsPlay(const QByteArray &message);

    /// The most a running copy reads from one connection. A link is short; this
    /// keeps a misbehaving peer from making it buffer without bound.
    static constexpr qint64 maxMessageSize = 4096;

private:
    QString m_serverName;
    QLockFile m_lock;
};
