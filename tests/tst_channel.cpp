#include "app/instancechannel.h"
#include "config/launcherenvironment.h"
#include "config/platform.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

/// A launcher copy run by the test, reading what it reports.
struct Copy
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QStringList lines;

    Copy(const QProcessEnvironment &environment, const QStringList &arguments)
    {
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(LAUNCHER_PROBE), arguments);
    }
    ~Copy()
    {
        process->closeWriteChannel();
        if (!process->waitForFinished(10000))
            process->kill();
    }
    bool finish() { return process->state() == QProcess::NotRunning || process->waitForFinished(20000); }
    bool waitFor(const QString &line)
    {
        QDeadlineTimer deadline(20000);
        while (!lines.contains(line) && !deadline.hasExpired()) {
            if (!process->canReadLine() && !process->waitForReadyRead(int(deadline.remainingTime())))
                return false;
            while (process->canReadLine())
                lines << QString::fromUtf8(process->readLine()).trimmed();
        }
        return lines.contains(line);
    }
};

class TestChannel final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void arguments_data();
    void arguments();
    void messages_data();
    void messages();
    void silentPeerIsDropped();
    void staleNameIsCleared();
#ifndef Q_OS_WIN
    void socketFolder_data();
    void socketFolder();
#endif
    void laterCopiesHandOver();
    void copyThatFindsTheLockTakenWaitsForTheChannel();

private:
    QProcessEnvironment copyEnvironment(const QString &tmp = QString()) const;
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QTemporaryDir> m_scratch;
};

void TestChannel::init()
{
    // A short private folder of the test's own, so that no copy here ever
    // reaches a launcher the developer runs.
    m_runtime = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vl-XXXXXX"));
    m_scratch = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", m_runtime->path().toUtf8());
}

QProcessEnvironment TestChannel::copyEnvironment(const QString &tmp) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELOR_SCRATCH"), m_scratch->path());
    if (!tmp.isEmpty())
        environment.insert(QStringLiteral("TMPDIR"), tmp);
    return environment;
}

void TestChannel::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("link");
    QTest::newRow("none") << QStringList {QStringLiteral("--x")} << QString();
    QTest::newRow("capitals, the last wins") << QStringList {QStringLiteral("velorlauncher://a"),
        QStringLiteral("VELORLAUNCHER://b")} << QStringLiteral("VELORLAUNCHER://b");
    QTest::newRow("prefix not at the start") << QStringList {QStringLiteral("x velorlauncher://a")} << QString();
}

void TestChannel::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, link);
    QCOMPARE(InstanceChannel::launchLinkFrom(arguments), link);
}

void TestChannel::messages_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<bool>>("activations");
    QTest::newRow("link") << QList<QByteArray> {"velorlauncher://connect/1"} << QList<bool> {true};
    QTest::newRow("bare prefix") << QList<QByteArray> {"VelorLauncher://"} << QList<bool> {true};
    QTest::newRow("other text") << QList<QByteArray> {"hello"} << QList<bool> {false};
    QTest::newRow("invalid UTF-8") << QList<QByteArray> {"\xff\xfe velorlauncher://"} << QList<bool> {false};
    QTest::newRow("split link: only the first chunk counts")
        << QList<QByteArray> {"velor", "launcher://"} << QList<bool> {false};
    QTest::newRow("megabytes") << QList<QByteArray> {"velorlauncher://" + QByteArray(8 << 20, 'a')}
                               << QList<bool> {true};
}

void TestChannel::messages()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<bool>, activations);
    InstanceChannel channel(QStringLiteral("VelorTestChannel"));
    QLocalSocket socket;
    QCOMPARE(channel.claim(socket), InstanceChannel::Role::First);
    QVERIFY(channel.listen());
    QSignalSpy activated(&channel, &InstanceChannel::activated);
    QLocalSocket peer;
    peer.connectToServer(channel.address());
    QVERIFY(peer.waitForConnected());
    for (const QByteArray &chunk : chunks) {
        peer.write(chunk);
        peer.waitForBytesWritten();
        if (activated.isEmpty())
            QVERIFY(activated.wait());
    }
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.at(0).at(0).toBool(), activations.at(0));
    // The channel is done with the connection after its first chunk.
    QTRY_COMPARE(peer.state(), QLocalSocket::UnconnectedState);
}

void TestChannel::silentPeerIsDropped()
{
    InstanceChannel channel(QStringLiteral("VelorTestChannel"));
    QLocalSocket socket;
    channel.claim(socket);
    channel.setIdleTimeout(50);
    QVERIFY(channel.listen());
    QLocalSocket silent;
    QSignalSpy dropped(&silent, &QLocalSocket::disconnected);
    silent.connectToServer(channel.address());
    QVERIFY(dropped.wait());
}

