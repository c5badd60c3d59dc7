#include "testenvironment.h"

#include "fixtureserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

LauncherEnvironment testEnvironment(const QString &scratchFolder)
{
    LauncherEnvironment env = LauncherEnvironment::compiledIn();
    const QString refused = FixtureServer::refusedUrl();
    env.apiBase = refused;
    env.websiteUrl = QStringLiteral("https://site.test");
    env.forumUrl = QStringLiteral("https://forum.site.test");
    env.supportUrl = QStringLiteral("https://support.site.test/invite");
    env.socialLinks = {QStringLiteral("https://discord.test/velor"), QStringLiteral("https://youtube.test/velor"),
                       QStringLiteral("https://vk.test/velor"), QStringLiteral("https://telegram.test/velor")};
    env.gameServerHost = QStringLiteral("game.site.test");
    env.clientInstallerUrl = refused + QStringLiteral("/public/files/RAGEMultiplayer_Setup.exe");
    env.neighbourClientFolder = scratchFolder + QStringLiteral("/neighbour/RAGEMP");
    env.fixedClientFolders = {scratchFolder + QStringLiteral("/fixed1/RAGEMP"),
                              scratchFolder + QStringLiteral("/fixed2/RAGEMP")};
    env.tempFolder = scratchFolder + QStringLiteral("/temp");
    QDir().mkpath(env.tempFolder);
    // Each test starts from a cold picture cache; the cache has its own tests.
    env.pictureCacheFolder.clear();
    env.ipcServerName.clear();
    env.pickFolder = [](QWidget *, const QString &, const QString &) { return QString(); };
    env.quitApplication = [] {};
    return env;
}

QString writeFile(const QString &path, const QByteArray &contents, bool executable)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(contents);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    return path;
}
