#pragma once

#include "config/launcherenvironment.h"
#include "config/platform.h"
#include "net/filedownload.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

/**
 * Checks for a newer launcher and installs it. Reports only through signals.
 * The archive is fetched only over https (plain http only from a loopback
 * host), streamed to the temporary folder, checked against the answer's
 * "sha256" when it gives one, unpacked within the environment's time bound,
 * and the shallowest "*.exe" inside the unpacked folder is started. With
 * update keys in the environment, only an answer signed by one of them is
 * fetched, and its archive must match the signed digest.
 */
class Updater final : public QObject
{
    Q_OBJECT

public:
    explicit Updater(const LauncherEnvironment &environment, QObject *parent = nullptr);

    /// Asks the web API for the newest version. With silent set, a failed check
    /// reports nothing; otherwise it emits updateCheckFailed.
    void checkForUpdates(bool silent);

    /// Checks, unpacks and starts the installer in the archive, then quits the
    /// application through the environment; on failure (the installer not
    /// started included) emits downloadFailed and returns. Blocks while the
    /// archive is unpacked, at most the environment's unpackTimeoutMs.
    void installUpdate(const QString &zipPath);

    QString downloadUrl() const { return m_downloadUrl; }

    /// Builds the command that unpacks an archive into a folder.
    using UnpackCommand = std::function<Platform::Command(const QString &zipPath, const QString &folder)>;
    /// Replaces the unpacking command (Platform::unpackCommand by default).
    void setUnpackCommand(UnpackCommand command) { m_unpackCommand = std::move(command); }

signals:
    void updateAvailable(const QString &newVersion, const QString &changelog);
    void noUpdateAvailable();
    void updateCheckFailed(const QString &error);
    void downloadProgress(qint64 received, qint64 total);
    void downloadFinished(const QString &filePath);
    void downloadFailed(const QString &error);

public slots:
    /// Streams the archive at url to the temporary folder, unless a download
    /// runs already; ends in downloadFinished or downloadFailed, always from
    /// the event loop.
    void downloadUpdate(const QString &url);

private:
    void onVersionCheckFinished();
    void onDownloadFinished(const FileDownload::Outcome &outcome);

    QNetworkAccessManager *m_networkManager;
    QPointer<QNetworkReply> m_versionReply;
    FileDownload *m_download;
    QString m_downloadUrl;
    QString m_latestVersion;
    QString m_changelog;
    QString m_downloadPath;
    bool m_silent = false;
    QString m_versionUrl;

    LauncherEnvironment m_env;
    UnpackCommand m_unpackCommand;
    QByteArray m_expectedSha256; // of the last usable answer; empty: not given
    QString m_verifiedArchive; // the stored archive that matched it
};
