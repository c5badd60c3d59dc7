#include "update/updater.h"

#include "net/networkrequest.h"
#include "net/replybody.h"
#include "update/installerchoice.h"
#include "update/versionanswer.h"
#include "update/versioncompare.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <utility>

namespace {
const QString badFormatText = QStringLiteral("Неверный формат ответа сервера");
const QString badDataText = QStringLiteral("Неверные данные обновления");
const QString saveFailedText = QStringLiteral("Не удалось сохранить файл обновления");
const QString truncatedText = QStringLiteral("Соединение оборвалось до конца ответа.");
const QString unpackFailedText = QStringLiteral("Ошибка распаковки обновления");
const QString noInstallerText = QStringLiteral("Инсталлер не найден в архиве");
const QString startFailedText = QStringLiteral("Не удалось запустить установщик обновления");
const QString checksumText = QStringLiteral("Контрольная сумма обновления не совпадает");

// The answer holds three short strings; anything far larger is not one, and
// is not worth holding in memory.
constexpr qint64 maxVersionAnswerSize = 1024 * 1024;

bool archiveMatches(const QString &path, const QByteArray &sha256)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return hash.addData(&file) && hash.result() == sha256;
}

// Clears what an earlier attempt left. A symbolic link in the folder's place is
// removed itself, never what it points to.
bool removeExtractionFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink())
        QFile::remove(folder);
    else if (info.exists())
        QDir(folder).removeRecursively();
    return !QFileInfo(folder).exists() && !QFileInfo(folder).isSymLink();
}
} // namespace

