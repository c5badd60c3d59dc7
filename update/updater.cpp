#include "update/updater.h"

#include "config/logging.h"
#include "net/replybody.h"
#include "update/installerchoice.h"
#include "update/versionanswer.h"
#include "update/versioncompare.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QTimer>
#include <sodium.h>

namespace {
// What the updater remembers of the last installer it started.
const QString attemptGroup = QStringLiteral("updateAttempt");
const QString attemptVersionKey = QStringLiteral("updateAttempt/version");
const QString attemptSha256Key = QStringLiteral("updateAttempt/sha256");
const QString attemptCountKey = QStringLiteral("updateAttempt/count");
const QString attemptToldKey = QStringLiteral("updateAttempt/told");
const QString attemptFolderKey = QStringLiteral("updateAttempt/folder");

const char *const failureNames[] = {"no answer", "answer cut short", "not a JSON object", "no usable update",
    "download failed", "archive not saved", "checksum mismatch", "unpacking failed", "no installer in the archive",
    "installer did not start", "the attempt could not be recorded"};

QByteArray sha256Of(QFile &file)
{
    [[maybe_unused]] static const int sodium = sodium_init();
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    qint64 size = 0;
    while ((size = file.read(chunk.data(), chunk.size())) > 0)
        crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char *>(chunk.constData()), quint64(size));
    QByteArray digest(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    crypto_hash_sha256_final(&state, reinterpret_cast<unsigned char *>(digest.data()));
    return size < 0 ? QByteArray() : digest;
}

bool sameVersion(const QString &a, const QString &b)
{
    return !isNewerVersion(a, b) && !isNewerVersion(b, a);
}

// Clears the folder the last installer ran from. This launcher made it, so
// nobody else could have put a link in its place.
void removeLeftFolder(QSettings &settings)
{
    const QString folder = settings.value(attemptFolderKey).toString();
    if (!folder.isEmpty() && !QFileInfo(folder).isSymLink())
        QDir(folder).removeRecursively();
    settings.remove(attemptFolderKey);
}
} // namespace

