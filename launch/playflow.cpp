#include "launch/playflow.h"

#include "config/platform.h"
#include "launch/gameclient.h"
#include "launch/playprompts.h"

#include <QDir>
#include <QProcess>
#include <QSettings>

namespace {
const QString settingsKey = QStringLiteral("ragempPath");
const QString errorTitle = QStringLiteral("Ошибка");
} // namespace

PlayFlow::PlayFlow(
    const LauncherEnvironment &environment, QNetworkAccessManager *manager, PlayPrompts &prompts, QObject *parent)
    : QObject(parent)
    , m_env(environment)
    , m_prompts(prompts)
    , m_download(manager, environment.downloadStallTimeoutMs)
{
    m_download.setCommitPolicy(&Platform::replaceFile, m_env.commitAttempts, m_env.commitRetryDelayMs);
    m_folder = Platform::openSettings(m_env.settingsLocation)->value(settingsKey, QVariant(QString())).toString();
    connect(&m_download, &FileDownload::finished, this, &PlayFlow::onDownloadFinished);
}

PlayFlow::~PlayFlow()
{
    remember(m_folder);
}

QString PlayFlow::installerPath() const
{
    return m_env.tempFolder + QStringLiteral("/RAGEMultiplayer_Setup.exe");
}

void PlayFlow::play()
{
    if (m_busy || m_download.isRunning()) {
        m_prompts.bringBack();
        return;
    }
    if (!launch())
        warnStartFailed();
}

bool PlayFlow::launch()
{
    const QString folder = GameClient::findFolder(m_env.neighbourClientFolder, m_folder, m_env.fixedClientFolders);
    if (folder.isEmpty()) {
        askWhatToDo();
        return true;
    }
    remember(folder);
    return GameClient::writeServerAddress(m_env.clientKeyLocation, m_env.gameServerHost, m_env.gameServerPort)
        && GameClient::start(folder);
}

void PlayFlow::askWhatToDo()
{
    m_busy = true;
    const auto answer = m_prompts.clientMissing([this](const QString &folder) {
        if (!GameClient::holdsClient(folder))
            return false;
        remember(folder);
        return true;
    });
    m_busy = false;
    switch (answer) {
    case PlayPrompts::ClientMissingAnswer::Download:
        m_download.start(m_env.clientInstallerUrl, installerPath());
        m_prompts.showDownload(m_download);
        break;
    case PlayPrompts::ClientMissingAnswer::FolderChosen:
        // The folder was the user's own choice, so a client that will not
        // start there is reported as on the first attempt.
        if (!launch())
            warnStartFailed();
        break;
    case PlayPrompts::ClientMissingAnswer::Cancel:
        break;
    }
}

void PlayFlow::remember(const QString &folder)
{
    m_folder = folder;
    Platform::openSettings(m_env.settingsLocation)->setValue(settingsKey, QVariant(m_folder));
}

void PlayFlow::onDownloadFinished(const FileDownload::Outcome &outcome)
{
    m_prompts.downloadEnded();
    // The boxes below wait for the user like the dialogs before them.
    m_busy = true;
    const QString installer = installerPath();
    switch (outcome.kind) {
    case FileDownload::Outcome::Kind::Saved:
        m_prompts.notify(PlayPrompts::Notice::Information, QStringLiteral("Установка"),
            QStringLiteral("Сейчас запустится установщик RAGE Multiplayer.\n"
                           "После установки нажмите кнопку «Начать играть» снова."));
        if (!Platform::prepareToRun(installer) || !QProcess::startDetached(installer, QStringList(), QString())) {
            // The user was just told it would start, so a failure must not pass in silence.
            m_prompts.notify(PlayPrompts::Notice::Critical, errorTitle,
                QStringLiteral("Не удалось запустить установщик RAGE Multiplayer:\n%1")
                    .arg(QDir::toNativeSeparators(installer)));
        }
        break;
    case FileDownload::Outcome::Kind::SaveFailed:
        m_prompts.notify(PlayPrompts::Notice::Critical, errorTitle, QStringLiteral("Не удалось сохранить установщик."));
        break;
    case FileDownload::Outcome::Kind::Canceled:
        break;
    case FileDownload::Outcome::Kind::Failed:
        m_prompts.notify(PlayPrompts::Notice::Critical, QStringLiteral("Ошибка загрузки"),
            QStringLiteral("Не удалось скачать RAGE Multiplayer:\n%1").arg(outcome.reason));
        break;
    }
    m_busy = false;
}

void PlayFlow::warnStartFailed()
{
    m_prompts.notify(PlayPrompts::Notice::Warning, errorTitle,
        QStringLiteral("Не удалось запустить RageMP!\nПроверьте путь в настройках."));
}
