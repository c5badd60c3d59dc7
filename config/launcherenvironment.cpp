#include "config/launcherenvironment.h"

#include "config/platform.h"
#include "velorconfig.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkProxyFactory>
#include <QStandardPaths>

LauncherEnvironment LauncherEnvironment::compiledIn()
{
    LauncherEnvironment env;
    env.version = QString::fromUtf8(VelorConfig::version);
    env.apiBase = QString::fromUtf8(VelorConfig::apiBase);
    env.websiteUrl = QString::fromUtf8(VelorConfig::websiteUrl);
    env.forumUrl = QString::fromUtf8(VelorConfig::forumUrl);
    env.supportUrl = QString::fromUtf8(VelorConfig::supportUrl);
    env.socialLinks = {QString::fromUtf8(VelorConfig::discordUrl), QString::fromUtf8(VelorConfig::youtubeUrl),
        QString::fromUtf8(VelorConfig::vkUrl), QString::fromUtf8(VelorConfig::telegramUrl)};
    env.gameServerHost = QString::fromUtf8(VelorConfig::gameServerHost);
    env.gameServerPort = QString::fromUtf8(Velor::gameServerPort);
    env.clientInstallerUrl = QString::fromUtf8(VelorConfig::clientInstallerUrl);
    // Configure let only well-formed keys through.
    for (const QByteArray &key : QByteArray(VelorConfig::updatePublicKeys).split(' ')) {
        if (!key.isEmpty())
            env.updatePublicKeys << QByteArray::fromBase64(key);
    }

    env.neighbourClientFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/RAGEMP");
    env.fixedClientFolders = {
        QStringLiteral("C:/RAGEMP"),
        QStringLiteral("C:/Program Files/RAGEMP"),
        QStringLiteral("C:/Program Files (x86)/RAGEMP"),
        QStringLiteral("C:/Games/RAGEMP"),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/RAGEMP"),
    };
    env.tempFolder = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    env.settingsLocation = Platform::settingsLocation();
    env.clientKeyLocation = Platform::clientKeyLocation();
    env.logFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/logs");
    env.cacheFolder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    env.executable = QCoreApplication::applicationFilePath();
    const QFileInfo program(env.executable);
    env.previousExecutable = program.path() + QLatin1Char('/') + program.completeBaseName()
        + QStringLiteral(".previous") + (program.suffix().isEmpty() ? QString() : QLatin1Char('.') + program.suffix());
    env.proxyLookup = &QNetworkProxyFactory::systemProxyForQuery;
    env.quitApplication = [] { QCoreApplication::quit(); };
    return env;
}
