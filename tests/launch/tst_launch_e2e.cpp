// The real launcher process: a launch link at start-up plays once, and a link
// that a second start forwards makes the running copy start the client again.
#include "config/launcherenvironment.h"
#include "launchtestsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestLaunchEndToEnd final : public QObject
{
    Q_OBJECT

private slots:
    void linkPlaysAndForwardedLinkPlaysAgain();

private:
    static QStringList linesOf(QProcess &process);
};

QStringList TestLaunchEndToEnd::linesOf(QProcess &process)
{
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestLaunchEndToEnd::linkPlaysAndForwardedLinkPlaysAgain()
{
    // Nothing next to the probe may stand in for the client.
    QVERIFY(!QFileInfo::exists(QFileInfo(QStringLiteral(LAUNCHER_PROBE)).absolutePath() + QStringLiteral("/RAGEMP")));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString config = dir.filePath(QStringLiteral("config"));
    const QString temp = dir.filePath(QStringLiteral("tmp"));
    const QString data = dir.filePath(QStringLiteral("data"));
    for (const QString &folder : {config, temp, data})
        QVERIFY(QDir().mkpath(folder));

    const QString client = dir.filePath(QStringLiteral("Игры/RAGE MP"));
    const QString log = dir.filePath(QStringLiteral("client.log"));
    QVERIFY(!writeClientScript(client, log).isEmpty());
    {
        // The probe's own settings, as the launcher would have remembered them.
        QSettings settings(config + QStringLiteral("/VELOR RP/Launcher.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("ragempPath"), client);
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    environment.insert(QStringLiteral("TMPDIR"), temp);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess first;
    first.setProcessEnvironment(environment);
    first.setWorkingDirectory(dir.path());
    first.start(QStringLiteral(LAUNCHER_PROBE), {QStringLiteral("velorlauncher://connect/1")});
    QVERIFY(first.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(first.canReadLine(), 30000);
    QCOMPARE(linesOf(first), QStringList{QStringLiteral("window")});
    const QString started = QStringLiteral("0\t\t") + QFileInfo(client).canonicalFilePath();
    QTRY_COMPARE_WITH_TIMEOUT(logLines(log), QStringList{started}, 20000);

    QProcess second;
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(dir.path());
    second.start(QStringLiteral(LAUNCHER_PROBE), {QStringLiteral("velorlauncher://connect/2")});
    QVERIFY(second.waitForStarted(10000));
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(linesOf(second), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(logLines(log), (QStringList{started, started}), 20000);

    first.closeWriteChannel();
    QVERIFY(first.waitForFinished(30000));
    QCOMPARE(first.exitCode(), 0);
    // No message box, and the start-up link played exactly once.
    QCOMPARE(linesOf(first), QStringList());
    QCOMPARE(logLines(log).size(), 2);

    QSettings key(config + QStringLiteral("/RAGE-MP.conf"), QSettings::IniFormat);
    QCOMPARE(key.value(QStringLiteral("launch2.ip")).toString(), LauncherEnvironment::compiledIn().gameServerHost);
    QCOMPARE(key.value(QStringLiteral("launch2.port")).toString(), QStringLiteral("22005"));
    QSettings settings(config + QStringLiteral("/VELOR RP/Launcher.conf"), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("ragempPath")).toString(), client);
}

QTEST_GUILESS_MAIN(TestLaunchEndToEnd)
#include "tst_launch_e2e.moc"
