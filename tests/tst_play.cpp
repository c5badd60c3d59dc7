#include "config/platform.h"
#include "launch/playflow.h"
#include "launch/playprompts.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;
using Kind = FileDownload::Outcome::Kind;

/// Answers the play action from a script: picks folders in the client-missing
/// dialog, then cancels; logs what it was told.
struct ScriptedPrompts final : PlayPrompts
{
    QStringList picks, log;
    ClientMissingAnswer clientMissing(const std::function<bool(const QString &)> &acceptFolder) override
    {
        log << u"missing"_s;
        for (const QString &folder : std::as_const(picks)) {
            if (acceptFolder(folder))
                return ClientMissingAnswer::FolderChosen;
        }
        return ClientMissingAnswer::Cancel;
    }
    void showDownload(FileDownload &) override { }
    void downloadEnded() override { }
    void bringBack() override { }
    void notify(Notice, const QString &title, const QString &text) override { log << title + u'|' + text; }
};

class TestPlay final : public QObject
{
    Q_OBJECT

private slots:
    void play_data();
    void play();
    void unpackCommandQuotesItsPaths();
    void download_data();
    void download();
    void droppedDownloadLeavesNothing();
};

void TestPlay::play_data()
{
    QTest::addColumn<QString>("client"); // the folder that holds updater.exe; "broken": one that cannot start
    QTest::addColumn<QStringList>("picks"); // folders picked in the client-missing dialog
    QTest::addColumn<bool>("keyWritable");
    QTest::addColumn<QStringList>("told");
    const QString failed = u"Ошибка|Не удалось запустить RageMP!\nПроверьте путь в настройках."_s;
    QTest::newRow("next to the launcher") << u"neighbour"_s << QStringList() << true << QStringList();
    QTest::newRow("nowhere, cancelled") << QString() << QStringList() << true << QStringList{u"missing"_s};
    QTest::newRow("nowhere, a wrong folder picked, then the right one")
        << u"picked"_s << QStringList{u"wrong"_s, u"picked"_s} << true << QStringList{u"missing"_s};
    QTest::newRow("picked, but it cannot start")
        << u"broken"_s << QStringList{u"broken"_s} << true << QStringList{u"missing"_s, failed};
#ifndef Q_OS_WIN // a registry key that refuses writing needs an access list of its own
    QTest::newRow("client key that cannot be written")
        << u"neighbour"_s << QStringList() << false << QStringList{failed};
#endif
}

void TestPlay::play()
{
    QFETCH(QString, client);
    QFETCH(QStringList, picks);
    QFETCH(bool, keyWritable);
    QFETCH(QStringList, told);
    QTemporaryDir scratch;
    LauncherEnvironment env = testEnvironment(scratch.path());
    env.neighbourClientFolder = scratch.filePath(u"neighbour"_s);
    const QString folder = scratch.filePath(client);
    if (client == u"broken"_s)
        QDir().mkpath(folder + u"/updater.exe"_s); // holds the client, but no program can start
    else if (!client.isEmpty())
        writeRecorder(folder + u"/updater.exe"_s);
    if (!keyWritable)
        QDir().mkpath(env.clientKeyLocation); // a folder where the file would go
    ScriptedPrompts prompts;
    for (const QString &pick : picks)
        prompts.picks << scratch.filePath(pick);
    {
        QNetworkAccessManager manager;
        PlayFlow flow(env, &manager, prompts);
        flow.play();
    }
    QCOMPARE(prompts.log, told);
    const auto key = Platform::openSettings(env.clientKeyLocation);
    QCOMPARE(key->contains(u"launch2.ip"_s), !client.isEmpty() && keyWritable);
    if (client.isEmpty())
        return;
    QCOMPARE(Platform::openSettings(env.settingsLocation)->value(u"ragempPath"_s).toString(), folder);
    if (!told.join(u'|').contains(u"Ошибка"_s)) {
        QTRY_COMPARE(recorded(folder + u"/updater.exe"_s), u"|"_s + QFileInfo(folder).canonicalFilePath() + u"\n"_s);
        QCOMPARE(key->value(u"launch2.ip"_s), QVariant(u"game.site.test"_s));
        QCOMPARE(key->value(u"launch2.port"_s), QVariant(u"22005"_s));
    }
}

