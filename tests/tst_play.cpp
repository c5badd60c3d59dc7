// The play action, the client, its key, the installer's download, and the channel by
// which a later launcher copy asks the running one to play. These run under Wine too.
#include "app/instancechannel.h"
#include "app/launcherapp.h"
#include "config/platform.h"
#include "launch/playflow.h"
#include "launch/playprompts.h"
#include "testsupport.h"

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QtTest>
#include <cstdio>
#include <thread>
#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;
using Kind = FileDownload::Outcome::Kind;

/// Answers the client-missing dialog from a script: folders to pick, then
/// "download:<installer>" or a cancel; logs what it was asked and the titles it was told.
struct ScriptedPrompts final : PlayPrompts
{
    QStringList picks, log;
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
    void showDownload(FileDownload &) override { }
    void downloadEnded() override { }
    void bringBack() override { log << u"back"_s; }
    void notify(Notice, const QString &title, const QString &) override { log << title; }
};

/// The channel of this test's launcher copies, never that of a launcher the developer runs.
const QString channel = u"VelorTest%1"_s.arg(QCoreApplication::applicationPid());

/// A real launcher copy: this program run with "--copy"; its input closing makes it quit.
struct Copy
{
    QProcess process;
    Copy(const QString &tmp, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, tmp);
        environment.insert(u"VELOR_SCRATCH"_s, tmp);
        environment.insert(u"VELOR_CHANNEL"_s, channel);
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(), QStringList{u"--copy"_s} + arguments);
    }
    ~Copy()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(10000))
            process.kill();
    }
    bool finish() { return process.state() == QProcess::NotRunning || process.waitForFinished(20000); }
    bool says(const QString &line)
    {
        QByteArray seen;
        QDeadlineTimer deadline(20000);
        while (!seen.contains(line.toUtf8() + '\n')
            && (process.waitForReadyRead(int(deadline.remainingTime())) || process.bytesAvailable()))
            seen += process.readAll().replace("\r", ""); // Windows writes \r\n
        return seen.contains(line.toUtf8() + '\n');
    }
};

class TestPlay final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void play_data();
    void play();
    void download_data();
    void download();
    void unpackCommandQuotesItsPaths();
    void messages_data();
    void messages();
    void laterCopiesHandOver();
    void copyThatFindsTheLockTakenWaitsForTheChannel();

private:
    std::unique_ptr<QTemporaryDir> m_runtime, m_scratch;
};

void TestPlay::init()
{
    // A short private folder of the test's own, where the socket's mode can be read.
    m_runtime = std::make_unique<QTemporaryDir>(u"/tmp/vl-XXXXXX"_s);
    m_scratch = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", m_runtime->path().toUtf8());
}

