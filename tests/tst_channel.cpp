#include "app/instancechannel.h"
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

using namespace Qt::StringLiterals;

/// The channel of this test's launcher copies, never that of a launcher the developer runs.
QString channel()
{
    return u"VelorTest%1"_s.arg(QCoreApplication::applicationPid());
}

/// A real launcher copy; its input closing makes it quit.
struct Copy
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    Copy(const QString &tmp, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TMPDIR"_s, tmp);
        environment.insert(u"VELOR_SCRATCH"_s, tmp);
        environment.insert(u"VELOR_CHANNEL"_s, channel());
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
    bool says(const QString &line)
    {
        QByteArray seen;
        QDeadlineTimer deadline(20000);
        while (!seen.contains(line.toUtf8() + '\n')
            && (process->waitForReadyRead(int(deadline.remainingTime())) || process->bytesAvailable()))
            seen += process->readAll().replace("\r", ""); // Windows writes \r\n
        return seen.contains(line.toUtf8() + '\n');
    }
};

class TestChannel final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void messages_data();
    void messages();
    void silentPeers();
#ifndef Q_OS_WIN
    void socketFolder();
#endif
    void laterCopiesHandOver();
    void copyThatFindsTheLockTakenWaitsForTheChannel();

private:
    std::unique_ptr<QTemporaryDir> m_runtime, m_scratch;
};

void TestChannel::init()
{
    // A short private folder of the test's own, where the socket's mode can be read.
    m_runtime = std::make_unique<QTemporaryDir>(u"/tmp/vl-XXXXXX"_s);
    m_scratch = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", m_runtime->path().toUtf8());
}

void TestChannel::messages_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<bool>("play");
    QTest::newRow("link") << QList<QByteArray>{"velorlauncher://connect/1"} << true;
    QTest::newRow("bare prefix, capitals") << QList<QByteArray>{"VelorLauncher://"} << true;
    QTest::newRow("invalid UTF-8") << QList<QByteArray>{"\xff\xfe velorlauncher://"} << false;
    QTest::newRow("split: only the first chunk counts") << QList<QByteArray>{"velor", "launcher://"} << false;
    QTest::newRow("megabytes") << QList<QByteArray>{"velorlauncher://" + QByteArray(8 << 20, 'a')} << true;
}

void TestChannel::messages()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(bool, play);
    InstanceChannel channel(u"VelorTestChannel"_s);
    QLocalSocket socket, peer;
    QCOMPARE(channel.claim(socket), InstanceChannel::Role::First);
    QVERIFY(channel.listen());
    QSignalSpy activated(&channel, &InstanceChannel::activated);
    peer.connectToServer(channel.address());
    QVERIFY(peer.waitForConnected());
    for (const QByteArray &chunk : chunks) {
        peer.write(chunk);
        QVERIFY(activated.size() || activated.wait());
    }
    QCOMPARE(activated, (QList<QList<QVariant>>{{play}}));
    QTRY_COMPARE(peer.state(), QLocalSocket::UnconnectedState); // done with after its first chunk
}

void TestChannel::silentPeers()
{
    InstanceChannel channel(u"VelorTestChannel"_s);
    QLocalSocket socket, silent;
    QCOMPARE(channel.claim(socket, 50), InstanceChannel::Role::First);
    channel.setIdleTimeout(50);
    QVERIFY(channel.listen());
    QSignalSpy dropped(&silent, &QLocalSocket::disconnected);
    silent.connectToServer(channel.address());
    QVERIFY(dropped.wait());
}

#ifndef Q_OS_WIN
void TestChannel::socketFolder()
{
    // Without a usable runtime folder (none, one open to others, one too long
    // for a socket's path) the socket goes to a short folder of the user's own.
    const QString open = m_runtime->filePath(u"open"_s), longer = m_runtime->filePath(QString(70, u'r'));
    QDir().mkpath(open);
    QDir().mkpath(longer);
    QFile::setPermissions(open, QFileDevice::Permissions(0x7555));
    for (const QString &runtime : {QString(), open, longer}) {
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
        const QString address = Platform::channelAddress(u"VelorLauncherIPC"_s);
        QVERIFY2(address.startsWith(u"/tmp/velor-launcher-"_s) && address.size() < 60, qPrintable(address));
        QCOMPARE(QFileInfo(QFileInfo(address).path()).permissions() & 0x0077, 0);
    }
}
#endif

void TestChannel::laterCopiesHandOver()
{
    // A long temporary folder once pushed the socket past its 107 bytes.
    const QString tmp = m_scratch->filePath(QString(120, u't'));
    QDir().mkpath(tmp);
    Copy first(tmp, {});
    QVERIFY(first.says(u"window"_s));
#ifndef Q_OS_WIN
    QCOMPARE(QFileInfo(m_runtime->filePath(channel())).permissions() & 0x0077, 0); // owner only
#endif
    Copy withLink(tmp, {u"velorlauncher://connect/1"_s});
    QVERIFY(withLink.finish());
    QVERIFY(first.says(u"dialog clientMissingDialog"_s)); // it plays
    Copy plain(tmp, {});
    QVERIFY(plain.says(u"box VELOR RP Launcher|Лаунчер уже запущен!"_s));
    QVERIFY(plain.finish());
    QCOMPARE(withLink.process->exitCode() + plain.process->exitCode(), 0);
    QVERIFY(!(withLink.process->readAll() + plain.process->readAll()).contains("window"));
}

void TestChannel::copyThatFindsTheLockTakenWaitsForTheChannel()
{
    // The test plays a first copy that holds the lock but listens late.
    QLockFile lock(Platform::singleInstanceLockPath(channel()));
    QVERIFY(lock.tryLock(0));
    Copy late(m_scratch->path(), {u"velorlauncher://late"_s});
    QVERIFY(late.says(u"contended"_s)); // it found nobody, and the lock taken
    QLocalServer server;
    QVERIFY(server.listen(Platform::channelAddress(channel())));
    QVERIFY(server.waitForNewConnection(20000));
    QLocalSocket *socket = server.nextPendingConnection();
    QTRY_VERIFY(socket->bytesAvailable() || socket->state() != QLocalSocket::ConnectedState);
    QCOMPARE(socket->readAll(), QByteArray("velorlauncher://late"));
    QVERIFY(late.finish());
    QVERIFY(!late.process->readAll().contains("window"));
}

QTEST_MAIN(TestChannel)
#include "tst_channel.moc"
