// The play action: finding and starting the client, its key, the installer's
// download and start, and the unpack command. These run under Wine too.
#include "config/platform.h"
#include "launch/playflow.h"
#include "launch/playprompts.h"
#include "testsupport.h"

#include <QNetworkAccessManager>
#include <QtTest>

/// Answers a turn of the event loop later, the client-missing dialog from a script: folders to pick, then
/// "download:<installer>" or a cancel; logs what it was asked, what it showed and what it was told. As the flow
/// waits in the state againIn, plays again first.
struct ScriptedPrompts final : PlayPrompts
{
    QStringList picks;
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
                if (pick.startsWith("download:"))
                    return answered(ClientMissingAnswer::Download);
                if (acceptFolder(pick))
                    return answered(ClientMissingAnswer::FolderChosen);
            }
            answered(ClientMissingAnswer::Cancel);
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
    QTest::addColumn<QString>("client"); // holds updater.exe: "neighbour" is found, "broken" cannot start
    QTest::addColumn<QString>("picks"); // folders, then "download:<installer>"
    QTest::addColumn<bool>("keyWritable");
    QTest::addColumn<State>("againIn"); // play again as the flow waits there: that only brings back what is open
    QTest::addColumn<QString>("told");
    QTest::newRow("next to the launcher") << "neighbour"
                                          << "" << true << State::Idle << "";
    QTest::newRow("nowhere, cancelled") << ""
                                        << "" << true << State::AskingWhatToDo << "missing,back";
    QTest::newRow("nowhere, a wrong folder picked, then the right one")
        << "picked"
        << "wrong,picked" << true << State::Idle << "missing";
    QTest::newRow("picked, but it cannot start")
        << "broken"
        << "broken" << true << State::ReportingClientFailure << "missing,client failed,back";
    QTest::newRow("installer downloaded and started")
        << ""
        << "download:recorder" << true << State::Downloading << "missing,shown,back,ended,installing";
    QTest::newRow("installer downloaded, its end told")
        << ""
        << "download:recorder" << true << State::ReportingDownload << "missing,shown,ended,back,installing";
    QTest::newRow("installer downloaded, its start told")
        << ""
        << "download:recorder" << true << State::AnnouncingInstaller << "missing,shown,ended,installing,back";
    QTest::newRow("installer that cannot start") << ""
                                                 << "download:no program" << true << State::ReportingInstallerFailure
                                                 << "missing,shown,ended,installing,installer failed,back";
#ifndef Q_OS_WIN // a registry key that refuses writing needs an access list of its own
    QTest::newRow("client key that cannot be written") << "neighbour"
                                                       << "" << false << State::Idle << "client failed";
#endif
}

void TestPlay::play()
{
    QFETCH(QString, client);
    QFETCH(QString, picks);
    QFETCH(bool, keyWritable);
    QFETCH(PlayFlow::State, againIn);
    QFETCH(QString, told);
    const QTemporaryDir scratch;
    LauncherEnvironment env = testEnvironment(scratch.path());
    const QString folder = scratch.filePath(client);
    if (client == "broken")
        QDir().mkpath(folder + "/updater.exe"); // holds the client, but no program can start
    else if (!client.isEmpty())
        writeRecorder(folder + "/updater.exe");
    if (!keyWritable)
        QDir().mkpath(env.clientKeyLocation); // a folder where the file would go
    ScriptedPrompts prompts;
    prompts.againIn = againIn;
    for (const QString &pick : picks.split(u',', Qt::SkipEmptyParts))
        prompts.picks << (pick.contains(u':') ? pick : scratch.filePath(pick));
    const QString installer = picks.section(u':', 1);
    FixtureServer server;
    const QByteArray program
        = installer == "recorder" ? readFile(writeRecorder(scratch.filePath("stage/setup.exe"))) : installer.toUtf8();
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
    if (installer == "recorder")
        QTRY_VERIFY(!recorded(env.tempFolder + "/RAGEMultiplayer_Setup.exe").isEmpty());
    const auto key = Platform::openSettings(env.clientKeyLocation);
    QCOMPARE(key->contains("launch2.ip"), !client.isEmpty() && keyWritable);
    if (client.isEmpty())
        return;
    QCOMPARE(Platform::openSettings(env.settingsLocation)->value("ragempPath").toString(), folder);
    if (told.contains("failed"))
        return;
    QTRY_COMPARE(recorded(folder + "/updater.exe"), "|" + QFileInfo(folder).canonicalFilePath() + "\n");
    QCOMPARE(key->value("launch2.ip"), QVariant("game.site.test"));
}

void TestPlay::unpackCommandQuotesItsPaths()
{
    // PowerShell ends a quoted string at any of five quote characters, so each
    // is doubled; -LiteralPath keeps [brackets] from being read as wildcards.
    QCOMPARE(Platform::expandArchiveCommand("C:/Temp/a'b\u2019[1].zip", "C:/д\u201b"),
        "Expand-Archive -LiteralPath 'C:/Temp/a''b\u2019\u2019[1].zip' -DestinationPath 'C:/д\u201b\u201b' -Force");
}

QTEST_GUILESS_MAIN(TestPlay)
#include "tst_play.moc"
