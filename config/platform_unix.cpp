#include "config/platform.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSettings>
#include <QStandardPaths>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {
QString configFile(const QString &relative)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + relative;
}

// A folder only this user can enter. A link in its place, or a folder that
// somebody else made first, is refused.
bool isPrivateFolder(const QByteArray &path, bool tighten)
{
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    if ((info.st_mode & 077) && tighten)
        return ::chmod(path.constData(), 0700) == 0;
    return !(info.st_mode & 077);
}

QString privateShortFolder()
{
    // The socket's name follows the folder, and the whole path must stay
    // within the 107 bytes of a socket address.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && runtime.size() <= 64 && isPrivateFolder(runtime, false))
        return QFile::decodeName(runtime);
    const QByteArray fallback = "/tmp/velor-launcher-" + QByteArray::number(::getuid());
    ::mkdir(fallback.constData(), 0700);
    return isPrivateFolder(fallback, true) ? QFile::decodeName(fallback) : QString();
}

bool peerIsThisUser(int socket)
{
#ifdef SO_PEERCRED
    struct ucred peer = {};
    socklen_t size = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
#else
    Q_UNUSED(socket);
    return true;
#endif
}
} // namespace

QString settingsLocation()
{
    return configFile(QStringLiteral("VELOR RP/Launcher.conf"));
}

QString clientKeyLocation()
{
    return configFile(QStringLiteral("RAGE-MP.conf"));
}

std::unique_ptr<QSettings> openSettings(const QString &location)
{
    return std::make_unique<QSettings>(location, QSettings::IniFormat);
}

bool prepareToRun(const QString &program)
{
    QFile file(program);
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

ZipUnpacker zipUnpacker()
{
    return {ZipUnpacker::Kind::Unzip, QStringLiteral("unzip")};
}

QString channelAddress(const QString &name)
{
    const QString folder = privateShortFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
}

bool isOwnServer(QLocalSocket &socket)
{
    // The socket lives in a folder only this user can enter.
    Q_UNUSED(socket);
    return true;
}

bool isOwnClient(QLocalSocket &socket)
{
    // The folder keeps other users out already; the peer's own credentials
    // say so for certain wherever the kernel tells them.
    return peerIsThisUser(int(socket.socketDescriptor()));
}

void letComeForward(QLocalSocket &socket)
{
    Q_UNUSED(socket);
}

QString singleInstanceLockPath(const QString &name)
{
    const QString address = channelAddress(name);
    if (!address.isEmpty())
        return address + QStringLiteral(".lock");
    return QDir::tempPath() + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(::getuid())
        + QStringLiteral(".lock");
}

InstanceLock::InstanceLock(const QString &name)
    : m_file(singleInstanceLockPath(name))
{
    // The first copy may run for days; only a dead owner makes the lock stale.
    m_file.setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock()
{
    if (m_file.tryLock(0))
        return true;
    if (m_file.error() != QLockFile::LockFailedError)
        return false;
    // QLockFile takes the owner for alive while its process id runs a program
    // of the launcher's name, yet ids are handed out again: a dead owner's may
    // now be another copy's or this very one's. The owner's hold on the open
    // file ends with its process and decides; the lock QLockFile itself takes
    // while it clears a stale file keeps two copies from clearing at once.
    QLockFile clearing(m_file.fileName() + QStringLiteral(".rmlock"));
    return clearing.tryLock(0) && m_file.removeStaleLockFile() && m_file.tryLock(0);
}

void InstanceLock::unlock()
{
    m_file.unlock();
}

bool InstanceLock::isLocked() const
{
    return m_file.isLocked();
}

void syncToDisk(QFileDevice &file)
{
    file.flush();
    ::fsync(file.handle());
}

bool replaceFile(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool replaceRunningProgram(const QString &from, const QString &to)
{
    return replaceFile(from, to);
}

std::unique_ptr<QFile> openHeld(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return nullptr;
    return file;
}

void endProcessNow(int code)
{
    std::_Exit(code);
}

} // namespace Platform
