#pragma once

#include "config/launcherenvironment.h"
#include "launch/playprompts.h"
#include "net/filedownload.h"

#include <QObject>
#include <QString>

class QNetworkAccessManager;

/**
 * The play action: finds the RAGE Multiplayer client, points it at the
 * community's server and starts it; without a client, asks the user and
 * downloads the client's installer or takes the folder they pick. Owns the
 * remembered client folder, stored whenever it changes and when the flow ends.
 *
 * The flow never waits in place: it asks the prompts and goes on when they
 * answer. A play request that arrives while an earlier one still waits for the
 * user or its download runs only brings that back: there is one download at a
 * time.
 */
class PlayFlow final : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Idle,
        StartingClient, ///< passes within the call that enters it
        AskingWhatToDo, ///< no client: the user picks the download or a folder
        Downloading, ///< the client's installer
        ReportingDownload, ///< its end, until the user dismisses it
        AnnouncingInstaller, ///< the downloaded installer starts once the user dismisses this
        StartingInstaller, ///< passes within the call that enters it
        ReportingInstallerFailure,
        ReportingClientFailure,
    };
    Q_ENUM(State)

    PlayFlow(const LauncherEnvironment &environment, QNetworkAccessManager *manager, PlayPrompts &prompts,
        QObject *parent = nullptr);
    ~PlayFlow() override;

    /// Starts the client, or in any state but Idle brings back what is open.
    void play();
    State state() const { return m_state; }

    /// The folder play() would start the client from now; empty when no folder holds it.
    QString clientFolder() const;
    /// Remembers folder as the client's when it holds the client; returns whether it does.
    bool chooseFolder(const QString &folder);

private:
    /// The one place the state changes; it does what the new state begins with.
    void enter(State next);
    /// Enters next when the prompts call it, unless this flow is gone by then.
    PlayPrompts::Done then(State next);
    QString installerPath() const;
    bool launch(const QString &folder);
    bool startInstaller();
    void remember(const QString &folder);

    LauncherEnvironment m_env;
    PlayPrompts &m_prompts;
    FileDownload m_download;
    QString m_folder;
    FileDownload::Outcome m_outcome; ///< of the last download, while it is told
    State m_state = State::Idle;
};
