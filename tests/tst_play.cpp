// The play action: finding and starting the client, its key, the installer's
// download and start, and the unpack command. These run under Wine too.
#include "config/platform.h"
#include "launch/playflow.h"
#include "launch/playprompts.h"
#include "testsupport.h"

#include <QNetworkAccessManager>
#include <QtTest>

using namespace Qt::StringLiterals;

/// Answers the client-missing dialog from a script: folders to pick, then "download:<installer>"
/// or a cancel; logs what it was asked, what it showed and what it was told.
struct ScriptedPrompts final : PlayPrompts
{
    QStringList picks;
    QStringList log;
    ClientMissingAnswer clientMissing(const std::function<bool(const QString &)> &acceptFolder) override
    {
        log << u"missing"_s;
        for (const QString &pick : std::as_const(picks)) {
            if (pick.startsWith(u"download:"_s))
                return ClientMissingAnswer::Download;
            if (acceptFolder(pick))
                return ClientMissingAnswer::FolderChosen;
        }
        return ClientMissingAnswer::Cancel;
    }
    void showDownload(FileDownload &) override { log << u"shown"_s; }
    void downloadEnded(const FileDownload::Outcome &) override { log << u"ended"_s; }
    void bringBack() override { log << u"back"_s; }
    void notify(Notice notice, const QString &) override
    {
        const char *const notices[] = {"client failed", "installing", "installer failed"};
        log << QString::fromLatin1(notices[int(notice)]);
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
    QTest::addColumn<QString>("client"); // holds updater.exe: "neighbour" is found, "broken" cannot start
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<bool>("keyWritable");
    QTest::addColumn<QString>("told");
    QTest::newRow("next to the launcher") << u"neighbour"_s << QStringList() << true << QString();
    QTest::newRow("nowhere, cancelled") << QString() << QStringList() << true << u"missing"_s;
    QTest::newRow("nowhere, a wrong folder picked, then the right one")
        << u"picked"_s << QStringList{u"wrong"_s, u"picked"_s} << true << u"missing"_s;
    QTest::newRow("picked, but it cannot start")
        << u"broken"_s << QStringList{u"broken"_s} << true << u"missing,client failed"_s;
    // Play again while the installer downloads only brings its dialog back.
    QTest::newRow("installer downloaded and started")
        << QString() << QStringList{u"download:recorder"_s} << true << u"missing,shown,back,ended,installing"_s;
    QTest::newRow("installer that cannot start") << QString() << QStringList{u"download:no program"_s} << true
                                                 << u"missing,shown,back,ended,installing,installer failed"_s;
#ifndef Q_OS_WIN // a registry key that refuses writing needs an access list of its own
    QTest::newRow("client key that cannot be written") << u"neighbour"_s << QStringList() << false << u"client failed"_s;
#endif
}

void TestPlay::play()
{
    QFETCH(QString, client);
    QFETCH(QStringList, picks);
    QFETCH(bool, keyWritable);
    QFETCH(QString, told);
    const QTemporaryDir scratch;
    LauncherEnvironment env = testEnvironment(scratch.path());
    const QString folder = scratch.filePath(client);
    if (client == u"broken"_s)
        QDir().mkpath(folder + u"/updater.exe"_s); // holds the client, but no program can start
    else if (!client.isEmpty())
        writeRecorder(folder + u"/updater.exe"_s);
    if (!keyWritable)
        QDir().mkpath(env.clientKeyLocation); // a folder where the file would go
    ScriptedPrompts prompts;
    for (const QString &pick : picks)
        prompts.picks << (pick.contains(u':') ? pick : scratch.filePath(pick));
    const QString installer = picks.value(0).section(u':', 1);
    FixtureServer server;
    const QByteArray program = installer == u"recorder"_s ? readFile(writeRecorder(scratch.filePath(u"stage/setup.exe"_s)))
                                                          : installer.toUtf8();
    server.routes[u"/setup.exe"_s] = Route(200, program, Fault::Held);
    env.clientInstallerUrl = server.url(u"/setup.exe"_s);
    {
        QNetworkAccessManager manager;
        PlayFlow flow(env, &manager, prompts);
        flow.play();
        if (!installer.isEmpty()) {
            flow.play();
            QTRY_COMPARE(server.requests.size(), 1);
            server.release();
            QTRY_COMPARE(prompts.log.size(), told.count(u',') + 1);
        }
    }
    QCOMPARE(prompts.log.join(u','), told);
    if (installer == u"recorder"_s)
        QTRY_VERIFY(!recorded(env.tempFolder + u"/RAGEMultiplayer_Setup.exe"_s).isEmpty());
    const auto key = Platform::openSettings(env.clientKeyLocation);
    QCOMPARE(key->contains(u"launch2.ip"_s), !client.isEmpty() && keyWritable);
    if (client.isEmpty())
        return;
    QCOMPARE(Platform::openSettings(env.settingsLocation)->value(u"ragempPath"_s).toString(), folder);
    if (told.contains(u"failed"_s))
        return;
    QTRY_COMPARE(recorded(folder + u"/updater.exe"_s), u"|"_s + QFileInfo(folder).canonicalFilePath() + u"\n"_s);
    QCOMPARE(key->value(u"launch2.ip"_s), QVariant(u"game.site.test"_s));
}

void TestPlay::unpackCommandQuotesItsPaths()
{
    // PowerShell ends a quoted string at any of five quote characters, so each
    // is doubled; -LiteralPath keeps [brackets] from being read as wildcards.
    QCOMPARE(Platform::expandArchiveCommand(u"C:/Temp/a'b\u2019[1].zip"_s, u"C:/д\u201b"_s),
        u"Expand-Archive -LiteralPath 'C:/Temp/a''b\u2019\u2019[1].zip' -DestinationPath 'C:/д\u201b\u201b' -Force"_s);
}

QTEST_GUILESS_MAIN(TestPlay)
#include "tst_play.moc"
