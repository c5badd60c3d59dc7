#include "app/platform.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace Platform {

std::unique_ptr<QSettings> openClientKey()
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\RAGE-MP"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("RAGE-MP"));
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
    return {QStringLiteral("powershell"), {QStringLiteral("-Command"), expandArchiveCommand(zipPath, folder)}};
#else
    return {QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-q"), zipPath, QStringLiteral("-d"), folder}};
#endif
}

QString singleInstanceLockPath(const QString &serverName)
{
#ifdef Q_OS_WIN
    // The temporary folder is per user on Windows already.
    return QDir::tempPath() + QLatin1Char('/') + serverName + QStringLiteral(".lock");
#else
    // /tmp is shared by every user here, so the lock carries the user id.
    return QDir::tempPath() + QLatin1Char('/') + serverName + QLatin1Char('-') + QString::number(::getuid())
        + QStringLiteral(".lock");
#endif
}

} // namespace Platform
