#include "app/platform.h"
#include "app/singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class TestSingleInstance final : public QObject
{
    Q_OBJECT

private slots:
    void launchLinkFromArguments_data();
    void launchLinkFromArguments();
    void channelMessages_data();
    void channelMessages();

    void secondCopyWithoutLinkWarnsAndExits();
    void secondCopyHandsOverLink_data();
    void secondCopyHandsOverLink();
    void twoCopiesStartedTogetherOpenOneWindow();
    void copyThatFindsTheLockTakenWaitsForTheChannel();

private:
    struct ProbeResult
    {
        int exitCode = -1;
        QStringList lines;
    };
    static ProbeResult runProbeToEnd(const QStringList &arguments);
    static QStringList linesOf(QProcess &process);
};

void TestSingleInstance::launchLinkFromArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("link");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("plain arguments are ignored") << QStringList{QStringLiteral("--help"), QStringLiteral("x")}
                                                 << QString();
    QTest::newRow("one link") << QStringList{QStringLiteral("velorlauncher://play")}
                              << QStringLiteral("velorlauncher://play");
    QTest::newRow("upper-case prefix") << QStringList{QStringLiteral("VELORLAUNCHER://Play")}
                                       << QStringLiteral("VELORLAUNCHER://Play");
    QTest::newRow("prefix after other text") << QStringList{QStringLiteral("open velorlauncher://play")} << QString();
    QTest::newRow("last link wins") << QStringList{QStringLiteral("velorlauncher://a"), QStringLiteral("x"),
                                                   QStringLiteral("velorlauncher://b")}
                                    << QStringLiteral("velorlauncher://b");
    QTest::newRow("bare prefix") << QStringList{QStringLiteral("velorlauncher://")}
                                 << QStringLiteral("velorlauncher://");
}

void TestSingleInstance::launchLinkFromArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, link);
    QCOMPARE(SingleInstance::launchLinkFrom(arguments), link);
}

void TestSingleInstance::channelMessages_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("play");
    QTest::newRow("link") << QByteArray("velorlauncher://connect") << true;
    QTest::newRow("upper case") << QByteArray("VelorLauncher://x") << true;
    QTest::newRow("bare prefix") << QByteArray("velorlauncher://") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("not a link") << QByteArray("hello") << false;
    QTest::newRow("shorter than the prefix") << QByteArray("velorlaun") << false;
    QTest::newRow("invalid UTF-8 before the prefix") << QByteArray("\xff\xfevelorlauncher://") << false;
    QTest::newRow("invalid UTF-8 after the prefix") << QByteArray("velorlauncher://\xff\xfe\xc0") << true;
    QTest::newRow("NUL bytes") << QByteArray("velorlauncher://\0\0", 18) << true;
    QTest::newRow("megabytes") << (QByteArray("velorlauncher://") + QByteArray(4 << 20, 'a')) << true;
}

void TestSingleInstance::channelMessages()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, play);
    QCOMPARE(SingleInstance::messageRequestsPlay(message), play);
}

QStringList TestSingleInstance::linesOf(QProcess &process)
{
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TestSingleInstance::ProbeResult TestSingleInstance::runProbeToEnd(const QStringList &arguments)
{
    QProcess probe;
    probe.start(QStringLiteral(LAUNCHER_PROBE), arguments);
    ProbeResult result;
    if (!probe.waitForStarted(10000) || !probe.waitForFinished(30000)) {
        probe.kill();
        probe.waitForFinished();
        return result;
    }
    result.exitCode = probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
    result.lines = linesOf(probe);
    return result;
}

void TestSingleInstance::secondCopyWithoutLinkWarnsAndExits()
{
    QLocalServer running;
    QVERIFY(running.listen(QStringLiteral("VelorLauncherIPC")));

    const ProbeResult result = runProbeToEnd({});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.lines, QStringList{QStringLiteral("messagebox\tVELOR RP Launcher\tЛаунчер уже запущен!\t1")});
}

