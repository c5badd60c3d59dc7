#include "config/platform.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <cstdlib>

// windows.h first: the other Windows headers need its types.
// clang-format off
#include <windows.h>
#include <QLocalSocket>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>
#include <vector>
// clang-format on

namespace Platform {

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

QString settingsLocation()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VELOR RP\\Launcher");
}

QString clientKeyLocation()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\RAGE-MP");
}

std::unique_ptr<QSettings> openSettings(const QString &location)
{
    return std::make_unique<QSettings>(location, QSettings::NativeFormat);
}

bool prepareToRun(const QString &program)
{
    Q_UNUSED(program);
    return true;
}

ZipUnpacker zipUnpacker()
{
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    return {ZipUnpacker::Kind::PowerShell,
        QString::fromWCharArray(system, int(length)) + QStringLiteral("\\WindowsPowerShell\\v1.0\\powershell.exe")};
}

QString channelAddress(const QString &name)
{
    return name + sessionAndUser();
}

bool isOwnServer(QLocalSocket &socket)
{
    return runsAsThisUser(serverProcess(socket));
}

bool isOwnClient(QLocalSocket &socket)
{
    // Whoever made the pipe's name first owns it, and Qt makes no first
    // instance of its own: another account may hold the name and let its
    // programs in. The later copy stays connected until this end closes, so
    // its process is there to be asked.
    ULONG id = 0;
    return ::GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(socket.socketDescriptor()), &id)
        && runsAsThisUser(id);
}

void letComeForward(QLocalSocket &socket)
{
    if (const DWORD process = serverProcess(socket))
        ::AllowSetForegroundWindow(process);
}

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

void syncToDisk(QFileDevice &file)
{
    file.flush();
    ::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle())));
}

bool replaceFile(const QString &from, const QString &to)
{
    return ::MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool replaceRunningProgram(const QString &from, const QString &to)
{
    const std::wstring target = QDir::toNativeSeparators(to).toStdWString();
    const std::wstring aside = target + L".failed";
    ::DeleteFileW(aside.c_str());
    return ::ReplaceFileW(target.c_str(), QDir::toNativeSeparators(from).toStdWString().c_str(), aside.c_str(),
        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
}

std::unique_ptr<QFile> openHeld(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
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
    return file;
}

void endProcessNow(int code)
{
    // ExitProcess would still run the libraries' detach code, which may wait
    // for the very threads that hold the process up.
    ::TerminateProcess(::GetCurrentProcess(), UINT(code));
    std::_Exit(code);
}

} // namespace Platform
