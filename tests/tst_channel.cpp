// The channel by which a later launcher copy hands its link to the running one,
// with real launcher copies: this program run with "--copy". These run under Wine too.
#include "app/instancechannel.h"
#include "app/launcherapp.h"
#include "app/launcherservices.h"
#include "config/platform.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWindow>
#include <QtEndian>
#include <QtTest>
#include <cstdio>
#include <thread>

namespace {
/// The channel of this test's launcher copies, never that of a launcher the developer runs.
const QString channel = "VelorTest" + QString::number(QCoreApplication::applicationPid());

/// A real launcher copy; closing its input makes it quit.
struct Copy
{
    QProcess process;
    Copy(const QString &tmp, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", tmp);
        environment.insert("VELOR_CHANNEL", channel);
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationFilePath(), QStringList{"--copy"} + arguments);
    }
    ~Copy()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(10000))
            process.kill();
    }
    /// Whether the copy ends by itself, as one that hands over does; one with a window waits for its input to close.
    bool finish() { return process.state() == QProcess::NotRunning || process.waitForFinished(20000); }
    /// Whether the copy says line; what it said before is done with.
    bool says(const QByteArray &line)
    {
        while (process.canReadLine() || process.waitForReadyRead(20000)) {
            if (process.canReadLine() && process.readLine().trimmed() == line)
                return true;
        }
        return false;
    }
};

#ifdef Q_OS_WIN
/// The code in a minidump's exception stream; 0 without one.
quint32 exceptionCodeOf(const QByteArray &dump)
{
    const auto at = [&dump](quint32 offset) {
        return qFromLittleEndian<quint32>(dump.mid(offset, 4).leftJustified(4).constData());
    };
    for (quint32 entry = at(12); entry < at(12) + at(8) * 12; entry += 12) {
        if (at(entry) == 6)
            return at(at(entry + 8) + 8);
    }
    return 0;
}
#endif
} // namespace

class TestChannel final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void messages_data();
    void messages();
    void laterCopiesHandOver();
    void copyThatFindsTheLockTakenWaitsForTheChannel();
    void copyKilledHardLeavesNoClaim();
    void closedCopyEndsWhateverItsThreadsDo();
    void crashLeavesAReport_data();
    void crashLeavesAReport();

private:
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QTemporaryDir> m_scratch;
};

void TestChannel::init()
{
    // A short private folder of the test's own, where the socket's mode can be read.
    m_runtime = std::make_unique<QTemporaryDir>("/tmp/vl-XXXXXX");
    m_scratch = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", m_runtime->path().toUtf8());
}

void TestChannel::messages_data()
{
    QTest::addColumn<QByteArrayList>("chunks"); // written one after the other
    QTest::addColumn<int>("plays"); // 1 plays, 0 only shows the window, -1 nothing
    QTest::newRow("split: only the first chunk counts") << QByteArrayList{"velor", "launcher://"} << 0;
    QTest::newRow("megabytes") << QByteArrayList{"velorlauncher://" + QByteArray(8 << 20, 'a')} << 1;
    QTest::newRow("silent: dropped after its time-out") << QByteArrayList() << -1;
}

void TestChannel::messages()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(int, plays);
    InstanceChannel instance("VelorTestChannel");
    QLocalSocket socket;
    QLocalSocket peer;
    QCOMPARE(instance.claim(socket, 50), InstanceChannel::Role::First);
    instance.setIdleTimeout(chunks.isEmpty() ? 50 : 20000);
    QVERIFY(instance.listen());
    QSignalSpy activated(&instance, &InstanceChannel::activated);
    peer.connectToServer(instance.address());
    QVERIFY(peer.waitForConnected());
    for (const QByteArray &chunk : chunks) {
        if (peer.write(chunk))
            QVERIFY(activated.size() || activated.wait());
    }
    QTRY_COMPARE(peer.state(), QLocalSocket::UnconnectedState); // done with after its first chunk
    QCOMPARE(activated.size(), plays < 0 ? 0 : 1);
    QCOMPARE(activated.value(0).value(0).toInt(), qMax(plays, 0));
}