Updater::Updater(const LauncherEnvironment &environment, QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , m_env(environment)
    , m_manager(manager)
    , m_download(manager, environment.downloadStallTimeoutMs)
    , m_unpackCommand(&UnpackCommand::forSystem)
{
    m_download.setCommitPolicy(&Platform::replaceFile, m_env.commitAttempts, m_env.commitRetryDelayMs);
    m_download.setResumeDelays(m_env.resumeDelaysMs);
    connect(&m_download, &FileDownload::progress, this, &Updater::downloadProgress);
    connect(&m_download, &FileDownload::finished, this, &Updater::onDownloadFinished);
}

Updater::~Updater()
{
    // A process destroyed while it runs reports its end from its destructor,
    // to an updater and a window half gone.
    if (!m_unpack)
        return;
    m_unpack->disconnect(this);
    m_unpack->kill();
    m_unpack->waitForFinished();
}

void Updater::checkForUpdates(bool silent)
{
    // A check asked for while a silent one runs reports that one's result.
    if (m_state == State::Checking)
        m_silent = m_silent && silent;
    if (m_state != State::Idle)
        return;
    m_silent = silent;
    enter(State::Checking);
}

void Updater::enter(State next)
{
    m_state = next;
    if (next == State::Checking) {
        m_versionReply = getAnswer(m_manager, m_env.versionUrl(), m_env.requestTimeoutMs, maxAnswerBytes);
        connect(m_versionReply, &QNetworkReply::finished, this, &Updater::onVersionCheckFinished);
    } else if (next == State::Unpacking) {
        install();
    }
}

void Updater::onVersionCheckFinished()
{
    const ReplyBody reply = takeBody(m_versionReply);
    // The check is over, whatever it found; only a newer version goes on.
    enter(State::Idle);
    if (reply.kind == ReplyBody::Kind::Gone)
        return;
    const auto checkFailed = [this](Failure::Kind kind, const QString &networkError = QString()) {
        qCWarning(lcUpdate) << "version check failed:" << failureNames[int(kind)];
        if (!m_silent)
            emit this->checkFailed({kind, networkError, {}});
    };
    if (reply.kind == ReplyBody::Kind::TooLarge)
        return checkFailed(Failure::Kind::BadFormat);
    if (reply.kind == ReplyBody::Kind::Failed)
        return checkFailed(Failure::Kind::Unreachable, reply.error);
    if (reply.kind != ReplyBody::Kind::Complete)
        return checkFailed(Failure::Kind::Truncated);
    const VersionAnswer answer = VersionAnswer::parse(reply.body, m_env.updatePublicKeys);
    if (answer.verdict == VersionAnswer::Verdict::NotAnObject)
        return checkFailed(Failure::Kind::BadFormat);
    // An answer that names no newer version needs neither an address nor a
    // signature: there is nothing to fetch, and the launcher is up to date.
    const bool newer = !answer.version.isEmpty() && isNewerVersion(answer.version, m_env.version);
    if (answer.verdict != VersionAnswer::Verdict::Usable && (newer || answer.version.isEmpty()))
        return checkFailed(Failure::Kind::BadData);

    const auto settings = Platform::openSettings(m_env.settingsLocation);
    const QString attempted = settings->value(attemptVersionKey).toString();
    if (!attempted.isEmpty() && !isNewerVersion(attempted, m_env.version)) {
        qCInfo(lcUpdate).noquote() << "version" << attempted << "is installed";
        removeLeftFolder(*settings);
        settings->remove(attemptGroup);
    } else if (!attempted.isEmpty()) {
        qCWarning(lcUpdate).noquote() << "the update to" << attempted << "did not install; failed attempts:"
                                      << settings->value(attemptCountKey).toInt();
    }
    if (!newer) {
        qCInfo(lcUpdate).noquote() << "up to date:" << m_env.version << "against" << answer.version;
        if (!m_silent)
            emit upToDate(m_env.version);
        return;
    }
    m_version = answer.version;
    m_expectedSha256 = answer.sha256;
    if (givenUp(*settings))
        return;
    qCInfo(lcUpdate).noquote() << "updating from" << m_env.version << "to" << m_version;
    // A folder of a random name that only the player can enter, so that no
    // other program swaps the archive after its check or the files it holds.
    removeLeftFolder(*settings);
    m_work = std::make_unique<QTemporaryDir>(m_env.tempFolder + QStringLiteral("/VelorLauncher_Update-XXXXXX"));
    // Reported from the event loop like every ending, so whoever shows the
    // progress of updateStarted() is ready for it, even for a download refused
    // on the spot.
    if (m_work->isValid()) {
        m_download.start(answer.downloadUrl, m_work->filePath(QStringLiteral("update.zip")));
    } else {
        qCWarning(lcUpdate).noquote() << "no folder for the update in" << m_env.tempFolder << ':'
                                      << m_work->errorString();
        QTimer::singleShot(0, this, [this] { fail(Failure::Kind::SaveFailed); });
    }
    enter(State::Downloading);
    emit updateStarted(m_version);
}

bool Updater::givenUp(QSettings &settings)
{
    const int count = settings.value(attemptCountKey).toInt();
    if (!m_silent || count < maxAttempts || !sameVersion(settings.value(attemptVersionKey).toString(), m_version)
        || settings.value(attemptSha256Key).toByteArray() != m_expectedSha256.toHex())
        return false;
    qCWarning(lcUpdate).noquote() << "version" << m_version << "failed to install" << count
                                  << "times; not trying again";
    if (!settings.value(attemptToldKey).toBool()) {
        settings.setValue(attemptToldKey, true);
        emit updateGivenUp(m_version);
    }
    return true;
}

void Updater::onDownloadFinished(const FileDownload::Outcome &outcome)
{
    switch (outcome.kind) {
    case FileDownload::Outcome::Kind::Saved:
        // The digest is taken of the archive as it stays until it is unpacked,
        // held against other programs: none can swap it after its check.
        m_heldArchive = Platform::openHeld(m_work->filePath(QStringLiteral("update.zip")));
        if (!m_heldArchive)
            return fail(Failure::Kind::SaveFailed);
        if (!m_expectedSha256.isEmpty() && sha256Of(*m_heldArchive) != m_expectedSha256)
            return fail(Failure::Kind::Checksum);
        emit installing();
        return enter(State::Unpacking);
    case FileDownload::Outcome::Kind::SaveFailed:
        return fail(Failure::Kind::SaveFailed);
    default:
        qCWarning(lcUpdate) << "the update's download failed";
        m_work.reset();
        enter(State::Idle);
        emit updateFailed({Failure::Kind::Download, {}, outcome});
    }
}

void Updater::install()
{
    const QString archive = m_work->filePath(QStringLiteral("update.zip"));
    const QString folder = m_work->filePath(QStringLiteral("files"));
    // Unpacking runs beside the event loop, so that the window keeps
    // answering; it is bounded all the same.
    const UnpackCommand command = m_unpackCommand(archive, folder);
    m_unpack = std::make_unique<QProcess>();
    m_unpack->setStandardInputFile(QProcess::nullDevice());
    m_unpack->setStandardOutputFile(QProcess::nullDevice());
    m_unpack->setStandardErrorFile(QProcess::nullDevice());
    connect(
        m_unpack.get(), &QProcess::finished, this, [this, archive, folder](int exitCode, QProcess::ExitStatus status) {
            m_unpack.release()->deleteLater();
            m_heldArchive.reset();
            if (status != QProcess::NormalExit || exitCode != 0)
                return fail(Failure::Kind::UnpackFailed);
            startInstaller(archive, folder);
        });
    connect(m_unpack.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_unpack.release()->deleteLater();
        m_heldArchive.reset();
        fail(Failure::Kind::UnpackFailed);
    });
    QTimer::singleShot(m_env.unpackTimeoutMs, m_unpack.get(), &QProcess::kill);
    m_unpack->start(command.program, command.arguments);
}

