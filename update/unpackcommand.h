#pragma once

#include <QString>
#include <QStringList>

/// An external command: the program and its arguments.
struct UnpackCommand final
{
    QString program;
    QStringList arguments;

    /// The command that unpacks the zip archive zipPath into folder with the
    /// system's own unpacker (Platform::zipUnpacker), overwriting files and
    /// reporting success with exit code 0.
    static UnpackCommand forSystem(const QString &zipPath, const QString &folder);

    /// The PowerShell command text, with both paths quoted so that no path can
    /// end the quoted string early, whatever quote characters it holds.
    static QString expandArchive(const QString &zipPath, const QString &folder);
};
