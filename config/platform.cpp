#include "config/platform.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <cstdlib>

#ifdef Q_OS_WIN
// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
#include <QLocalSocket>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <vector>
// clang-format on
#else
#include <QLocalSocket>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Platform {

#ifdef Q_OS_WIN
namespace {
// The SID a process runs as, in a buffer of its own; empty when it cannot be
// read, as for a process of another account. TOKEN_USER only points at its
// SID inside the buffer it was read into, so a copy of that buffer would
// point into freed memory: the SID itself is copied out.
std::vector<char> userOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    std::vector<char> sid;
    if (size && ::GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        const PSID found = reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
        sid.resize(::GetLengthSid(found));
        if (!::CopySid(DWORD(sid.size()), sid.data(), found))
            sid.clear();
    }
    ::CloseHandle(token);
    return sid;
}

DWORD serverProcess(QLocalSocket &socket)
{
    ULONG id = 0;
    return ::GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(socket.socketDescriptor()), &id) ? id : 0;
}

bool runsAsThisUser(DWORD processId)
{
    HANDLE process = processId ? ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId) : nullptr;
    if (!process)
        return false;
    std::vector<char> other = userOf(process);
    ::CloseHandle(process);
    std::vector<char> own = userOf(::GetCurrentProcess());
    return !other.empty() && !own.empty() && ::EqualSid(other.data(), own.data());
}

QString sessionAndUser()
{
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    std::vector<char> user = userOf(::GetCurrentProcess());
    wchar_t *sid = nullptr;
    if (user.empty() || !::ConvertSidToStringSidW(user.data(), &sid))
        return QStringLiteral("-%1").arg(session);
    const QString suffix = QStringLiteral("-%1-%2").arg(session).arg(QString::fromWCharArray(sid));
    ::LocalFree(sid);
    return suffix;
}
} // namespace
#else
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
#endif

QString settingsLocation()
{
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VELOR RP\\Launcher");
#else
    return configFile(QStringLiteral("VELOR RP/Launcher.conf"));
#endif
}

QString clientKeyLocation()
{
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\RAGE-MP");
#else
    return configFile(QStringLiteral("RAGE-MP.conf"));
#endif
}

std::unique_ptr<QSettings> openSettings(const QString &location)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(location, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(location, QSettings::IniFormat);
#endif
}

bool prepareToRun(const QString &program)
{
#ifdef Q_OS_WIN
    Q_UNUSED(program);
    return true;
#else
    QFile file(program);
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
#endif
}

QString powerShellQuote(const QString &text)
{
    // PowerShell ends a single-quoted string at any of these five characters and
    // reads two of them in a row as one literal quote, so each is doubled.
    static const QString quotes = QStringLiteral("'\u2018\u2019\u201A\u201B");
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('\'');
    for (const QChar c : text) {
        quoted += c;
        if (quotes.contains(c))
            quoted += c;
    }
    quoted += QLatin1Char('\'');
    return quoted;
}

QString expandArchiveCommand(const QString &zipPath, const QString &folder)
{
    // -LiteralPath: a folder name with [brackets] must not be read as a wildcard.
    return QStringLiteral("Expand-Archive -LiteralPath %1 -DestinationPath %2 -Force")
        .arg(powerShellQuote(zipPath), powerShellQuote(folder));
}

Command unpackCommand(const QString &zipPath, const QString &folder)
{
#ifdef Q_OS_WIN
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    return {QString::fromWCharArray(system, int(length)) + QStringLiteral("\\WindowsPowerShell\\v1.0\\powershell.exe"),
        {QStringLiteral("-NoProfile"), QStringLiteral("-NonInteractive"), QStringLiteral("-Command"),
            expandArchiveCommand(zipPath, folder)}};
#else
    return {
        QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-q"), zipPath, QStringLiteral("-d"), folder}};
#endif
}

QString channelAddress(const QString &name)
{
#ifdef Q_OS_WIN
    return name + sessionAndUser();
#else
    const QString folder = privateShortFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + name;
#endif
}

bool isOwnServer(QLocalSocket &socket)
{
#ifdef Q_OS_WIN
    return runsAsThisUser(serverProcess(socket));
#else
    // The socket lives in a folder only this user can enter.
    Q_UNUSED(socket);
    return true;
#endif
}

bool isOwnClient(QLocalSocket &socket)
{
#ifdef Q_OS_WIN
    // Whoever made the pipe's name first owns it, and Qt makes no first
    // instance of its own: another account may hold the name and let its
    // programs in. The later copy stays connected until this end closes, so
    // its process is there to be asked.
    ULONG id = 0;
    return ::GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(socket.socketDescriptor()), &id)
        && runsAsThisUser(id);
#else
    // The folder keeps other users out already; the peer's own credentials
    // say so for certain wherever the kernel tells them.
    return peerIsThisUser(int(socket.socketDescriptor()));
#endif
}

void letComeForward(QLocalSocket &socket)
{
#ifdef Q_OS_WIN
    if (const DWORD process = serverProcess(socket))
        ::AllowSetForegroundWindow(process);
#else
    Q_UNUSED(socket);
#endif
}

#ifdef Q_OS_WIN
InstanceLock::InstanceLock(const QString &name)
    : m_name(QStringLiteral("Local\\") + channelAddress(name))
{
}

InstanceLock::~InstanceLock()
{
    unlock();
}

bool InstanceLock::tryLock()
{
    if (m_mutex)
        return false;
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t *>(m_name.utf16()));
    if (!mutex)
        return false;
    // Abandoned: its last owner ended without letting go, which makes it ours.
    const DWORD waited = ::WaitForSingleObject(mutex, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        return false;
    }
    m_mutex = mutex;
    return true;
}

void InstanceLock::unlock()
{
    if (!m_mutex)
        return;
    ::ReleaseMutex(m_mutex);
    ::CloseHandle(m_mutex);
    m_mutex = nullptr;
}

bool InstanceLock::isLocked() const
{
    return m_mutex != nullptr;
}
#else
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
#endif

void syncToDisk(QFileDevice &file)
{
    file.flush();
#ifdef Q_OS_WIN
    ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle())));
#else
    ::fsync(file.handle());
#endif
}

bool replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return ::MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

bool replaceRunningProgram(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    const std::wstring aside = target + L".failed";
    ::DeleteFileW(aside.c_str());
    return ::ReplaceFileW(target.c_str(), QDir::toNativeSeparators(from).toStdWString().c_str(), aside.c_str(),
        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
#else
    return replaceFile(from, to);
#endif
}

std::unique_ptr<QFile> openHeld(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
#ifdef Q_OS_WIN
    // Others may read it (the unpacker must), but not write, rename or delete it.
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    HANDLE handle = ::CreateFileW(
        native.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY);
    if (descriptor < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    if (!file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::_close(descriptor);
        return nullptr;
    }
#else
    if (!file->open(QIODevice::ReadOnly))
        return nullptr;
#endif
    return file;
}

void endProcessNow(int code)
{
#ifdef Q_OS_WIN
    // ExitProcess would still run the libraries' detach code, which may wait
    // for the very threads that hold the process up.
    ::TerminateProcess(::GetCurrentProcess(), UINT(code));
#endif
    std::_Exit(code);
}

} // namespace Platform
