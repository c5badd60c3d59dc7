#include "testenvironment.h"
#include "update/installerchoice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QStringList paths(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}
} // namespace

class TestInstallerChoice final : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void missingFolder();
};

void TestInstallerChoice::choice_data()
{
    QTest::addColumn<QStringList>("files");
    // "link=target": a symbolic link; a target starting with "/" lies outside the folder.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("expected");

    QTest::newRow("at the top") << paths({"setup.exe", "readme.txt"}) << QStringList() << QStringLiteral("setup.exe");
    QTest::newRow("only in a subfolder") << paths({ "bin/inner/setup.exe" }) << QStringList()
                                         << QStringLiteral("bin/inner/setup.exe");
    QTest::newRow("shallowest first") << paths({ "a/a.exe", "z.exe", "b/c/setup.exe" }) << QStringList()
                                      << QStringLiteral("z.exe");
    QTest::newRow("then by name") << paths({"setup.exe", "install.exe", "zz.exe"}) << QStringList()
                                  << QStringLiteral("install.exe");
    QTest::newRow("same depth, by path") << paths({"b/setup.exe", "a/setup.exe"}) << QStringList()
                                         << QStringLiteral("a/setup.exe");
    QTest::newRow("any letter case") << paths({ "SETUP.EXE", "notes.txt" }) << QStringList()
                                     << QStringLiteral("SETUP.EXE");
    QTest::newRow("none") << paths({"readme.txt", "setup.exe.txt", "exe"}) << QStringList() << QString();
    QTest::newRow("a folder named .exe is not a file") << paths({"tools.exe/readme.txt"}) << QStringList()
                                                        << QString();
    QTest::newRow("link to a file outside") << QStringList() << paths({"setup.exe=/outside/evil.exe"})
                                            << QString();
    QTest::newRow("link to a folder outside") << QStringList() << paths({"sub=/outside"}) << QString();
    QTest::newRow("link beside a real installer")
        << paths({"deep/setup.exe"}) << paths({"a.exe=/outside/evil.exe"}) << QStringLiteral("deep/setup.exe");
    QTest::newRow("link to a file inside") << paths({"deep/setup.exe"}) << paths({"a.exe=deep/setup.exe"})
                                           << QStringLiteral("deep/setup.exe");
}

void TestInstallerChoice::choice()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, links);
    QFETCH(QString, expected);

    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString outside = scratch.filePath(QStringLiteral("outside"));
    QVERIFY(!writeFile(outside + QStringLiteral("/evil.exe"), "x", true).isEmpty());
    const QString folder = scratch.filePath(QStringLiteral("unpacked"));
    QVERIFY(QDir().mkpath(folder));
    for (const QString &file : files)
        QVERIFY(!writeFile(folder + QLatin1Char('/') + file, "x", true).isEmpty());
    for (const QString &link : links) {
        const QString name = link.section(QLatin1Char('='), 0, 0);
        QString target = link.section(QLatin1Char('='), 1);
        target = target.startsWith(QLatin1Char('/')) ? scratch.path() + target : folder + QLatin1Char('/') + target;
        QVERIFY(QFile::link(target, folder + QLatin1Char('/') + name));
    }

    const QString chosen = chooseInstaller(folder);
    if (expected.isEmpty())
        QCOMPARE(chosen, QString());
    else
        QCOMPARE(chosen, QDir(folder).canonicalPath() + QLatin1Char('/') + expected);
}

void TestInstallerChoice::missingFolder()
{
    QTemporaryDir scratch;
    QCOMPARE(chooseInstaller(scratch.filePath(QStringLiteral("nothing-here"))), QString());
}

QTEST_GUILESS_MAIN(TestInstallerChoice)
#include "tst_installerchoice.moc"