void TestPlay::play_data()
{
    QTest::addColumn<QString>("client"); // holds updater.exe: "neighbour" is found, "broken" cannot start
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<bool>("keyWritable");
    QTest::addColumn<QStringList>("told");
    const QString failed = u"Ошибка"_s, installing = u"Установка"_s, none;
    QTest::newRow("next to the launcher") << u"neighbour"_s << QStringList() << true << QStringList();
    QTest::newRow("nowhere, cancelled") << none << QStringList() << true << QStringList{u"missing"_s};
    QTest::newRow("nowhere, a wrong folder picked, then the right one")
        << u"picked"_s << QStringList{u"wrong"_s, u"picked"_s} << true << QStringList{u"missing"_s};
    QTest::newRow("picked, but it cannot start")
        << u"broken"_s << QStringList{u"broken"_s} << true << QStringList{u"missing"_s, failed};
    // Play again while the installer downloads only brings its dialog back.
    QTest::newRow("installer downloaded and started")
        << none << QStringList{u"download:recorder"_s} << true << QStringList{u"missing"_s, u"back"_s, installing};
    QTest::newRow("installer that cannot start") << none << QStringList{u"download:no program"_s} << true
                                                 << QStringList{u"missing"_s, u"back"_s, installing, failed};
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
    LauncherEnvironment env = testEnvironment(m_scratch->path());
    const QString folder = m_scratch->filePath(client);
    if (client == u"broken"_s)
        QDir().mkpath(folder + u"/updater.exe"_s); // holds the client, but no program can start
    else if (!client.isEmpty())
        writeRecorder(folder + u"/updater.exe"_s);
    if (!keyWritable)
        QDir().mkpath(env.clientKeyLocation); // a folder where the file would go
    ScriptedPrompts prompts;
    for (const QString &pick : picks)
        prompts.picks << (pick.contains(u':') ? pick : m_scratch->filePath(pick));
    const QString installer = picks.value(0).section(u':', 1);
    FixtureServer server;
    server.routes[u"/setup.exe"_s] = Route(200,
        installer == u"recorder"_s ? readFile(writeRecorder(m_scratch->filePath(u"stage/setup.exe"_s)))
                                   : installer.toUtf8(),
        Fault::Held);
    env.clientInstallerUrl = server.url(u"/setup.exe"_s);
    {
        QNetworkAccessManager manager;
        PlayFlow flow(env, &manager, prompts);
        flow.play();
        if (!installer.isEmpty()) {
            flow.play();
            QTRY_COMPARE(server.requests.size(), 1);
            server.release();
            QTRY_COMPARE(prompts.log.size(), told.size());
        }
    }
    QCOMPARE(prompts.log, told);
    if (installer == u"recorder"_s)
        QTRY_VERIFY(!recorded(env.tempFolder + u"/RAGEMultiplayer_Setup.exe"_s).isEmpty());
    const auto key = Platform::openSettings(env.clientKeyLocation);
    QCOMPARE(key->contains(u"launch2.ip"_s), !client.isEmpty() && keyWritable);
    if (client.isEmpty())
        return;
    QCOMPARE(Platform::openSettings(env.settingsLocation)->value(u"ragempPath"_s).toString(), folder);
    if (!told.contains(u"Ошибка"_s)) {
        QTRY_COMPARE(recorded(folder + u"/updater.exe"_s), u"|"_s + QFileInfo(folder).canonicalFilePath() + u"\n"_s);
        QCOMPARE(key->value(u"launch2.ip"_s), QVariant(u"game.site.test"_s));
    }
}

void TestPlay::download_data()
{
    QTest::addColumn<Fault>("fault"); // held: cancelled, or dropped, once asked for
    QTest::addColumn<int>("commitFailures");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<int>("kind"); // -1: dropped, it reports nothing
    QTest::newRow("saved, with its progress") << Fault::None << 0 << false << int(Kind::Saved);
    QTest::newRow("no length: no progress") << Fault::NoLength << 0 << false << int(Kind::Saved);
    QTest::newRow("a scanner holds the file a moment") << Fault::None << 3 << false << int(Kind::Saved);
    QTest::newRow("the file stays held") << Fault::None << 99 << false << int(Kind::SaveFailed);
    QTest::newRow("cancelled") << Fault::Held << 0 << false << int(Kind::Canceled);
    QTest::newRow("dropped while it runs") << Fault::Held << 0 << false << -1;
#ifndef Q_OS_WIN
    QTest::newRow("disk full") << Fault::None << 0 << true << int(Kind::SaveFailed);
#endif
}

