#include "update/updater.h"

#include "app/downloadsink.h"
#include "app/networkrequest.h"
#include "app/replybody.h"
#include "app/downloadoutcome.h"
#include "update/installerchoice.h"
#include "update/versionanswer.h"
#include "update/versioncompare.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
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

Updater::Updater(QObject *parent)
    : Updater(LauncherEnvironment::compiledIn(), parent)
{
}

Updater::Updater(const LauncherEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_versionUrl(environment.versionUrl())
    , m_env(environment)
    , m_unpackCommand(&Platform::unpackCommand)
{
    m_networkManager = new QNetworkAccessManager(this);
}

void Updater::setUnpackCommand(UnpackCommand command)
{
    m_unpackCommand = std::move(command);
}

void Updater::checkForUpdates(bool silent)
{
    m_silent = silent;
    if (m_versionReply)
        return;
    QNetworkReply *reply = m_networkManager->get(makeGetRequest(m_versionUrl, m_env.requestTimeoutMs));
    m_versionReply = reply;
    limitReplySize(reply, maxVersionAnswerSize);
    connect(reply, &QNetworkReply::finished, this, &Updater::onVersionCheckFinished);
}

void Updater::onVersionCheckFinished()
{
    if (!m_versionReply)
        return;
    QNetworkReply *reply = std::exchange(m_versionReply, nullptr);
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

    const VersionAnswer answer = VersionAnswer::parse(*body);
    if (answer.verdict == VersionAnswer::Verdict::NotAnObject)
        return fail(badFormatText);
    m_latestVersion = answer.version;
    m_downloadUrl = answer.downloadUrl;
    m_changelog = answer.changelog;
    m_expectedSha256 = answer.sha256;
    m_verifiedArchive.clear();
    if (answer.verdict != VersionAnswer::Verdict::Usable)
        return fail(badDataText);

    if (isNewerVersion(m_latestVersion, QString::fromUtf8(Velor::applicationVersion)))
        emit updateAvailable(m_latestVersion, m_changelog);
    else
        emit noUpdateAvailable();
}

void Updater::downloadUpdate(const QString &url)
{
    if (m_downloadReply)
        return;
    m_downloadPath = m_env.tempFolder + QStringLiteral("/VelorRP_Launcher_Update.zip");
    if (!VersionAnswer::isTrustedArchiveUrl(QUrl(url, QUrl::TolerantMode))) {
        emit downloadFailed(badDataText);
        return;
    }
    QNetworkReply *reply = m_networkManager->get(makeGetRequest(url, m_env.downloadStallTimeoutMs));
    m_downloadReply = reply;
    m_archiveHash.reset();
    m_hashedBytes = -1;
    if (!m_expectedSha256.isEmpty()) {
        // Connected before the sink, so this sees each piece before the sink takes it.
        m_hashedBytes = 0;
        connect(reply, &QIODevice::readyRead, this, [this, reply] {
            if (m_downloadSink)
                hashArrivedBytes(*reply, *m_downloadSink);
        });
    }
    m_downloadSink = new DownloadSink(reply, m_downloadPath, reply);
    connect(reply, &QNetworkReply::downloadProgress, this, &Updater::onDownloadProgress);
    connect(reply, &QNetworkReply::finished, this, &Updater::onDownloadFinished);
}

void Updater::hashArrivedBytes(QNetworkReply &reply, const DownloadSink &sink)
{
    if (m_hashedBytes < 0)
        return;
    // The unread bytes start where the sink has read up to.
    const qint64 start = sink.received();
    const QByteArray unread = reply.peek(reply.bytesAvailable());
    const qint64 skip = m_hashedBytes - start;
    if (skip < 0) {
        m_hashedBytes = -1; // some bytes went by unseen
        return;
    }
    if (skip < unread.size()) {
        m_archiveHash.addData(QByteArrayView(unread).sliced(skip));
        m_hashedBytes = start + unread.size();
    }
}

void Updater::onDownloadProgress(qint64 received, qint64 total)
{
    emit downloadProgress(received, total);
}

void Updater::onDownloadFinished()
{
    if (!m_downloadReply)
        return;
    QNetworkReply *reply = std::exchange(m_downloadReply, nullptr);
    DownloadSink *sink = std::exchange(m_downloadSink, nullptr);
    reply->deleteLater(); // takes the sink, and an uncommitted file, with it
    hashArrivedBytes(*reply, *sink); // what the commit is about to take
    const DownloadOutcome outcome =
        DownloadOutcome::conclude(*reply, *sink, /*canceledByUser=*/false, m_env.downloadStallTimeoutMs);
    switch (outcome.kind) {
    case DownloadOutcome::Kind::Saved:
        if (m_hashedBytes >= 0 && m_hashedBytes == sink->received()) {
            if (m_archiveHash.result() != m_expectedSha256) {
                QFile::remove(m_downloadPath);
                emit downloadFailed(checksumText);
                return;
            }
            m_verifiedArchive = m_downloadPath;
        }
        emit downloadFinished(m_downloadPath);
        break;
    case DownloadOutcome::Kind::SaveFailed:
        emit downloadFailed(saveFailedText);
        break;
    case DownloadOutcome::Kind::Canceled:
    case DownloadOutcome::Kind::Failed:
        emit downloadFailed(outcome.reason);
        break;
    }
}

void Updater::installUpdate(const QString &zipPath)
{
    const QString verifiedArchive = std::exchange(m_verifiedArchive, QString());
    const bool verified = !verifiedArchive.isEmpty() && zipPath == verifiedArchive;
    if (!m_expectedSha256.isEmpty() && !verified && !archiveMatches(zipPath, m_expectedSha256)) {
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
    const QStringList switches{QStringLiteral("/VERYSILENT"), QStringLiteral("/CLOSEAPPLICATIONS"),
                               QStringLiteral("/RESTARTAPPLICATIONS")};
    if (!Platform::prepareToRun(installer) || !QProcess::startDetached(installer, switches, QString())) {
        emit downloadFailed(startFailedText);
        return;
    }
    if (m_env.quitApplication)
        m_env.quitApplication();
}
