#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

/// The only place that knows which operating system it runs on. On Windows it
/// uses the registry and PowerShell; elsewhere the nearest native stand-ins.
namespace Platform {

/// The game client's own settings key: HKEY_CURRENT_USER\Software\RAGE-MP on
/// Windows, the INI file $XDG_CONFIG_HOME/RAGE-MP.conf elsewhere.
std::unique_ptr<QSettings> openClientKey();

/// Makes a downloaded program startable. Windows needs nothing; elsewhere the
/// owner gets execute permission so that a Windows-program handler (or a test
/// script) can run it. Returns false when the permission could not be set.
bool prepareToRun(const QString &program);

struct Command final
{
    QString program;
    QStringList arguments;
};

/// The external command that unpacks the zip archive zipPath into folder,
/// overwriting files and reporting success with exit code 0.
Command unpackCommand(const QString &zipPath, const QString &folder);

/// The PowerShell command text for Windows, with both paths quoted so that no
/// path can end the quoted string early, whatever quote characters it holds.
QString expandArchiveCommand(const QString &zipPath, const QString &folder);

/// Quotes text as a PowerShell single-quoted string literal.
QString powerShellQuote(const QString &text);

/// A per-user lock file that decides which launcher copy is the first one.
QString singleInstanceLockPath(const QString &serverName);

} // namespace Platform
