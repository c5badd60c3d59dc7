#include "update/versioncompare.h"

#include <QtTest>

class TestVersionCompare final : public QObject
{
    Q_OBJECT

private slots:
    void againstBuiltIn_data();
    void againstBuiltIn();
    void ordering_data();
    void ordering();
};

void TestVersionCompare::againstBuiltIn_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("newer");

    QTest::newRow("1.2.0") << QStringLiteral("1.2.0") << true;
    QTest::newRow("same version") << QStringLiteral("1.1.9") << false;
    QTest::newRow("fourth part") << QStringLiteral("1.1.9.1") << true;
    QTest::newRow("fourth part zero") << QStringLiteral("1.1.9.0") << false;
    QTest::newRow("missing third part") << QStringLiteral("1.1") << false;
    QTest::newRow("single part") << QStringLiteral("2") << true;
    QTest::newRow("parts are numbers") << QStringLiteral("1.10.0") << true;
    QTest::newRow("older") << QStringLiteral("1.1.8") << false;
    QTest::newRow("letters count as 0") << QStringLiteral("beta.2.0") << false;
    QTest::newRow("two dots in a row") << QStringLiteral("1..9") << false;
    QTest::newRow("trailing dot") << QStringLiteral("1.1.9.") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("leading zeros") << QStringLiteral("01.01.010") << true;
    QTest::newRow("suffix makes a part 0") << QStringLiteral("1.2.0-rc1") << true;
    QTest::newRow("suffix on the deciding part") << QStringLiteral("1.1.10-rc1") << false;
    QTest::newRow("int maximum") << QStringLiteral("1.1.2147483647") << true;
    QTest::newRow("past 32 bits counts as 0") << QStringLiteral("1.1.2147483648") << false;
    QTest::newRow("past 64 bits counts as 0") << QStringLiteral("99999999999999999999999") << false;
    QTest::newRow("Arabic-Indic digits count as 0") << QStringLiteral("\u0662.\u0660.\u0660") << false;
    QTest::newRow("full-width digits count as 0") << QStringLiteral("\uFF12.0.0") << false;
    QTest::newRow("very long, newer at the end")
        << QStringLiteral("1.1.9") + QStringLiteral(".0").repeated(100000) + QStringLiteral(".1") << true;
    QTest::newRow("very long, all zero") << QStringLiteral("1.1.9") + QStringLiteral(".0").repeated(100000) << false;
    QTest::newRow("a million digits") << QStringLiteral("9").repeated(1000000) << false;
}

void TestVersionCompare::againstBuiltIn()
{
    QFETCH(QString, answer);
    QFETCH(bool, newer);
    QCOMPARE(isNewerVersion(answer, QStringLiteral("1.1.9")), newer);
}

void TestVersionCompare::ordering_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("aNewer");
    QTest::addColumn<bool>("bNewer");

    QTest::newRow("equal") << QStringLiteral("2.0") << QStringLiteral("2.0") << false << false;
    QTest::newRow("missing parts are 0") << QStringLiteral("2") << QStringLiteral("2.0.0") << false << false;
    QTest::newRow("first part decides") << QStringLiteral("2.0") << QStringLiteral("1.99") << true << false;
    QTest::newRow("negative part") << QStringLiteral("1.-1") << QStringLiteral("1") << false << true;
}

void TestVersionCompare::ordering()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, aNewer);
    QFETCH(bool, bNewer);
    QCOMPARE(isNewerVersion(a, b), aNewer);
    QCOMPARE(isNewerVersion(b, a), bNewer);
}

QTEST_APPLESS_MAIN(TestVersionCompare)
#include "tst_versioncompare.moc"
