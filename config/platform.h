#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

class QFile;
class QFileDevice;
class QLocalSocket;
class QSettings;

/// The only place that knows which operating system it runs on. On Windows it
/// uses the registry, PowerShell and named pipes; elsewhere the nearest native
/// stand-ins.
namespace Platform {

/// Where the launcher keeps its one setting: HKEY_CURRENT_USER\Software\VELOR RP\Launcher
/// on Windows, the INI file $XDG_CONFIG_HOME/VELOR RP/Launcher.conf elsewhere.
QString settingsLocation();

/// The game client's own settings key: HKEY_CURRENT_USER\Software\RAGE-MP on
/// Windows, the INI file $XDG_CONFIG_HOME/RAGE-MP.conf elsewhere.
QString clientKeyLocation();

/// Opens a location given by settingsLocation() or clientKeyLocation(), or a
/// test's own key or file of the same kind.
std::unique_ptr<QSettings> openSettings(const QString &location);

/// Makes a downloaded program startable. Windows needs nothing; elsewhere the
/// owner gets execute permission so that a Windows-program handler (or a test
/// script) can run it. Returns false when the permission could not be set.
bool prepareToRun(const QString &program);

/// The system's own program that unpacks zip archives. On Windows PowerShell
/// by its full path: by its bare name Windows would first look in the working
/// folder, which for a launcher started from a browser may be the downloads
/// folder. Elsewhere unzip.
struct ZipUnpacker final
{
    enum class Kind { PowerShell, Unzip };
    Kind kind;
    QString program;
};
ZipUnpacker zipUnpacker();

/// The address a QLocalServer named name listens on. On Windows a pipe, whose
/// names every account on the machine shares: the name followed by the
/// session and the user, so that two players signed in at once each have
/// their own. Elsewhere a socket in a short folder of the user's own, since a
/// socket path holds at most 107 bytes whatever the temporary folder is.
/// Empty when no such folder can be had.
QString channelAddress(const QString &name);

/// Whether the launcher at the other end of a connected channel runs as this
/// user. Another account can create a pipe of any name first; a copy that
/// took it for the running launcher would hand it links, or never open.
bool isOwnServer(QLocalSocket &socket);

/// Whether the program at the other end of a connection to this launcher's
/// channel runs as this user; ask once a message from it has been read. Another account that created the pipe's name
/// first would otherwise share its instances and could ask for the game.
bool isOwnClient(QLocalSocket &socket);

/// Lets the launcher at the other end of the channel bring its window to the
/// front: Windows lets only the foreground program, which a copy started from
/// a link is, hand that on.
void letComeForward(QLocalSocket &socket);

/// Decides which launcher copy of this user is the first one. The claim dies
/// with its process however that ends, a crash or "End task" included: on
/// Windows a named mutex of the session and the user, which the system lets go
/// of with the process; elsewhere a lock file, whose owner's hold on it ends
/// with the process too.
class InstanceLock final
{
public:
    explicit InstanceLock(const QString &name);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    /// Takes the claim without waiting; false while another copy holds it.
    bool tryLock();
    void unlock();
    bool isLocked() const;

private:
#ifdef Q_OS_WIN
    QString m_name;
    void *m_mutex = nullptr;
#else
    QLockFile m_file;
#endif
};

#ifndef Q_OS_WIN
/// The per-user lock file of InstanceLock.
QString singleInstanceLockPath(const QString &name);
#endif

/// Flushes a written file to the disk, so that a rename after it never leaves
/// an empty file behind a crash.
void syncToDisk(QFileDevice &file);

/// Opens path for reading and, on Windows, keeps every other program from
/// changing, replacing or removing it for as long as it stays open, so that
/// what was checked in it is what a later reader gets. Elsewhere a plain
/// open: the file's folder keeps others out. Null when it cannot be opened.
std::unique_ptr<QFile> openHeld(const QString &path);

/// Puts the file from in the place of the file to, replacing it at once.
bool replaceFile(const QString &from, const QString &to);

/// Puts the program from in the place of the program to, which may be running,
/// in one step. Windows will not replace a running program's file but lets it
/// move: there it moves to to's name with ".failed" added.
bool replaceRunningProgram(const QString &from, const QString &to);

/// Ends this process with code at once: no teardown, no waiting for its threads.
[[noreturn]] void endProcessNow(int code);

} // namespace Platform
