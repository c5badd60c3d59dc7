#pragma once

#include "config/launcherenvironment.h"
#include "net/filedownload.h"

#include <QObject>
#include <QString>

class PlayPrompts;
class QNetworkAccessManager;

/**
 * The play action: finds the RAGE Multiplayer client, points it at the
 * community's server and starts it; without a client, asks the user and
 * downloads the client's installer or takes the folder they pick. Owns the
 * remembered client folder, stored whenever it changes and when the flow ends.
 *
 * A play request that arrives while an earlier one still waits for the user
 * or its download runs only brings that back: there is one download at a time.
 */
class PlayFlow final : public QObject
{
    Q_OBJECT

public:
    PlayFlow(const LauncherEnvironment &environment, QNetworkAccessManager *manager, PlayPrompts &prompts,
        QObject *parent = nullptr);
    ~PlayFlow() override;

    void play();

    /// The folder play() would start the client from now; empty when no folder holds it.
    QString clientFolder() const;
    /// Remembers folder as the client's when it holds the client; returns whether it does.
    bool chooseFolder(const QString &folder);

private:
    QString installerPath() const;
    bool launch();
    void askWhatToDo();
    void remember(const QString &folder);
    void onDownloadFinished(const FileDownload::Outcome &outcome);

    LauncherEnvironment m_env;
    PlayPrompts &m_prompts;
    FileDownload m_download;
    QString m_folder;
    bool m_busy = false; // waiting for the user in a dialog or box
};
