// The play action: finding and starting the client, its key, the installer's
// download and start, and the unpack command. These run under Wine too.
#include "config/platform.h"
#include "launch/playflow.h"
#include "launch/playprompts.h"
#include "testsupport.h"
#include "update/unpackcommand.h"

#include <QNetworkAccessManager>
#include <QtTest>

/// Answers a turn of the event loop later, the client-missing dialog with folders to pick, then the installer's
/// download or a cancel; logs what it was asked, what it showed and what it was told. As the flow waits in the
/// state againIn, plays again first.
struct ScriptedPrompts final : PlayPrompts
{
    QStringList picks;
    bool download = false;
    QStringList log;
    PlayFlow *flow = nullptr;
    PlayFlow::State againIn = PlayFlow::State::Idle;
    void asked(const QString &what, const Done &answer)
    {
        log << what;
        if (flow->state() == againIn)
            QTimer::singleShot(0, flow, [this] { flow->play(); });
        QTimer::singleShot(0, flow, answer);
    }
    void clientMissing(
        std::function<bool(const QString &)> acceptFolder, std::function<void(ClientMissingAnswer)> answered) override
    {
        asked("missing", [this, acceptFolder, answered] {
            for (const QString &pick : std::as_const(picks)) {
                if (acceptFolder(pick))
                    return answered(ClientMissingAnswer::FolderChosen);
            }
            answered(download ? ClientMissingAnswer::Download : ClientMissingAnswer::Cancel);
        });
    }
    void showDownload(FileDownload &) override
    {
        asked("shown", [] {});
    }
    void downloadEnded(const FileDownload::Outcome &, Done dismissed) override { asked("ended", dismissed); }
    void bringBack() override { log << "back"; }
    void notify(Notice notice, const QString &, Done dismissed) override
    {
        asked(QStringList{"client failed", "installing", "installer failed"}.at(int(notice)), dismissed);
    }
};

class TestPlay final : public QObject
{
    Q_OBJECT

private slots:
    void play_data();
    void play();
    void unpackCommandQuotesItsPaths();
};

void TestPlay::play_data()
{
    using State = PlayFlow::State;
    QTest::addColumn<QString>("client"); // the folder that holds updater.exe; "neighbour" is found
    QTest::addColumn<bool>("startable"); // updater.exe is a program
    QTest::addColumn<QStringList>("picks"); // folders
    QTest::addColumn<bool>("download"); // asked for once the picks are done, rather than a cancel
    QTest::addColumn<bool>("installerRuns"); // what the download gets is a program
    QTest::addColumn<bool>("keyWritable");
    QTest::addColumn<State>("againIn"); // play again as the flow waits there: that only brings back what is open
    QTest::addColumn<QString>("told");
    const QStringList none;
    QTest::newRow("next to the launcher") << "neighbour" << true << none << false << false << true << State::Idle << "";
    QTest::newRow("nowhere, cancelled") << "" << true << none << false << false << true << State::AskingWhatToDo
                                        << "missing,back";
    QTest::newRow("nowhere, a wrong folder picked, then the right one")
        << "picked" << true << QStringList{"wrong", "picked"} << false << false << true << State::Idle << "missing";
    QTest::newRow("picked, but it cannot start") << "picked" << false << QStringList{"picked"} << false << false << true
                                                 << State::ReportingClientFailure << "missing,client failed,back";
    QTest::newRow("installer downloaded and started")
        << "" << true << none << true << true << true << State::Downloading << "missing,shown,back,ended,installing";
    QTest::newRow("installer downloaded, its end told")
        << "" << true << none << true << true << true << State::ReportingDownload
        << "missing,shown,ended,back,installing";
    QTest::newRow("installer downloaded, its start told")
        << "" << true << none << true << true << true << State::AnnouncingInstaller
        << "missing,shown,ended,installing,back";
    QTest::newRow("installer that cannot start")
        << "" << true << none << true << false << true << State::ReportingInstallerFailure
        << "missing,shown,ended,installing,installer failed,back";
#ifndef Q_OS_WIN // a registry key that refuses writing needs an access list of its own
    QTest::newRow("client key that cannot be written")
        << "neighbour" << true << none << false << false << false << State::Idle << "client failed";
#endif
}

void TestPlay::play()
{
    QFETCH(QString, client);
    QFETCH(bool, startable);
    QFETCH(QStringList, picks);
    QFETCH(bool, download);
    QFETCH(bool, installerRuns);
    QFETCH(bool, keyWritable);
    QFETCH(PlayFlow::State, againIn);
    QFETCH(QString, told);
    const QTemporaryDir scratch;
    LauncherEnvironment env = testEnvironment(scratch.path());
    const QString folder = scratch.filePath(client);
    if (!startable)
        QDir().mkpath(folder + "/updater.exe"); // holds the client, but no program can start
    else if (!client.isEmpty())
        writeRecorder(folder + "/updater.exe");
    if (!keyWritable)
        QDir().mkpath(env.clientKeyLocation); // a folder where the file would go
    ScriptedPrompts prompts;
    prompts.againIn = againIn;
    for (const QString &pick : picks)
        prompts.picks << scratch.filePath(pick);
    prompts.download = download;
    FixtureServer server;
    const QByteArray program = installerRuns ? readFile(writeRecorder(scratch.filePath("stage/setup.exe"))) : "no";
    server.routes["/setup.exe"] = Route{200, program};
    env.clientInstallerUrl = server.url("/setup.exe");
    {
        QNetworkAccessManager manager;
        PlayFlow flow(env, &manager, prompts);
        prompts.flow = &flow;
        flow.play();
        QTRY_COMPARE(flow.state(), PlayFlow::State::Idle);
    }
    QCOMPARE(prompts.log.join(u','), told);
    if (installerRuns)
        QTRY_VERIFY(!recorded(env.tempFolder + "/RAGEMultiplayer_Setup.exe").isEmpty());
    const auto key = Platform::openSettings(env.clientKeyLocation);
    QCOMPARE(key->contains("launch2.ip"), !client.isEmpty() && keyWritable);
    if (client.isEmpty())
        return;
    QCOMPARE(Platform::openSettings(env.settingsLocation)->value("ragempPath").toString(), folder);
    if (!startable || !keyWritable)
        return;
    QTRY_COMPARE(recorded(folder + "/updater.exe"), "|" + QFileInfo(folder).canonicalFilePath() + "\n");
    QCOMPARE(key->value("launch2.ip"), QVariant("game.site.test"));
}

void TestPlay::unpackCommandQuotesItsPaths()
{
    // PowerShell ends a quoted string at any of five quote characters, so each
    // is doubled; -LiteralPath keeps [brackets] from being read as wildcards.
    QCOMPARE(UnpackCommand::expandArchive("C:/Temp/a'b\u2019[1].zip", "C:/д\u201b"),
        "Expand-Archive -LiteralPath 'C:/Temp/a''b\u2019\u2019[1].zip' -DestinationPath 'C:/д\u201b\u201b' -Force");
}

QTEST_GUILESS_MAIN(TestPlay)
#include "tst_play.moc"
