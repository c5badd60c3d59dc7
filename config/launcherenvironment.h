#pragma once

#include "velorconfig.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QNetworkProxy>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <functional>

namespace Velor {
/// Identity and fixed values of the launcher and of the game client it starts.
inline constexpr char applicationName[] = "VELOR RP Launcher";
inline constexpr char organizationName[] = "VELOR RP";
inline constexpr char gameServerPort[] = "22005";
inline constexpr char clientProgram[] = "updater.exe";
inline constexpr char linkPrefix[] = "velorlauncher://";
inline constexpr char ipcServerName[] = "VelorLauncherIPC";
} // namespace Velor

/**
 * Everything the launcher takes from outside: the community's addresses, the
 * client folders to search, where settings, logs and the cache live, the
 * time-outs, and the services that tests replace. compiledIn() gives the
 * values built into this executable; tests start from it and point the
 * addresses at their own loopback servers.
 */
struct LauncherEnvironment final
{
    QString version; ///< this build's
    QString apiBase; ///< origin of "/servers", "/news" and "/launcher/version"
    QString websiteUrl; ///< origin of "/donate" and "/news/<slug>"
    QString forumUrl;
    QString supportUrl;
    QStringList socialLinks; ///< Discord, YouTube, VK, Telegram, in this order
    QString gameServerHost;
    QString gameServerPort;
    QString clientInstallerUrl;
    /// The 32-byte Ed25519 keys of which one must have signed an update; with
    /// none, an update is trusted as the web server describes it.
    QList<QByteArray> updatePublicKeys;

    QString neighbourClientFolder; ///< the "RAGEMP" folder next to the launcher
    QStringList fixedClientFolders; ///< searched after the remembered folder
    QString tempFolder; ///< downloads and the unpacked update go here
    QString settingsLocation; ///< the launcher's own settings (see Platform::settingsLocation)
    QString clientKeyLocation; ///< where the client reads its server address
    QString logFolder; ///< launcher.log and its predecessors
    QString cacheFolder; ///< the HTTP cache of the news and its pictures
    QString executable; ///< this launcher's own program
    QString previousExecutable; ///< the version before it, which the installer keeps beside it

    int statusIntervalMs = 30000; ///< online-count poll period
    int requestTimeoutMs = 30000; ///< silence after which status, news and picture requests give up
    int downloadStallTimeoutMs = 60000; ///< silence after which the installer and update downloads give up
    QList<int> resumeDelaysMs{1000, 2000, 4000}; ///< a broken download resumes after each of these
    int unpackTimeoutMs = 60000; ///< bound on unpacking an update
    int startSettledMs = 10000; ///< how long the window stays up before a start counts as one that got there
    int exitDeadlineMs = 800; ///< the most the process takes to end once its window is gone
    int commitAttempts = 6; ///< tries to give a finished download its name...
    int commitRetryDelayMs = 300; ///< ...this far apart: at most 1.5 s in all

    /// Finds the system's proxy for a request. Called off the GUI thread only:
    /// on Windows it may run automatic proxy discovery for many seconds.
    std::function<QList<QNetworkProxy>(const QNetworkProxyQuery &)> proxyLookup;
    int proxyExitWaitMs = 200; ///< how long the network's end waits for a lookup still under way
    /// Makes a downloaded news picture ready for its card, off the GUI thread;
    /// empty: the launcher's own decoder.
    std::function<QImage(const QByteArray &, const QRectF &, qreal)> preparePicture;
    /// Ends the application (after an update installer has been started).
    std::function<void()> quitApplication;

    QString serversUrl() const { return apiBase + QStringLiteral("/servers"); }
    QString newsUrl() const { return apiBase + QStringLiteral("/news"); }
    QString versionUrl() const { return apiBase + QStringLiteral("/launcher/version"); }
    QString shopUrl() const { return websiteUrl + QStringLiteral("/donate"); }
    QString newsPageBase() const { return websiteUrl + QStringLiteral("/news/"); }
    /// Crash reports sit beside the log, so that the settings' log folder shows them.
    QString crashFolder() const { return logFolder + QStringLiteral("/crashes"); }

    /// The values compiled into this build, with the real desktop services.
    static LauncherEnvironment compiledIn();
};
