#pragma once

#include "config/launcherenvironment.h"
#include "config/platform.h"
#include "net/filedownload.h"
#include "update/unpackcommand.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QSettings;

/**
 * The self-update, from the version check to the started installer. Reports
 * only through signals, as values; the window words them.
 *
 * A newer version is downloaded at once: only over https (plain http only
 * from a loopback host), streamed into a fresh folder of the player's own in
 * the temporary folder, checked against the answer's "sha256" when it gives
 * one, unpacked there beside the event loop within the environment's time
 * bound, and the shallowest "*.exe" inside the unpacked folder is started,
 * after which the application quits. With update keys in the
 * environment, only an answer signed by one of them is fetched, and its
 * archive must match the signed digest.
 *
 * Before it starts an installer the updater records the version it installs
 * and the archive's announced digest. A launcher that starts older than a
 * recorded attempt knows that attempt failed; after two failed attempts at an
 * archive the updater no longer installs it by itself (the player would
 * otherwise watch the launcher download, install and vanish at every start)
 * and says so once. A check the player asks for tries again all the same, and
 * a re-release under the same version is a new archive.
 *
 * One update at a time: a check asked for while another check, a download or
 * an unpacking runs, or once the installer started, starts nothing.
 */
class Updater final : public QObject
{
    Q_OBJECT

public:
    struct Failure
    {
        enum class Kind {
            Unreachable, ///< the version check failed in the network; networkError says how
            Truncated, ///< the version answer was cut short
            BadFormat, ///< the version answer is no JSON object, or far too large
            BadData, ///< the answer names no usable, trusted update
            Download, ///< the archive's download failed; download says how
            SaveFailed, ///< the archive could not be stored
            Checksum, ///< the archive is not the one the answer describes
            UnpackFailed,
            NoInstaller, ///< the archive holds no installer
            StartFailed, ///< the installer did not start
            NotRecorded, ///< the attempt could not be recorded, so no installer was started by itself
        };
        Kind kind = Kind::BadData;
        QString networkError;
        FileDownload::Outcome download;
    };

    enum class State {
        Idle,
        Checking, ///< the version answer is on its way
        Downloading, ///< the archive of a newer version
        Unpacking, ///< the archive, beside the event loop; the installer's start follows at once
        InstallerStarted, ///< the application quits now
    };
    Q_ENUM(State)

    /// The most a version answer may hold: three short strings and a changelog.
    static constexpr qint64 maxAnswerBytes = 64 * 1024;
    /// Failed installs of one version after which it is no longer tried by itself.
    static constexpr int maxAttempts = 2;

    Updater(const LauncherEnvironment &environment, QNetworkAccessManager *manager, QObject *parent = nullptr);
    /// Ends an unpacking that still runs, without reporting it.
    ~Updater() override;

    /// Asks the web API for the newest version and installs it when it is newer.
    /// With silent set, a check that fails or finds nothing new reports nothing.
    void checkForUpdates(bool silent);
    State state() const { return m_state; }

    /// Builds the command that unpacks an archive into a folder.
    using UnpackCommandFor = std::function<UnpackCommand(const QString &zipPath, const QString &folder)>;
    /// Replaces the unpacking command (UnpackCommand::forSystem by default).
    void setUnpackCommand(UnpackCommandFor command) { m_unpackCommand = std::move(command); }

    /// Records version, which its launcher found failing on this PC, as given
    /// up: the next silent check says so once and installs it no more.
    static void recordFailed(QSettings &settings, const QString &version);

signals:
    void upToDate(const QString &version);
    void checkFailed(const Updater::Failure &failure);
    /// A newer version is on its way; the download runs already.
    void updateStarted(const QString &version);
    void downloadProgress(qint64 received, qint64 total);
    /// The archive is in: unpacking and the installer's start follow.
    void installing();
    void updateFailed(const Updater::Failure &failure);
    /// version failed to install too often to be tried again by itself.
    void updateGivenUp(const QString &version);

private:
    /// The one place the state changes; it does what Checking and Unpacking begin with.
    void enter(State next);
    void onVersionCheckFinished();
    void onDownloadFinished(const FileDownload::Outcome &outcome);
    void install();
    void startInstaller(const QString &archive, const QString &folder);
    bool givenUp(QSettings &settings);
    void fail(Failure::Kind kind);

    LauncherEnvironment m_env;
    QNetworkAccessManager *m_manager;
    /// The update's archive and what it unpacks to, out of other programs' reach.
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QFile> m_heldArchive; ///< from its check until it is unpacked
    FileDownload m_download;
    UnpackCommandFor m_unpackCommand;
    std::unique_ptr<QProcess> m_unpack; ///< while the archive is unpacked
    QPointer<QNetworkReply> m_versionReply;
    State m_state = State::Idle;
    bool m_silent = false;
    QString m_version; ///< of the update on its way
    QByteArray m_expectedSha256; ///< of the update on its way; empty: not given
};
