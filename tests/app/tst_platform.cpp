#include "app/platform.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

class TestPlatform final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void clientKeyKeepsStrings();
    void powerShellQuoting_data();
    void powerShellQuoting();
    void expandArchiveCommandQuotesBothPaths();
    void unpackCommandForThisSystem();
    void prepareToRunMakesFilesExecutable();
    void lockPathIsPerUser();
};

void TestPlatform::clientKeyKeepsStrings()
{
    {
        auto key = Platform::openClientKey();
        key->setValue(QStringLiteral("other"), QStringLiteral("kept"));
        key->setValue(QStringLiteral("launch2.ip"), QStringLiteral("game.site.test"));
        key->setValue(QStringLiteral("launch2.port"), QStringLiteral("22005"));
        key->sync();
        QCOMPARE(key->status(), QSettings::NoError);
#ifndef Q_OS_WIN
        QCOMPARE(QFileInfo(key->fileName()).fileName(), QStringLiteral("RAGE-MP.conf"));
#endif
    }
    auto key = Platform::openClientKey();
    const QVariant port = key->value(QStringLiteral("launch2.port"));
    QCOMPARE(port.typeId(), QMetaType::QString);
    QCOMPARE(port.toString(), QStringLiteral("22005"));
    QCOMPARE(key->value(QStringLiteral("launch2.ip")).toString(), QStringLiteral("game.site.test"));
    QCOMPARE(key->value(QStringLiteral("other")).toString(), QStringLiteral("kept"));
}

void TestPlatform::powerShellQuoting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("plain") << QStringLiteral("C:/Temp/a.zip") << QStringLiteral("'C:/Temp/a.zip'");
    QTest::newRow("spaces and Cyrillic") << QStringLiteral("C:/Мои файлы/a b.zip")
                                         << QStringLiteral("'C:/Мои файлы/a b.zip'");
    QTest::newRow("apostrophe") << QStringLiteral("C:/O'Brien/a.zip") << QStringLiteral("'C:/O''Brien/a.zip'");
    QTest::newRow("left single quote") << QStringLiteral("a\u2018b") << QStringLiteral("'a\u2018\u2018b'");
    QTest::newRow("right single quote") << QStringLiteral("a\u2019b") << QStringLiteral("'a\u2019\u2019b'");
    QTest::newRow("low-9 quote") << QStringLiteral("a\u201Ab") << QStringLiteral("'a\u201A\u201Ab'");
    QTest::newRow("reversed-9 quote") << QStringLiteral("a\u201Bb") << QStringLiteral("'a\u201B\u201Bb'");
    QTest::newRow("injection attempt") << QStringLiteral("x'; Remove-Item C:/ -Recurse; '")
                                       << QStringLiteral("'x''; Remove-Item C:/ -Recurse; '''");
    QTest::newRow("double quotes and dollars stay literal") << QStringLiteral("a\"$(b)")
                                                           << QStringLiteral("'a\"$(b)'");
}

void TestPlatform::powerShellQuoting()
{
    QFETCH(QString, text);
    QFETCH(QString, quoted);
    QCOMPARE(Platform::powerShellQuote(text), quoted);
}

void TestPlatform::expandArchiveCommandQuotesBothPaths()
{
    QCOMPARE(Platform::expandArchiveCommand(QStringLiteral("C:/T/it's.zip"), QStringLiteral("C:/T/out\u2019s")),
             QStringLiteral("Expand-Archive -LiteralPath 'C:/T/it''s.zip' -DestinationPath 'C:/T/out\u2019\u2019s' -Force"));
}

void TestPlatform::unpackCommandForThisSystem()
{
    const Platform::Command command = Platform::unpackCommand(QStringLiteral("/t/a.zip"), QStringLiteral("/t/out"));
#ifdef Q_OS_WIN
    QCOMPARE(command.program, QStringLiteral("powershell"));
    QCOMPARE(command.arguments.size(), 2);
    QCOMPARE(command.arguments.at(0), QStringLiteral("-Command"));
#else
    QCOMPARE(command.program, QStringLiteral("unzip"));
    QCOMPARE(command.arguments, (QStringList{QStringLiteral("-o"), QStringLiteral("-q"), QStringLiteral("/t/a.zip"),
                                             QStringLiteral("-d"), QStringLiteral("/t/out")}));
#endif
}

void TestPlatform::prepareToRunMakesFilesExecutable()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("setup.exe"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(Platform::prepareToRun(path));
#ifndef Q_OS_WIN
    QVERIFY(QFileInfo(path).permissions() & QFileDevice::ExeOwner);
#endif
#ifndef Q_OS_WIN
    QVERIFY(!Platform::prepareToRun(dir.filePath(QStringLiteral("missing.exe"))));
#endif
}

void TestPlatform::lockPathIsPerUser()
{
    const QString path = Platform::singleInstanceLockPath(QStringLiteral("VelorLauncherIPC"));
    QVERIFY(path.startsWith(QDir::tempPath()));
#ifndef Q_OS_WIN
    QVERIFY(path.contains(QString::number(::getuid())));
#endif
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
