#include "updatefixture.h"

#include <QFile>
#include <QProcess>

namespace UpdateFixture {

QByteArray installerScript(const QString &recordPath)
{
    // Written aside and renamed, so a reader never sees half a record.
    const QByteArray record = recordPath.toUtf8();
    return "#!/bin/sh\n"
           "{ printf '%s\\n' \"$0\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '" + record + ".part'\n"
           "mv '" + record + ".part' '" + record + "'\n";
}

bool makeZip(const QString &stageFolder, const QStringList &entries, const QString &zipPath,
             const QStringList &extraOptions)
{
    QProcess zip;
    zip.setWorkingDirectory(stageFolder);
    zip.start(QStringLiteral("zip"), QStringList{QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-y")}
                                         + extraOptions + QStringList{zipPath} + entries);
    return zip.waitForFinished(30000) && zip.exitStatus() == QProcess::NormalExit && zip.exitCode() == 0;
}

bool renameEntry(const QString &zipPath, const QByteArray &from, const QByteArray &to)
{
    if (from.size() != to.size())
        return false;
    QFile file(zipPath);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    // Once in the local header, once in the central directory.
    if (bytes.count(from) != 2)
        return false;
    bytes.replace(from, to);
    file.seek(0);
    return file.write(bytes) == bytes.size();
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray emptyZip()
{
    return QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
}

} // namespace UpdateFixture
