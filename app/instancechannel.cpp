#include "app/instancechannel.h"

#include "config/launcherenvironment.h"
#include "config/logging.h"
#include "config/platform.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

InstanceChannel::InstanceChannel(const QString &name, QObject *parent)
    : QObject(parent)
    , m_address(Platform::channelAddress(name))
    , m_lock(name)
{
}

InstanceChannel::Role InstanceChannel::claim(QLocalSocket &socket, int connectWaitMs, int contentionWaitMs)
{
    if (m_address.isEmpty())
        return Role::Lone;
    // Only a launcher of this user counts: on Windows another account can
    // hold a pipe of this name, and this copy then runs on its own.
    const auto reached = [this, &socket](int waitMs) {
        socket.abort();
        socket.connectToServer(m_address, QIODevice::ReadWrite);
        return socket.waitForConnected(waitMs);
    };
    if (reached(connectWaitMs))
        return Platform::isOwnServer(socket) ? Role::Second : refuse(socket);
    if (m_lock.tryLock())
        return Role::First;

    emit contended();
    const QDeadlineTimer deadline(contentionWaitMs);
    while (!deadline.hasExpired()) {
        if (reached(100))
            return Platform::isOwnServer(socket) ? Role::Second : refuse(socket);
        if (m_lock.tryLock())
            return Role::First;
        QThread::msleep(50);
    }
    socket.abort();
    return Role::Lone;
}

InstanceChannel::Role InstanceChannel::refuse(QLocalSocket &socket)
{
    qCWarning(lcChannel) << "the channel's name is held by a program of another user";
    socket.abort();
    return Role::Lone;
}

bool InstanceChannel::listen()
{
    if (m_server || !m_lock.isLocked())
        return false;
    m_server = new QLocalServer(this);
    // Only this user may hand links to the running launcher.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceChannel::onConnection);
    if (m_server->listen(m_address))
        return true;
    QLocalServer::removeServer(m_address);
    if (m_server->listen(m_address))
        return true;
    qCWarning(lcChannel) << "later launcher copies cannot reach this one:" << m_server->errorString();
    return false;
}

void InstanceChannel::close()
{
    delete m_server; // its name goes with it
    m_server = nullptr;
    if (m_lock.isLocked())
        m_lock.unlock();
}

void InstanceChannel::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        socket->setReadBufferSize(maxMessageSize);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A peer that connects and never writes would otherwise hold its socket
        // for the rest of the run.
        QTimer::singleShot(m_idleTimeoutMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Only the first chunk counts; the connection is done with after it.
            const QByteArray message = socket->read(maxMessageSize);
            const bool own = Platform::isOwnClient(*socket);
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            if (!own) {
                qCWarning(lcChannel) << "dropped a message from a program of another user";
                return;
            }
            qCInfo(lcChannel) << "a later copy asked for the window"
                              << (messageRequestsPlay(message) ? "and to play" : "");
            emit activated(messageRequestsPlay(message));
        });
    }
}

QString InstanceChannel::launchLinkFrom(const QStringList &arguments)
{
    QString link;
    for (const QString &argument : arguments) {
        if (isLaunchLink(argument))
            link = argument;
    }
    return link;
}

bool InstanceChannel::isLaunchLink(const QString &text)
{
    return text.startsWith(QLatin1String(Velor::linkPrefix), Qt::CaseInsensitive);
}

bool InstanceChannel::messageRequestsPlay(const QByteArray &message)
{
    return isLaunchLink(QString::fromUtf8(message.left(maxMessageSize)));
}
