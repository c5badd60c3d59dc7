#include "launch/gameclient.h"

#include "config/launcherenvironment.h"
#include "config/platform.h"

#include <QFile>
#include <QProcess>
#include <QSettings>

namespace GameClient {

namespace {
QString programIn(const QString &folder)
{
    return folder + QLatin1Char('/') + QString::fromLatin1(Velor::clientProgram);
}
} // namespace

bool holdsClient(const QString &folder)
{
    return QFile::exists(programIn(folder));
}

QString findFolder(const QString &neighbourFolder, const QString &rememberedFolder, const QStringList &fixedFolders)
{
    QStringList candidates{neighbourFolder, rememberedFolder};
    candidates += fixedFolders;
    for (const QString &folder : std::as_const(candidates)) {
        // An empty folder would test "/updater.exe" at the root of the drive.
        if (!folder.isEmpty() && holdsClient(folder))
            return folder;
    }
    return QString();
}

bool writeServerAddress(const QString &keyLocation, const QString &host, const QString &port)
{
    const auto key = Platform::openSettings(keyLocation);
    key->setValue(QStringLiteral("launch2.ip"), QVariant(host));
    key->setValue(QStringLiteral("launch2.port"), QVariant(port));
    key->sync();
    return key->status() == QSettings::NoError;
}

bool start(const QString &folder)
{
    return QProcess::startDetached(programIn(folder), QStringList(), folder);
}

} // namespace GameClient