void TestPlay::download()
{
    QFETCH(Fault, fault);
    QFETCH(int, commitFailures);
    QFETCH(bool, diskFull);
    QFETCH(int, kind);
    const QByteArray body(500000, 'x');
    const QString target = writeFile(m_scratch->filePath(u"setup.exe"_s), "old");
    FixtureServer server;
    server.routes[u"/setup.exe"_s] = Route(200, body, fault);
    QNetworkAccessManager manager;
    auto download = std::make_unique<FileDownload>(&manager, 300);
    int commits = 0;
    download->setCommitPolicy(
        [&commits, commitFailures](const QString &from, const QString &to) {
            return ++commits > commitFailures && Platform::replaceFile(from, to);
        },
        6, 10);
    QSignalSpy finished(download.get(), &FileDownload::finished), progress(download.get(), &FileDownload::progress);
    if (fault == Fault::Held) {
        const auto end = [&download, kind] { kind < 0 ? download.reset() : download->cancel(); };
        connect(&server, &FixtureServer::requested, this, end, Qt::QueuedConnection);
    }
#ifndef Q_OS_WIN
    rlimit normal{}, limit{};
    getrlimit(RLIMIT_FSIZE, &normal);
    limit = {diskFull ? 1000 : normal.rlim_cur, normal.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
#endif
    download->start(server.url(u"/setup.exe"_s), target, true);
    QVERIFY(kind < 0 ? QTest::qWaitFor([&download] { return !download; }) : finished.wait());
#ifndef Q_OS_WIN
    setrlimit(RLIMIT_FSIZE, &normal);
#endif
    Q_UNUSED(diskFull);
    const bool saved = kind == int(Kind::Saved);
    QCOMPARE(readFile(target), saved ? body : QByteArray("old")); // an earlier file survives
    QCOMPARE(QDir(m_scratch->path()).entryList(QDir::Files), QStringList{u"setup.exe"_s}); // nothing left over
    QVERIFY(!finished.wait(50) && finished.size() == (kind < 0 ? 0 : 1)); // reported once
    if (kind < 0)
        return;
    const auto outcome = finished.at(0).at(0).value<FileDownload::Outcome>();
    QCOMPARE(int(outcome.kind), kind);
    QCOMPARE(outcome.sha256, saved ? QCryptographicHash::hash(body, QCryptographicHash::Sha256) : QByteArray());
    // Without a length the bar stays at 0, rather than jump to full at the close.
    const QList<QVariant> full{qint64(body.size()), qint64(body.size())};
    if (saved)
        QCOMPARE(progress.value(progress.size() - 1), fault == Fault::NoLength ? QList<QVariant>() : full);
}

void TestPlay::unpackCommandQuotesItsPaths()
{
    // PowerShell ends a quoted string at any of five quote characters, so each
    // is doubled; -LiteralPath keeps [brackets] from being read as wildcards.
    QCOMPARE(Platform::expandArchiveCommand(u"C:/Temp/a'b\u2019[1].zip"_s, u"C:/д\u201b"_s),
        u"Expand-Archive -LiteralPath 'C:/Temp/a''b\u2019\u2019[1].zip' -DestinationPath 'C:/д\u201b\u201b' -Force"_s);
}

void TestPlay::messages_data()
{
    QTest::addColumn<QByteArray>("chunks"); // "|" between chunks
    QTest::addColumn<int>("plays"); // 1 plays, 0 only shows the window, -1 nothing
    QTest::newRow("link") << QByteArray("velorlauncher://connect/1") << 1;
    QTest::newRow("bare prefix, capitals") << QByteArray("VelorLauncher://") << 1;
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe velorlauncher://") << 0;
    QTest::newRow("split: only the first chunk counts") << QByteArray("velor|launcher://") << 0;
    QTest::newRow("megabytes") << "velorlauncher://" + QByteArray(8 << 20, 'a') << 1;
    QTest::newRow("silent: dropped after its time-out") << QByteArray() << -1;
}

void TestPlay::messages()
{
    QFETCH(QByteArray, chunks);
    QFETCH(int, plays);
    InstanceChannel channel(u"VelorTestChannel"_s);
    QLocalSocket socket, peer;
    QCOMPARE(channel.claim(socket, 50), InstanceChannel::Role::First);
    channel.setIdleTimeout(chunks.isEmpty() ? 50 : 20000);
    QVERIFY(channel.listen());
    QSignalSpy activated(&channel, &InstanceChannel::activated);
    peer.connectToServer(channel.address());
    QVERIFY(peer.waitForConnected());
    for (const QByteArray &chunk : chunks.split('|'))
        if (!chunk.isEmpty() && peer.write(chunk))
            QVERIFY(activated.size() || activated.wait());
    QTRY_COMPARE(peer.state(), QLocalSocket::UnconnectedState); // done with after its first chunk
    QCOMPARE(activated.size(), plays < 0 ? 0 : 1);
    QCOMPARE(activated.value(0).value(0).toInt(), qMax(plays, 0));
}

void TestPlay::laterCopiesHandOver()
{
    // A long temporary folder once pushed the socket past its 107 bytes.
    const QString tmp = m_scratch->filePath(QString(120, u't'));
    QDir().mkpath(tmp);
#ifndef Q_OS_WIN
    // A runtime folder open to others is passed over for a short one of the user's own.
    QFile::setPermissions(m_runtime->path(), QFileDevice::Permissions(0x7755));
    const QString address = Platform::channelAddress(channel);
    QVERIFY2(address.startsWith(u"/tmp/velor-launcher-"_s), qPrintable(address));
#endif
    Copy first(tmp, {});
    QVERIFY(first.says(u"window"_s));
    Copy withLink(tmp, {u"velorlauncher://connect/1"_s});
    QVERIFY(withLink.finish());
    QVERIFY(first.says(u"dialog clientMissingDialog"_s)); // it plays
#ifndef Q_OS_WIN
    for (const QString &path : {address, QFileInfo(address).path()})
        QCOMPARE(QFileInfo(path).permissions() & 0x0077, 0); // owner only, once it listens
#endif
    Copy plain(tmp, {});
    QVERIFY(plain.says(u"box VELOR RP Launcher|Лаунчер уже запущен!"_s));
    QVERIFY(plain.finish());
    QCOMPARE(withLink.process.exitCode() + plain.process.exitCode(), 0);
    QVERIFY(!(withLink.process.readAll() + plain.process.readAll()).contains("window"));
}

void TestPlay::copyThatFindsTheLockTakenWaitsForTheChannel()
{
    // The test plays a first copy that holds the lock but listens late.
    QLockFile lock(Platform::singleInstanceLockPath(channel));
    QVERIFY(lock.tryLock(0));
    Copy late(m_scratch->path(), {u"velorlauncher://late"_s});
    QVERIFY(late.says(u"contended"_s)); // it found nobody, and the lock taken
    QLocalServer server;
    QVERIFY(server.listen(Platform::channelAddress(channel)));
    QVERIFY(server.waitForNewConnection(20000));
    QLocalSocket *socket = server.nextPendingConnection();
    QTRY_VERIFY(socket->bytesAvailable() || socket->state() != QLocalSocket::ConnectedState);
    QCOMPARE(socket->readAll(), QByteArray("velorlauncher://late"));
    QVERIFY(late.finish() && !late.process.readAll().contains("window"));
}

/// A launcher copy in the test environment under $VELOR_SCRATCH. It reports "window", "dialog <name>"
/// and "box <title>|<text>" on standard output, answers each, and quits when its input closes.
static int runCopy(int argc, char *argv[])
{
    const auto report
        = [](const QString &line) { std::printf("%s\n", line.toUtf8().constData()), std::fflush(stdout); };
    std::unique_ptr<ModalAnswerer> answerer;
    StartupHooks hooks;
    hooks.applicationReady = [&answerer, report](QApplication &app) {
        answerer = std::make_unique<ModalAnswerer>();
        answerer->onDialog = [&answerer, report](QDialog *dialog) {
            if (qobject_cast<QMessageBox *>(dialog))
                return report(u"box "_s + answerer->boxes.constLast());
            report(u"dialog "_s + dialog->objectName());
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        };
        // A thread, since Windows cannot watch a pipe from the event loop.
        std::thread([&app] {
            while (std::fgetc(stdin) != EOF) { }
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        }).detach();
    };
    hooks.channelContended = [report] { report(u"contended"_s); };
    hooks.channelName = qEnvironmentVariable("VELOR_CHANNEL");
    hooks.adjustEnvironment
        = [](LauncherEnvironment &env) { env = testEnvironment(qEnvironmentVariable("VELOR_SCRATCH")); };
    hooks.windowShown = [report](MainWindow &) { report(u"window"_s); };
    return runLauncher(argc, argv, hooks);
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--copy") == 0) {
        argv[1] = argv[0];
        return runCopy(argc - 1, argv + 1);
    }
    QCoreApplication app(argc, argv);
    TestPlay test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_play.moc"