Updater::Updater(const LauncherEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_networkManager(new QNetworkAccessManager(this))
    , m_download(new FileDownload(m_networkManager, environment.downloadStallTimeoutMs, this))
    , m_versionUrl(environment.versionUrl())
    , m_env(environment)
    , m_unpackCommand(&Platform::unpackCommand)
{
    m_download->setCommitPolicy(&Platform::replaceFile, m_env.commitAttempts, m_env.commitRetryDelayMs);
    connect(m_download, &FileDownload::progress, this, &Updater::downloadProgress);
    connect(m_download, &FileDownload::finished, this, &Updater::onDownloadFinished);
}

void Updater::checkForUpdates(bool silent)
{
    m_silent = silent;
    if (m_versionReply)
        return;
    m_versionReply = getAnswer(m_networkManager, m_versionUrl, m_env.requestTimeoutMs, maxVersionAnswerSize);
    connect(m_versionReply, &QNetworkReply::finished, this, &Updater::onVersionCheckFinished);
}

void Updater::onVersionCheckFinished()
{
    if (!m_versionReply)
        return;
    QNetworkReply *reply = m_versionReply;
    m_versionReply = nullptr;
    reply->deleteLater();
    const auto fail = [this](const QString &error) {
        if (!m_silent)
            emit updateCheckFailed(error);
    };

    if (exceededSizeLimit(reply))
        return fail(badFormatText);
    if (reply->error() != QNetworkReply::NoError)
        return fail(reply->errorString());
    const std::optional<QByteArray> body = completeBody(reply);
    if (!body)
        return fail(truncatedText);

    const VersionAnswer answer = VersionAnswer::parse(*body, m_env.updatePublicKeys);
    if (answer.verdict == VersionAnswer::Verdict::NotAnObject)
        return fail(badFormatText);
    m_latestVersion = answer.version;
    m_downloadUrl = answer.downloadUrl;
    m_changelog = answer.changelog;
    m_verifiedArchive.clear();
    // A digest from an answer that failed its checks (its signature, say)
    // must not vouch for an archive.
    const bool usable = answer.verdict == VersionAnswer::Verdict::Usable;
    m_expectedSha256 = usable ? answer.sha256 : QByteArray();
    if (!usable)
        return fail(badDataText);

    if (isNewerVersion(m_latestVersion, QString::fromUtf8(Velor::applicationVersion)))
        emit updateAvailable(m_latestVersion, m_changelog);
    else
        emit noUpdateAvailable();
}

void Updater::downloadUpdate(const QString &url)
{
    if (m_download->isRunning())
        return;
    m_downloadPath = m_env.tempFolder + QStringLiteral("/VelorRP_Launcher_Update.zip");
    // With update keys, only the digest of a signed answer lets an archive in.
    const bool unsignedUpdate = !m_env.updatePublicKeys.isEmpty() && m_expectedSha256.isEmpty();
    if (unsignedUpdate || !VersionAnswer::isTrustedArchiveUrl(QUrl(url, QUrl::TolerantMode))) {
        // Reported from the event loop like every other ending, so the caller
        // is already waiting for it.
        QTimer::singleShot(0, this, [this] { emit downloadFailed(badDataText); });
        return;
    }
    m_download->start(url, m_downloadPath, !m_expectedSha256.isEmpty());
}

void Updater::onDownloadFinished(const FileDownload::Outcome &outcome)
{
    switch (outcome.kind) {
    case FileDownload::Outcome::Kind::Saved:
        if (!m_expectedSha256.isEmpty()) {
            if (outcome.sha256 != m_expectedSha256) {
                QFile::remove(m_downloadPath);
                emit downloadFailed(checksumText);
                return;
            }
            m_verifiedArchive = m_downloadPath;
        }
        emit downloadFinished(m_downloadPath);
        break;
    case FileDownload::Outcome::Kind::SaveFailed:
        emit downloadFailed(saveFailedText);
        break;
    case FileDownload::Outcome::Kind::Canceled:
    case FileDownload::Outcome::Kind::Failed:
        emit downloadFailed(outcome.reason);
        break;
    }
}

void Updater::installUpdate(const QString &zipPath)
{
    const QString verifiedArchive = std::exchange(m_verifiedArchive, QString());
    const bool verified = !verifiedArchive.isEmpty() && zipPath == verifiedArchive;
    const bool mustMatch = !m_expectedSha256.isEmpty() || !m_env.updatePublicKeys.isEmpty();
    if (mustMatch && !verified && !archiveMatches(zipPath, m_expectedSha256)) {
        QFile::remove(zipPath);
        emit downloadFailed(checksumText);
        return;
    }

    // Stale files of an earlier attempt must never reach the installer search.
    const QString folder = m_env.tempFolder + QStringLiteral("/VelorLauncher_Update");
    if (!removeExtractionFolder(folder)) {
        emit downloadFailed(unpackFailedText);
        return;
    }

    const Platform::Command command = m_unpackCommand(zipPath, folder);
    bool unpacked = false;
    {
        QProcess unpack;
        unpack.setStandardInputFile(QProcess::nullDevice());
        unpack.setStandardOutputFile(QProcess::nullDevice());
        unpack.setStandardErrorFile(QProcess::nullDevice());
        unpack.start(command.program, command.arguments);
        // Blocks the window on purpose: nothing else may happen meanwhile.
        unpacked = unpack.waitForFinished(m_env.unpackTimeoutMs) && unpack.exitStatus() == QProcess::NormalExit
            && unpack.exitCode() == 0;
        if (unpack.state() != QProcess::NotRunning) {
            unpack.kill();
            unpack.waitForFinished();
        }
    }
    if (!unpacked) {
        emit downloadFailed(unpackFailedText);
        return;
    }

    const QString installer = chooseInstaller(folder);
    if (installer.isEmpty()) {
        emit downloadFailed(noInstallerText);
        return;
    }

    QFile::remove(zipPath);
    const QStringList switches{
        QStringLiteral("/VERYSILENT"), QStringLiteral("/CLOSEAPPLICATIONS"), QStringLiteral("/RESTARTAPPLICATIONS")};
    if (!Platform::prepareToRun(installer) || !QProcess::startDetached(installer, switches, QString())) {
        emit downloadFailed(startFailedText);
        return;
    }
    if (m_env.quitApplication)
        m_env.quitApplication();
}
