#pragma once

#include "config/platform.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QByteArray;
class QLocalServer;
class QLocalSocket;

/**
 * The channel between launcher copies of one user: a later copy hands its
 * launch link to the running one and exits.
 *
 * A running copy answers on the local socket. When nobody answers, a per-user
 * lock decides: its holder is the first copy and the only one that may clear a
 * stale socket name and listen. A copy that finds the lock taken is racing a
 * first copy that has not started listening yet, so it keeps trying to connect
 * for a short, bounded time before it gives up and runs on its own.
 *
 * A listening channel reads one short message per connection, and drops peers
 * that send more or stay silent, so that no peer can make it hold memory or
 * sockets without bound.
 */
class InstanceChannel final : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        Second, ///< connected to a running copy
        First, ///< holds the lock; may listen for later copies
        Lone, ///< nobody answered and the lock stayed taken, another user answered, or there is no channel
    };

    explicit InstanceChannel(const QString &name, QObject *parent = nullptr);

    /// Connects socket to a running copy or takes the lock. Blocks for at most
    /// connectWaitMs, plus contentionWaitMs when another copy holds the lock.
    Role claim(QLocalSocket &socket, int connectWaitMs = 500, int contentionWaitMs = 3000);

    /// Opens the channel for later copies; only the lock holder may. A name left
    /// by a copy that crashed is cleared and listening tried once more; returns
    /// false when the channel stays closed (this copy then runs on its own).
    bool listen();

    /// Stops listening and gives up the lock, so that a copy started from now
    /// on is the first one, while this one is still on its way out.
    void close();

    /// How long a peer may stay connected without writing.
    void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }
    QString address() const { return m_address; }

    /// The last argument that is a launch link, or an empty string.
    static QString launchLinkFrom(const QStringList &arguments);
    /// Whether text starts with the launch-link prefix, ignoring case.
    static bool isLaunchLink(const QString &text);
    /// Whether a message read from the channel asks for the play action.
    static bool messageRequestsPlay(const QByteArray &message);

    /// The most a running copy reads from one connection. A link is short.
    static constexpr qint64 maxMessageSize = 4096;

signals:
    /// A later copy asked this one to come to the front; play: and to play.
    void activated(bool play);
    /// claim() found the lock taken and keeps looking for the channel.
    void contended();

private:
    void onConnection();
    Role refuse(QLocalSocket &socket);

    QString m_address;
    Platform::InstanceLock m_lock;
    QLocalServer *m_server = nullptr;
    int m_idleTimeoutMs = 10000;
};
