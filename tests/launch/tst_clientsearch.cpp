#include "launch/gameclient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestClientSearch final : public QObject
{
    Q_OBJECT

private slots:
    void searchOrder_data();
    void searchOrder();
    void emptyEntryIsNotTheWorkingFolder();
};

namespace {
enum Place { Neighbour, Remembered, Fixed1, Fixed2, Fixed3, Fixed4, Fixed5, Places };
enum class Memory { Folder, Empty, Stale };
} // namespace

void TestClientSearch::searchOrder_data()
{
    QTest::addColumn<QList<int>>("holders");    // places whose folder holds updater.exe
    QTest::addColumn<QList<int>>("directories"); // places where updater.exe is a directory
    QTest::addColumn<int>("memory");
    QTest::addColumn<int>("found");              // -1: nothing

    const int folder = int(Memory::Folder);
    const int empty = int(Memory::Empty);
    const int stale = int(Memory::Stale);
    QTest::newRow("nothing anywhere") << QList<int>{} << QList<int>{} << folder << -1;
    QTest::newRow("neighbour only") << QList<int>{Neighbour} << QList<int>{} << empty << int(Neighbour);
    QTest::newRow("neighbour before remembered") << QList<int>{Neighbour, Remembered, Fixed1} << QList<int>{}
                                                 << folder << int(Neighbour);
    QTest::newRow("remembered before fixed") << QList<int>{Remembered, Fixed1, Fixed5} << QList<int>{} << folder
                                             << int(Remembered);
    QTest::newRow("first fixed") << QList<int>{Fixed1, Fixed2} << QList<int>{} << folder << int(Fixed1);
    QTest::newRow("third fixed after two misses") << QList<int>{Fixed3, Fixed4} << QList<int>{} << empty
                                                  << int(Fixed3);
    QTest::newRow("data folder last") << QList<int>{Fixed5} << QList<int>{} << folder << int(Fixed5);
    QTest::newRow("empty remembered is skipped") << QList<int>{Fixed2} << QList<int>{} << empty << int(Fixed2);
    QTest::newRow("stale remembered falls through") << QList<int>{Fixed4} << QList<int>{} << stale << int(Fixed4);
    QTest::newRow("stale remembered, nothing else") << QList<int>{} << QList<int>{} << stale << -1;
    QTest::newRow("directory named updater.exe counts") << QList<int>{} << QList<int>{Fixed2} << empty
                                                        << int(Fixed2);
    QTest::newRow("directory in the neighbour folder wins") << QList<int>{Remembered} << QList<int>{Neighbour}
                                                            << folder << int(Neighbour);
}

void TestClientSearch::searchOrder()
{
    QFETCH(QList<int>, holders);
    QFETCH(QList<int>, directories);
    QFETCH(int, memory);
    QFETCH(int, found);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Every place lies under a name with spaces, quotes and Cyrillic letters,
    // and every place exists, so only updater.exe decides.
    QStringList places;
    for (int i = 0; i < Places; ++i) {
        const QString place = dir.filePath(QStringLiteral("Игры \"%1\" 'RAGE' MP/RAGEMP").arg(i));
        QVERIFY(QDir().mkpath(place));
        QVERIFY(QFile::exists(place));
        places << place;
        QFile(place + QStringLiteral("/readme.txt")).open(QIODevice::WriteOnly);
    }
    for (int place : std::as_const(holders)) {
        QFile program(places.at(place) + QStringLiteral("/updater.exe"));
        QVERIFY(program.open(QIODevice::WriteOnly));
    }
    for (int place : std::as_const(directories))
        QVERIFY(QDir().mkpath(places.at(place) + QStringLiteral("/updater.exe")));

    QString remembered = places.at(Remembered);
    if (memory == int(Memory::Empty))
        remembered.clear();
    else if (memory == int(Memory::Stale))
        remembered = dir.filePath(QStringLiteral("удалённая папка/RAGEMP"));

    const QString result = GameClient::findFolder(places.at(Neighbour), remembered, places.mid(Fixed1));
    QCOMPARE(result, found < 0 ? QString() : places.at(found));
    QCOMPARE(GameClient::holdsClient(result), found >= 0);
}

void TestClientSearch::emptyEntryIsNotTheWorkingFolder()
{
    // An empty remembered folder must not be read as a relative path either.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QFile(dir.filePath(QStringLiteral("updater.exe"))).open(QIODevice::WriteOnly));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString result = GameClient::findFolder(dir.filePath(QStringLiteral("none")), QString(), {QString()});
    QVERIFY(QDir::setCurrent(previous));
    QCOMPARE(result, QString());
}

QTEST_GUILESS_MAIN(TestClientSearch)
#include "tst_clientsearch.moc"
