#include "app/singleinstance.h"

#include "app/platform.h"
#include "config/launcherenvironment.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

SingleInstance::SingleInstance(const QString &serverName)
    : m_serverName(serverName)
    , m_lock(Platform::singleInstanceLockPath(serverName))
{
    // The first copy may run for days; only a dead owner makes the lock stale.
    m_lock.setStaleLockTime(0);
}

SingleInstance::Role SingleInstance::claim(QLocalSocket &socket, int connectWaitMs, int contentionWaitMs)
{
    socket.connectToServer(m_serverName, QIODevice::ReadWrite);
    if (socket.waitForConnected(connectWaitMs))
        return Role::Second;
    if (m_lock.tryLock(0))
        return Role::First;

    const QDeadlineTimer deadline(contentionWaitMs);
    while (!deadline.hasExpired()) {
        socket.abort();
        socket.connectToServer(m_serverName, QIODevice::ReadWrite);
        if (socket.waitForConnected(100))
            return Role::Second;
        if (m_lock.tryLock(0))
            return Role::First;
        QThread::msleep(50);
    }
    socket.abort();
    return Role::FirstWithoutChannel;
}

QString SingleInstance::launchLinkFrom(const QStringList &arguments)
{
    QString link;
    for (const QString &argument : arguments) {
        if (isLaunchLink(argument))
            link = argument;
    }
    return link;
}

bool SingleInstance::isLaunchLink(const QString &text)
{
    return text.startsWith(QLatin1String(Velor::linkPrefix), Qt::CaseInsensitive);
}

bool SingleInstance::messageRequestsPlay(const QByteArray &message)
{
    return isLaunchLink(QString::fromUtf8(message.left(maxMessageSize)));
}
