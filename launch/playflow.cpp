#include "launch/playflow.h"

#include "config/logging.h"
#include "config/platform.h"
#include "launch/gameclient.h"

#include <QPointer>
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
    connect(&m_download, &FileDownload::finished, this, [this](const FileDownload::Outcome &outcome) {
        m_outcome = outcome;
        enter(State::ReportingDownload);
    });
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
    if (m_state == State::Idle)
        enter(State::StartingClient);
    else
        m_prompts.bringBack();
}

void PlayFlow::enter(State next)
{
    using Answer = PlayPrompts::ClientMissingAnswer;
    m_state = next;
    switch (next) {
    case State::Idle:
        return;
    case State::StartingClient: {
        const QString folder = clientFolder();
        if (folder.isEmpty()) {
            qCInfo(lcPlay) << "no client found";
            return enter(State::AskingWhatToDo);
        }
        return enter(launch(folder) ? State::Idle : State::ReportingClientFailure);
    }
    case State::AskingWhatToDo:
        return m_prompts.clientMissing(
            [flow = QPointer<PlayFlow>(this)](const QString &folder) { return flow && flow->chooseFolder(folder); },
            [flow = QPointer<PlayFlow>(this)](Answer answer) {
                // A folder the user chose holds the client, so one that will not
                // start there is reported as on the first attempt.
                if (flow)
                    flow->enter(answer == Answer::Download   ? State::Downloading
                            : answer == Answer::FolderChosen ? State::StartingClient
                                                             : State::Idle);
            });
    case State::Downloading:
        m_download.start(m_env.clientInstallerUrl, installerPath());
        return m_prompts.showDownload(m_download);
    case State::ReportingDownload:
        return m_prompts.downloadEnded(m_outcome,
            then(m_outcome.kind == FileDownload::Outcome::Kind::Saved ? State::AnnouncingInstaller : State::Idle));
    case State::AnnouncingInstaller:
        return m_prompts.notify(PlayPrompts::Notice::InstallerStarting, QString(), then(State::StartingInstaller));
    case State::StartingInstaller:
        return enter(startInstaller() ? State::Idle : State::ReportingInstallerFailure);
    case State::ReportingInstallerFailure:
        return m_prompts.notify(PlayPrompts::Notice::InstallerStartFailed, installerPath(), then(State::Idle));
    case State::ReportingClientFailure:
        return m_prompts.notify(PlayPrompts::Notice::ClientStartFailed, QString(), then(State::Idle));
    }
}

PlayPrompts::Done PlayFlow::then(State next)
{
    return [flow = QPointer<PlayFlow>(this), next] {
        if (flow)
            flow->enter(next);
    };
}

bool PlayFlow::launch(const QString &folder)
{
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

bool PlayFlow::startInstaller()
{
    const QString installer = installerPath();
    if (!Platform::prepareToRun(installer) || !QProcess::startDetached(installer, QStringList(), QString())) {
        // The user was just told it would start, so a failure must not pass in silence.
        qCWarning(lcPlay).noquote() << "the client installer did not start:" << installer;
        return false;
    }
    qCInfo(lcPlay).noquote() << "client installer started:" << installer;
    return true;
}

void PlayFlow::remember(const QString &folder)
{
    m_folder = folder;
    Platform::openSettings(m_env.settingsLocation)->setValue(settingsKey, QVariant(m_folder));
}