void TestChannel::laterCopiesHandOver()
{
    // A long temporary folder once pushed the socket past its 107 bytes.
    const QString tmp = m_scratch->filePath(QString(120, u't'));
    QDir().mkpath(tmp);
#ifdef Q_OS_WIN
    const QString address = Platform::channelAddress(channel);
    QVERIFY2(address.contains("-S-1-"), qPrintable(address)); // the session's and the user's own pipe
#else
    // A runtime folder open to others is passed over for a short one of the user's own.
    QFile::setPermissions(m_runtime->path(), QFileDevice::Permissions(0x7755));
    const QString address = Platform::channelAddress(channel);
    QVERIFY2(address.startsWith("/tmp/velor-launcher-"), qPrintable(address));
#endif
    // Options of the toolkit inside a launch have no effect.
    Copy first(tmp, {"-qwindowtitle", "Injected", "velorlauncher://x", "-platform", "minimal"});
    QVERIFY(first.says("window VELOR RP Launcher on offscreen in Manrope"));
    QVERIFY(first.says("dialog clientMissingDialog")); // it plays its own link
    Copy withLink(tmp, {"velorlauncher://connect/1"});
    QVERIFY(withLink.finish());
    QVERIFY(first.says("dialog clientMissingDialog")); // and the handed-over one
#ifndef Q_OS_WIN
    for (const QString &path : {address, QFileInfo(address).path()})
        QCOMPARE(QFileInfo(path).permissions() & 0x0077, 0); // owner only, once it listens
#endif
    Copy plain(tmp, {});
    QVERIFY(plain.says("box VELOR RP Launcher|Лаунчер уже запущен!"));
    QVERIFY(plain.finish());
    QCOMPARE(withLink.process.exitCode() + plain.process.exitCode(), 0);
}

void TestChannel::copyThatFindsTheLockTakenWaitsForTheChannel()
{
    // The test plays a first copy that holds the lock but listens late.
    Platform::InstanceLock lock(channel);
    QVERIFY(lock.tryLock());
    Copy late(m_scratch->path(), {"velorlauncher://late"});
    QVERIFY(late.says("contended")); // it found nobody, and the lock taken
    QLocalServer server;
    QVERIFY(server.listen(Platform::channelAddress(channel)));
    QVERIFY(server.waitForNewConnection(20000));
    QLocalSocket *socket = server.nextPendingConnection();
    QTRY_VERIFY(socket->bytesAvailable() || socket->state() != QLocalSocket::ConnectedState);
    QCOMPARE(socket->readAll(), QByteArray("velorlauncher://late"));
    QVERIFY(late.finish());
}

void TestChannel::copyKilledHardLeavesNoClaim()
{
    Copy killed(m_scratch->path(), {});
    QVERIFY(killed.says("window VELOR RP Launcher on offscreen in Manrope"));
    killed.process.kill(); // as "End task" does
    QVERIFY(killed.finish());
#ifndef Q_OS_WIN
    // Process ids are handed out again: the dead owner's may run another launcher copy, as this test's does.
    const QByteArray owner = QByteArray::number(QCoreApplication::applicationPid()) + "\ntst_channel\n";
    QVERIFY(!writeFile(Platform::singleInstanceLockPath(channel), owner).isEmpty());
#endif
    Copy first(m_scratch->path(), {});
    QVERIFY(first.says("window VELOR RP Launcher on offscreen in Manrope"));
    Copy second(m_scratch->path(), {"velorlauncher://connect/1"});
    QVERIFY(second.finish());
    QVERIFY(first.says("dialog clientMissingDialog"));
}

void TestChannel::closedCopyEndsWhateverItsThreadsDo()
{
    FixtureServer server;
    server.routes["/p.jpg"] = Route{200, readFile(VELOR_TEST_DATA "/red.jpg")};
    server.routes["/news"] = Route{200, R"([{"title":"t","img":")" + server.url("/p.jpg").toUtf8() + R"("}])"};
    qputenv("VELOR_STUCK_API", server.url().toUtf8());
    Copy stuck(m_scratch->path(), {});
    qunsetenv("VELOR_STUCK_API");
    QByteArray said; // the fixture server answers from this event loop
    QTRY_VERIFY_WITH_TIMEOUT((said += stuck.process.readAll()).contains("decoding"), 20000);
    stuck.process.closeWriteChannel();
    QVERIFY(stuck.finish());
}

void TestChannel::crashLeavesAReport_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("signal");
    QTest::addColumn<uint>("exception");
    QTest::newRow("access violation") << "accessViolation" << 11 << 0xc0000005u;
    QTest::newRow("stack overflow") << "stackOverflow" << 11 << 0xc00000fdu;
    QTest::newRow("illegal instruction") << "illegalInstruction" << 4 << 0xc000001du;
    QTest::newRow("abort") << "abort" << 6 << 0x40000015u;
    QTest::newRow("std::terminate") << "terminate" << 6 << 0xe0000001u;
    QTest::newRow("pure virtual call") << "pureVirtualCall" << 6 << 0xe0000003u;
    QTest::newRow("qFatal") << "fatalMessage" << 6 << 0xe0000002u;
}

