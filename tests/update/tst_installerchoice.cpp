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
    // "link=target": a symbolic link to a path inside the folder.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("expected");

    QTest::newRow("shallowest first") << paths({"a/a.exe", "z.exe", "b/c/setup.exe"}) << QStringList()
                                      << QStringLiteral("z.exe");
    QTest::newRow("then by name") << paths({"setup.exe", "install.exe", "zz.exe"}) << QStringList()
                                  << QStringLiteral("install.exe");
    QTest::newRow("same depth, by path") << paths({"b/setup.exe", "a/setup.exe"}) << QStringList()
                                         << QStringLiteral("a/setup.exe");
    QTest::newRow("none") << paths({"readme.txt", "setup.exe.txt", "exe"}) << QStringList() << QString();
    QTest::newRow("a folder named .exe is not a file") << paths({"tools.exe/readme.txt"}) << QStringList()
                                                        << QString();
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
    const QString folder = scratch.filePath(QStringLiteral("unpacked"));
    QVERIFY(QDir().mkpath(folder));
    for (const QString &file : files)
        QVERIFY(!writeFile(folder + QLatin1Char('/') + file, "x", true).isEmpty());
    for (const QString &link : links) {
        const QString name = link.section(QLatin1Char('='), 0, 0);
        const QString target = folder + QLatin1Char('/') + link.section(QLatin1Char('='), 1);
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
