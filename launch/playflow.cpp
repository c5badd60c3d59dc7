#include "launch/playflow.h"

#include "config/logging.h"
#include "config/platform.h"
#include "launch/gameclient.h"
#include "launch/playprompts.h"

#include <QProcess>
#include <QSettings>

namespace {
const QString settingsKey = QStringLiteral("ragempPath");
} // namespace

PlayFlow::PlayFlow(
    const LauncherEnvironment &environment, QNetworkAccessManager *manager, PlayPrompts &prompts, QObject *parent)
    : QObject(parent)
    , m_env(environment)
    , m_prompts(prompts)
    , m_download(manager, environment.downloadStallTimeoutMs)
{
    m_download.setCommitPolicy(&Platform::replaceFile, m_env.commitAttempts, m_env.commitRetryDelayMs);
    m_download.setResumeDelays(m_env.resumeDelaysMs);
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

QString PlayFlow::clientFolder() const
{
    return GameClient::findFolder(m_env.neighbourClientFolder, m_folder, m_env.fixedClientFolders);
}

bool PlayFlow::chooseFolder(const QString &folder)
{
    if (!GameClient::holdsClient(folder)) {
        qCInfo(lcPlay).noquote() << "no client in the chosen folder" << folder;
        return false;
    }
    remember(folder);
    return true;
}

void PlayFlow::play()
{
    if (m_busy || m_download.isRunning()) {
        m_prompts.bringBack();
        return;
    }
    if (!launch())
        m_prompts.notify(PlayPrompts::Notice::ClientStartFailed);
}

bool PlayFlow::launch()
{
    const QString folder = clientFolder();
    if (folder.isEmpty()) {
        qCInfo(lcPlay) << "no client found";
        askWhatToDo();
        return true;
    }
    qCInfo(lcPlay).noquote() << "client in" << folder;
    remember(folder);
    if (!GameClient::writeServerAddress(m_env.clientKeyLocation, m_env.gameServerHost, m_env.gameServerPort)) {
        qCWarning(lcPlay).noquote() << "cannot write the server address to" << m_env.clientKeyLocation;
        return false;
    }
    qCInfo(lcPlay).noquote() << "server address" << m_env.gameServerHost + QLatin1Char(':') + m_env.gameServerPort
                             << "written to" << m_env.clientKeyLocation;
    if (!GameClient::start(folder)) {
        qCWarning(lcPlay).noquote() << "the client did not start from" << folder;
        return false;
    }
    qCInfo(lcPlay) << "client started";
    return true;
}

void PlayFlow::askWhatToDo()
{
    m_busy = true;
    const auto answer = m_prompts.clientMissing([this](const QString &folder) { return chooseFolder(folder); });
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
            m_prompts.notify(PlayPrompts::Notice::ClientStartFailed);
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
    // The boxes wait for the user like the dialogs before them.
    m_busy = true;
    m_prompts.downloadEnded(outcome);
    if (outcome.kind == FileDownload::Outcome::Kind::Saved) {
        const QString installer = installerPath();
        m_prompts.notify(PlayPrompts::Notice::InstallerStarting);
        if (!Platform::prepareToRun(installer) || !QProcess::startDetached(installer, QStringList(), QString())) {
            // The user was just told it would start, so a failure must not pass in silence.
            qCWarning(lcPlay).noquote() << "the client installer did not start:" << installer;
            m_prompts.notify(PlayPrompts::Notice::InstallerStartFailed, installer);
        } else {
            qCInfo(lcPlay).noquote() << "client installer started:" << installer;
        }
    }
    m_busy = false;
}