void TestSingleInstance::secondCopyHandsOverLink_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("link") << QStringList{QStringLiteral("velorlauncher://play")} << QByteArray("velorlauncher://play");
    QTest::newRow("upper-case prefix") << QStringList{QStringLiteral("VELORLAUNCHER://X")}
                                       << QByteArray("VELORLAUNCHER://X");
    QTest::newRow("non-Latin text")
        << QStringList{QStringLiteral("velorlauncher://сервер/1")} << QStringLiteral("velorlauncher://сервер/1").toUtf8();
    QTest::newRow("two links, the last is sent")
        << QStringList{QStringLiteral("velorlauncher://first"), QStringLiteral("velorlauncher://second")}
        << QByteArray("velorlauncher://second");
}

void TestSingleInstance::secondCopyHandsOverLink()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, sent);

    QLocalServer running;
    QVERIFY(running.listen(QStringLiteral("VelorLauncherIPC")));
    QByteArray received;
    QList<QLocalSocket *> peers;
    connect(&running, &QLocalServer::newConnection, this, [&] {
        QLocalSocket *peer = running.nextPendingConnection();
        peers << peer;
        connect(peer, &QLocalSocket::readyRead, this, [&received, peer] { received += peer->readAll(); });
    });

    QProcess probe;
    probe.start(QStringLiteral(LAUNCHER_PROBE), arguments);
    QVERIFY(probe.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(probe.state() == QProcess::NotRunning, 30000);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(linesOf(probe), QStringList());
    QTRY_COMPARE(received, sent);
}

void TestSingleInstance::twoCopiesStartedTogetherOpenOneWindow()
{
    QProcess first;
    QProcess second;
    first.start(QStringLiteral(LAUNCHER_PROBE), QStringList());
    second.start(QStringLiteral(LAUNCHER_PROBE), QStringList());
    QVERIFY(first.waitForStarted());
    QVERIFY(second.waitForStarted());

    // One copy opens the window; the other must find it and leave with the warning.
    QTRY_VERIFY_WITH_TIMEOUT(first.state() == QProcess::NotRunning || second.state() == QProcess::NotRunning, 30000);
    QProcess &gone = first.state() == QProcess::NotRunning ? first : second;
    QProcess &staying = &gone == &first ? second : first;
    QCOMPARE(gone.exitCode(), 0);
    QCOMPARE(linesOf(gone), QStringList{QStringLiteral("messagebox\tVELOR RP Launcher\tЛаунчер уже запущен!\t1")});
    QTRY_VERIFY(staying.canReadLine());
    QCOMPARE(linesOf(staying), QStringList{QStringLiteral("window")});

    staying.closeWriteChannel();
    QVERIFY(staying.waitForFinished(30000));
    QCOMPARE(staying.exitCode(), 0);
}

void TestSingleInstance::copyThatFindsTheLockTakenWaitsForTheChannel()
{
    // A first copy that holds the lock but is not listening yet.
    QLockFile lock(Platform::singleInstanceLockPath(QStringLiteral("VelorLauncherIPC")));
    QVERIFY(lock.tryLock(0));

    QProcess probe;
    probe.start(QStringLiteral(LAUNCHER_PROBE), {QStringLiteral("velorlauncher://late")});
    QVERIFY(probe.waitForStarted());

    QLocalServer running;
    QVERIFY(running.listen(QStringLiteral("VelorLauncherIPC")));
    QByteArray received;
    connect(&running, &QLocalServer::newConnection, this, [&] {
        QLocalSocket *peer = running.nextPendingConnection();
        connect(peer, &QLocalSocket::readyRead, this, [&received, peer] { received += peer->readAll(); });
    });
    QTRY_VERIFY_WITH_TIMEOUT(probe.state() == QProcess::NotRunning, 30000);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(linesOf(probe), QStringList());
    QTRY_COMPARE(received, QByteArray("velorlauncher://late"));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