void TestChannel::staleNameIsCleared()
{
    InstanceChannel channel(QStringLiteral("VelorTestChannel"));
#ifndef Q_OS_WIN
    // What a copy that crashed leaves behind: a name nobody listens on.
    writeFile(channel.address(), QByteArray());
#endif
    QLocalSocket socket;
    QCOMPARE(channel.claim(socket, 50), InstanceChannel::Role::First);
    QVERIFY(channel.listen());
    QSignalSpy activated(&channel, &InstanceChannel::activated);
    QLocalSocket peer;
    peer.connectToServer(channel.address());
    QVERIFY(peer.waitForConnected());
    peer.write("velorlauncher://");
    QVERIFY(activated.wait());
}

#ifndef Q_OS_WIN
void TestChannel::socketFolder_data()
{
    QTest::addColumn<QString>("runtime");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("used");
    QTest::newRow("private runtime folder") << QStringLiteral("r") << 0700 << true;
    QTest::newRow("none") << QString() << 0700 << false;
    QTest::newRow("open to others") << QStringLiteral("r") << 0755 << false;
    QTest::newRow("too long for a socket") << QString(70, QLatin1Char('r')) << 0700 << false;
}

void TestChannel::socketFolder()
{
    QFETCH(QString, runtime);
    QFETCH(int, mode);
    QFETCH(bool, used);
    const QString folder = runtime.isEmpty() ? QString() : m_runtime->filePath(runtime);
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::Permissions(mode == 0700 ? 0x7000 : 0x7555));
    qputenv("XDG_RUNTIME_DIR", folder.toUtf8());
    const QString address = Platform::channelAddress(QStringLiteral("VelorLauncherIPC"));
    QCOMPARE(!folder.isEmpty() && address.startsWith(folder + QLatin1Char('/')), used);
    QVERIFY(address.size() < 100);
    QCOMPARE(QFileInfo(QFileInfo(address).path()).permissions() & 0x0077, 0);
}
#endif

void TestChannel::laterCopiesHandOver()
{
    // A long temporary folder once pushed the socket past its 107 bytes.
    const QString longTmp = m_scratch->filePath(QString(120, QLatin1Char('t')));
    QDir().mkpath(longTmp);
    Copy first(copyEnvironment(longTmp), {});
    QVERIFY(first.waitFor(QStringLiteral("window")));
#ifndef Q_OS_WIN
    QCOMPARE(QFileInfo(m_runtime->filePath(QStringLiteral("VelorLauncherIPC"))).permissions() & 0x0077, 0);
#endif

    Copy withLink(copyEnvironment(longTmp), {QStringLiteral("velorlauncher://connect/1")});
    QVERIFY(withLink.finish());
    QCOMPARE(withLink.process->exitCode(), 0);
    QVERIFY(first.waitFor(QStringLiteral("dialog clientMissingDialog")));

    Copy plain(copyEnvironment(), {});
    QVERIFY(plain.waitFor(QStringLiteral("box VELOR RP Launcher|Лаунчер уже запущен!")));
    QVERIFY(plain.finish());
    QCOMPARE(plain.process->exitCode(), 0);
    QVERIFY(!withLink.lines.contains(QStringLiteral("window")) && !plain.lines.contains(QStringLiteral("window")));
}

void TestChannel::copyThatFindsTheLockTakenWaitsForTheChannel()
{
    // This test plays a first copy that holds the lock but listens late.
    QLockFile lock(Platform::singleInstanceLockPath(QStringLiteral("VelorLauncherIPC")));
    QVERIFY(lock.tryLock(0));
    Copy late(copyEnvironment(), {QStringLiteral("velorlauncher://late")});
    QVERIFY(late.process->waitForStarted());
    QLocalServer server;
    QVERIFY(server.listen(Platform::channelAddress(QStringLiteral("VelorLauncherIPC"))));
    QVERIFY(server.waitForNewConnection(20000));
    QLocalSocket *socket = server.nextPendingConnection();
    QTRY_VERIFY(socket->bytesAvailable() || socket->state() != QLocalSocket::ConnectedState);
    QCOMPARE(socket->readAll(), QByteArray("velorlauncher://late"));
    QVERIFY(late.finish());
    QVERIFY(!late.process->readAllStandardOutput().contains("window"));
}

QTEST_MAIN(TestChannel)
#include "tst_channel.moc"