void TestChannel::crashLeavesAReport()
{
    QFETCH(QString, way);
    const QString folder = m_scratch->filePath("logs/crashes");
    for (int day = 1; day < 7; ++day)
        writeFile(folder + "/crash-2000010" + QString::number(day) + "-000000-1.txt", "old");
    writeFile(folder + "/crash-20000101-000000-1.dmp", "old");
    qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":use_sigaltstack=0"); // the launcher's own stack, not ASan's
    Copy crashing(m_scratch->path(), {"--crash=" + way});
    QVERIFY(crashing.finish());
    QVERIFY(crashing.process.exitStatus() == QProcess::CrashExit || crashing.process.exitCode() != 0);
    // The newest four old ones stay beside the new one.
    const QStringList reports = QDir(folder).entryList({"crash-*.txt"}, QDir::Files, QDir::Name);
    QCOMPARE(reports.size(), 5);
    QCOMPARE(reports.first(), "crash-20000103-000000-1.txt");
    QVERIFY(!QFile::exists(folder + "/crash-20000101-000000-1.dmp"));
    const QByteArray report = readFile(folder + '/' + reports.last());
#ifdef Q_OS_WIN
    QFETCH(uint, exception);
    const QByteArray dump = readFile(folder + '/' + reports.last().chopped(3) + "dmp");
    QVERIFY(dump.startsWith("MDMP"));
    QVERIFY(dump.size() < 5 << 20);
    QCOMPARE(exceptionCodeOf(dump), exception);
    QVERIFY(report.contains("exception: 0x" + QByteArray::number(exception, 16) + ' '));
    QVERIFY(report.contains(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toUtf8() + "+0x"));
#else
    QFETCH(int, signal);
    QVERIFY(report.contains("signal: " + QByteArray::number(signal) + ' '));
#endif
    QVERIFY(readFile(m_scratch->filePath("logs/launcher.log")).contains("[velor.crash] the launcher crashed"));
#ifndef Q_OS_WIN // a Unix program started under Wine gets no standard output back
    // The script names the function that crashed among the frames.
    QProcess symbolize;
    symbolize.start(VELOR_SYMBOLIZE, {folder + '/' + reports.last()});
    QVERIFY(symbolize.waitForFinished(60000));
    const QString crashed = QString("crashBy") + way.front().toUpper() + way.mid(1) + "(";
    QVERIFY(symbolize.readAll().contains(crashed.toLatin1()));
#endif
}

/// A launcher copy in the test environment under $TMPDIR (with $VELOR_STUCK_API, stuck on its way out). It reports
/// "window <title> on <platform> in <typeface>", "dialog <name>" and "box <title>|<text>" on standard output, answers
/// each, and quits when its input closes.
static int runCopy(int argc, char *argv[])
{
    const auto report = [](const QString &line) {
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    };
    std::unique_ptr<ModalAnswerer> answerer;
    StartupHooks hooks;
    hooks.applicationReady = [&answerer, report](QApplication &app) {
        answerer = std::make_unique<ModalAnswerer>();
        answerer->onDialog = [&answerer, report](QDialog *dialog) {
            if (qobject_cast<QMessageBox *>(dialog))
                return report("box " + answerer->boxes.constLast());
            report("dialog " + dialog->objectName());
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        };
        // A thread, since Windows cannot watch a pipe from the event loop.
        std::thread([&app] {
            while (std::fgetc(stdin) != EOF) { }
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        }).detach();
    };
    hooks.channelContended = [report] { report("contended"); };
    hooks.channelName = qEnvironmentVariable("VELOR_CHANNEL");
    hooks.adjustEnvironment = [report](LauncherEnvironment &env) {
        env = testEnvironment(qEnvironmentVariable("TMPDIR"));
        if (!qEnvironmentVariableIsSet("VELOR_STUCK_API"))
            return;
        // A proxy lookup and a picture decode that never end.
        env.apiBase = qEnvironmentVariable("VELOR_STUCK_API");
        env.proxyLookup = [](const QNetworkProxyQuery &) {
            QSemaphore().acquire();
            return QList<QNetworkProxy>();
        };
        env.preparePicture = [report](const QByteArray &, const QRectF &, qreal) {
            report("decoding");
            QSemaphore().acquire();
            return QImage();
        };
    };
    hooks.windowShown = [report](MainWindow &window, LauncherServices &) {
        const QString title = window.windowHandle()->title();
        const QString shown = title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
        const QString face = QFontInfo(window.findChild<QLabel *>("greetingLabel")->font()).family();
        report("window " + shown + " on " + QGuiApplication::platformName() + " in " + face);
    };
    return runLauncher(argc, argv, hooks);
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--copy") == 0) {
        argv[1] = argv[0];
        return runCopy(argc - 1, argv + 1);
    }
    QCoreApplication app(argc, argv);
    TestChannel test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_channel.moc"