void Updater::startInstaller(const QString &archive, const QString &folder)
{
    const QString installer = chooseInstaller(folder);
    if (installer.isEmpty())
        return fail(Failure::Kind::NoInstaller);

    QFile::remove(archive);
    const auto settings = Platform::openSettings(m_env.settingsLocation);
    const bool again = sameVersion(settings->value(attemptVersionKey).toString(), m_version)
        && settings->value(attemptSha256Key).toByteArray() == m_expectedSha256.toHex();
    settings->setValue(attemptVersionKey, m_version);
    settings->setValue(attemptSha256Key, m_expectedSha256.toHex());
    settings->setValue(attemptCountKey, again ? settings->value(attemptCountKey).toInt() + 1 : 1);
    settings->setValue(attemptToldKey, again && settings->value(attemptToldKey).toBool());
    settings->sync();
    // Unrecorded, a failing installer would be started at every start.
    if (settings->status() != QSettings::NoError && m_silent)
        return fail(Failure::Kind::NotRecorded);
    const QStringList switches{
        QStringLiteral("/VERYSILENT"), QStringLiteral("/CLOSEAPPLICATIONS"), QStringLiteral("/RESTARTAPPLICATIONS")};
    if (!Platform::prepareToRun(installer) || !QProcess::startDetached(installer, switches, QString()))
        return fail(Failure::Kind::StartFailed);
    qCInfo(lcUpdate).noquote() << "installer of" << m_version << "started:" << installer;
    // The installer runs from the folder; the next version check clears it.
    m_work->setAutoRemove(false);
    settings->setValue(attemptFolderKey, m_work->path());
    enter(State::InstallerStarted);
    if (m_env.quitApplication)
        m_env.quitApplication();
}

void Updater::recordFailed(QSettings &settings, const QString &version)
{
    // The digest stays that of the archive this launcher's install came from;
    // a version installed otherwise is tried once more with its own.
    if (!sameVersion(settings.value(attemptVersionKey).toString(), version)) {
        settings.setValue(attemptVersionKey, version);
        settings.setValue(attemptSha256Key, QByteArray());
    }
    settings.setValue(attemptCountKey, maxAttempts);
    settings.setValue(attemptToldKey, false);
}

void Updater::fail(Failure::Kind kind)
{
    qCWarning(lcUpdate) << "the update failed:" << failureNames[int(kind)];
    m_heldArchive.reset(); // before its folder goes: Windows removes no open file
    m_work.reset();
    enter(State::Idle);
    emit updateFailed({kind, {}, {}});
}