void TestPlay::unpackCommandQuotesItsPaths()
{
    // PowerShell ends a quoted string at any of five quote characters, so each
    // is doubled; -LiteralPath keeps [brackets] from being read as wildcards.
    QCOMPARE(Platform::expandArchiveCommand(u"C:/Temp/a'b\u2019[1].zip"_s, u"C:/д\u201b"_s),
        u"Expand-Archive -LiteralPath 'C:/Temp/a''b\u2019\u2019[1].zip' -DestinationPath 'C:/д\u201b\u201b' -Force"_s);
}

void TestPlay::download_data()
{
    QTest::addColumn<QByteArray>("path"); // "/held" is cancelled once asked for
    QTest::addColumn<int>("commitFailures");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<int>("kind");
    QTest::newRow("saved, with its progress") << QByteArray("/sized") << 0 << false << int(Kind::Saved);
    QTest::newRow("no length: no progress") << QByteArray("/unsized") << 0 << false << int(Kind::Saved);
    QTest::newRow("a scanner holds the file a moment") << QByteArray("/sized") << 3 << false << int(Kind::Saved);
    QTest::newRow("the file stays held") << QByteArray("/sized") << 99 << false << int(Kind::SaveFailed);
    QTest::newRow("cancelled") << QByteArray("/held") << 0 << false << int(Kind::Canceled);
#ifndef Q_OS_WIN
    QTest::newRow("disk full") << QByteArray("/sized") << 0 << true << int(Kind::SaveFailed);
#endif
}

void TestPlay::download()
{
    QFETCH(QByteArray, path);
    QFETCH(int, commitFailures);
    QFETCH(bool, diskFull);
    Q_UNUSED(diskFull); // Windows has no size limit to set
    QFETCH(int, kind);
    QTemporaryDir scratch;
    const QByteArray body(500000, 'x');
    const QString target = writeFile(scratch.filePath(u"setup.exe"_s), "old");
    FixtureServer server;
    server.routes[u"/sized"_s] = Route(200, body);
    server.routes[u"/unsized"_s] = Route(200, body, Fault::NoLength);
    server.routes[u"/held"_s] = Route(200, body, Fault::Held);
    QNetworkAccessManager manager;
    FileDownload download(&manager, 300);
    int commits = 0;
    const auto commit = [&commits, commitFailures](const QString &from, const QString &to) {
        return ++commits > commitFailures && Platform::replaceFile(from, to);
    };
    download.setCommitPolicy(commit, 6, 10);
    QSignalSpy finished(&download, &FileDownload::finished), progress(&download, &FileDownload::progress);
    if (path == "/held")
        connect(&server, &FixtureServer::requested, &download, &FileDownload::cancel, Qt::QueuedConnection);
#ifndef Q_OS_WIN
    rlimit limit{}, saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = saved;
    limit.rlim_cur = diskFull ? 1000 : saved.rlim_cur;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
#endif
    download.start(server.url(QString::fromLatin1(path)), target, true);
    QVERIFY(finished.wait());
#ifndef Q_OS_WIN
    setrlimit(RLIMIT_FSIZE, &saved);
#endif
    const auto outcome = finished.at(0).at(0).value<FileDownload::Outcome>();
    QCOMPARE(int(outcome.kind), kind);
    const QByteArray file = kind == int(Kind::Saved) ? body : QByteArray("old"); // an earlier file survives
    QCOMPARE(readFile(target), file);
    QCOMPARE(QDir(scratch.path()).entryList(QDir::Files), QStringList{u"setup.exe"_s}); // nothing left over
    QCOMPARE(
        outcome.sha256, kind == int(Kind::Saved) ? QCryptographicHash::hash(body, QCryptographicHash::Sha256) : "");
    // Without a length the bar stays at 0, rather than jump to full at the close.
    const QList<QVariant> full{qint64(body.size()), qint64(body.size())};
    if (kind == int(Kind::Saved))
        QCOMPARE(progress.value(progress.size() - 1), path == "/unsized" ? QList<QVariant>() : full);
    QVERIFY(!download.isRunning() && !finished.wait(50)); // reported once
}

void TestPlay::droppedDownloadLeavesNothing()
{
    QTemporaryDir scratch;
    FixtureServer server;
    server.routes[u"/f"_s] = Route(200, "x", Fault::Held);
    QNetworkAccessManager manager;
    auto download = std::make_unique<FileDownload>(&manager, 5000);
    QSignalSpy finished(download.get(), &FileDownload::finished), requested(&server, &FixtureServer::requested);
    download->start(server.url(u"/f"_s), scratch.filePath(u"f"_s));
    QVERIFY(requested.wait());
    download.reset();
    QVERIFY(!finished.wait(50));
    QVERIFY(QDir(scratch.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestPlay)
#include "tst_play.moc"
