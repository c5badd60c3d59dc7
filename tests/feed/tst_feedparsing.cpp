#include "feed/newsfeed.h"
#include "feed/serverstatus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<int>)

using namespace Qt::StringLiterals;

namespace {
QByteArray servers(int count, const QByteArray &online)
{
    QByteArray json = "[";
    for (int i = 0; i < count; ++i)
        json += (i ? ",{\"name\":\"s\",\"online\":" : "{\"name\":\"s\",\"online\":") + online + '}';
    return json + ']';
}

QByteArray nested(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

NewsItem item(const QString &title, const QString &date, const QString &dateIso = QString())
{
    QJsonObject object{{QStringLiteral("title"), title}, {QStringLiteral("date"), date}};
    if (!dateIso.isNull())
        object.insert(QStringLiteral("date_iso"), dateIso);
    return NewsFeed::parse(QJsonDocument(QJsonArray{object}).toJson()).value(0);
}

QStringList titles(const QList<NewsItem> &items)
{
    QStringList result;
    for (const NewsItem &entry : items)
        result << entry.title;
    return result;
}
} // namespace

class TestFeedParsing final : public QObject
{
    Q_OBJECT

private slots:
    void onlineTotal_data();
    void onlineTotal();
    void formatOnline_data();
    void formatOnline();
    void parseNews_data();
    void parseNews();
    void parseNewsMembers();
    void newestFirst_data();
    void newestFirst();
    void sortIsSafeOnAnyInput();
};

void TestFeedParsing::onlineTotal_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<std::optional<int>>("total");
    const std::optional<int> none;
    QTest::newRow("empty array") << QByteArray("[]") << std::optional<int>(0);
    QTest::newRow("12 + 30") << QByteArray(R"([{"online":12},{"online":30}])") << std::optional<int>(42);
    QTest::newRow("text, fraction, bool, null, object, array count 0")
        << QByteArray(R"([{"online":"12"},{"online":12.5},{"online":true},{"online":null},{"online":{}},)"
                      R"({"online":[5]},{"online":7}])")
        << std::optional<int>(7);
    QTest::newRow("missing member") << QByteArray(R"([{"players":9},{"online":1}])") << std::optional<int>(1);
    QTest::newRow("non-objects count 0") << QByteArray(R"([5,"x",null,[1],true,{"online":3}])") << std::optional<int>(3);
    QTest::newRow("whole number written as float") << QByteArray(R"([{"online":1e2},{"online":-0.0}])")
                                                   << std::optional<int>(100);
    QTest::newRow("negative values count") << QByteArray(R"([{"online":-5},{"online":8}])") << std::optional<int>(3);
    QTest::newRow("value past 32 bits counts 0") << QByteArray(R"([{"online":2147483648},{"online":4}])")
                                                 << std::optional<int>(4);
    QTest::newRow("sum past 2^31 clamps") << QByteArray(R"([{"online":2147483647},{"online":1}])")
                                          << std::optional<int>(2147483647);
    QTest::newRow("sum below -2^31 clamps") << QByteArray(R"([{"online":-2147483648},{"online":-1}])")
                                            << std::optional<int>(-2147483647 - 1);
    QTest::newRow("100000 servers") << servers(100000, "3") << std::optional<int>(300000);
    QTest::newRow("100000 full servers clamp") << servers(100000, "2147483647") << std::optional<int>(2147483647);
    QTest::newRow("root object with online") << QByteArray(R"({"online":42})") << none;
    QTest::newRow("number") << QByteArray("42") << none;
    QTest::newRow("not JSON") << QByteArray("<html>502</html>") << none;
    QTest::newRow("empty body") << QByteArray() << none;
    QTest::newRow("cut off") << QByteArray(R"([{"online":12},{"onl)") << none;
    QTest::newRow("deeply nested") << nested(100000) << none;
}

void TestFeedParsing::onlineTotal()
{
    QFETCH(QByteArray, answer);
    QFETCH(std::optional<int>, total);
    QCOMPARE(ServerStatus::onlineTotal(answer), total);
}

void TestFeedParsing::formatOnline_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << QStringLiteral("0");
    QTest::newRow("42") << 42 << QStringLiteral("42");
    QTest::newRow("999") << 999 << QStringLiteral("999");
    QTest::newRow("1000") << 1000 << QStringLiteral("1\u00a0000");
    QTest::newRow("1234567") << 1234567 << QStringLiteral("1\u00a0234\u00a0567");
    QTest::newRow("clamped maximum") << 2147483647 << QStringLiteral("2\u00a0147\u00a0483\u00a0647");
    QTest::newRow("negative") << -1500 << QStringLiteral("-1\u00a0500");
}

void TestFeedParsing::formatOnline()
{
    QFETCH(int, total);
    QFETCH(QString, text);
    QCOMPARE(ServerStatus::formatOnline(total), text);
}

void TestFeedParsing::parseNews_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("titles");
    const QByteArray two = R"([{"title":"a"},{"title":"b"}])";
    QTest::newRow("array") << two << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("object with data") << QByteArray(R"({"ok":true,"data":)" + two + "}") << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("non-objects become empty items") << QByteArray(R"([1,"x",null,[],{"title":"c"}])")
                                                    << QStringList{u""_s, u""_s, u""_s, u""_s, u"c"_s};
    QTest::newRow("object without data") << QByteArray(R"({"items":[{"title":"a"}]})") << QStringList();
    QTest::newRow("data not an array") << QByteArray(R"({"data":{"title":"a"}})") << QStringList();
    QTest::newRow("string") << QByteArray(R"("news")") << QStringList();
    QTest::newRow("not JSON") << QByteArray("<html>") << QStringList();
    QTest::newRow("empty body") << QByteArray() << QStringList();
    QTest::newRow("empty array") << QByteArray("[]") << QStringList();
    QTest::newRow("deeply nested") << nested(100000) << QStringList();
    QTest::newRow("nested but within limits") << QByteArray("[" + nested(500) + "]") << QStringList{QString()};
}

void TestFeedParsing::parseNews()
{
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, titles);
    QCOMPARE(::titles(NewsFeed::parse(answer)), titles);
}

void TestFeedParsing::parseNewsMembers()
{
    const QString longTitle(10000, QChar(u'Ж'));
    const QJsonArray list{
        QJsonObject{{u"title"_s, longTitle}, {u"description"_s, u"d"_s}, {u"date"_s, u"15.05.2024"_s}, {u"date_iso"_s, u"2024-05-15"_s},
                    {u"img"_s, u"http://x/1.jpg"_s}, {u"url"_s, u"abc"_s}},
        QJsonObject{{u"title"_s, 5}, {u"description"_s, QJsonArray{}}, {u"date"_s, true}, {u"date_iso"_s, QJsonObject{}},
                    {u"img"_s, 1.5}, {u"url"_s, QJsonValue(QJsonValue::Null)}},
    };
    const QList<NewsItem> items = NewsFeed::parse(QJsonDocument(list).toJson(QJsonDocument::Compact));

    QCOMPARE(items.size(), 2);
    const NewsItem &full = items.at(0);
    QCOMPARE(full.title, longTitle);
    QCOMPARE(full.description, QStringLiteral("d"));
    QCOMPARE(full.date, QStringLiteral("15.05.2024"));
    QCOMPARE(full.dateIso, QStringLiteral("2024-05-15"));
    QCOMPARE(full.img, QStringLiteral("http://x/1.jpg"));
    QCOMPARE(full.url, QStringLiteral("abc"));
    const NewsItem &wrong = items.at(1);
    for (const QString &member : {wrong.title, wrong.description, wrong.date, wrong.dateIso, wrong.img, wrong.url})
        QVERIFY(member.isEmpty());
}

void TestFeedParsing::newestFirst_data()
{
    QTest::addColumn<QList<NewsItem>>("items");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("date_iso decides, whatever date says")
        << QList<NewsItem>{item(u"may2"_s, u"30.12.2024"_s, u"2024-05-02"_s), item(u"may10"_s, u"01.01.2020"_s, u"2024-05-10"_s)}
        << QStringList{u"may10"_s, u"may2"_s};
    QTest::newRow("without date_iso, by date")
        << QList<NewsItem>{item(u"may"_s, u"15.05.2024"_s), item(u"june"_s, u"01.06.2024"_s)} << QStringList{u"june"_s, u"may"_s};
    QTest::newRow("one without date_iso: by date")
        << QList<NewsItem>{item(u"iso"_s, u"01.01.2024"_s, u"2025-01-01"_s), item(u"plain"_s, u"01.02.2024"_s)}
        << QStringList{u"plain"_s, u"iso"_s};
    QTest::newRow("empty date_iso counts as missing")
        << QList<NewsItem>{item(u"empty"_s, u"01.01.2024"_s, u""_s), item(u"later"_s, u"02.01.2024"_s, u"2023-01-01"_s)}
        << QStringList{u"later"_s, u"empty"_s};
    QTest::newRow("unparsable date goes after valid ones")
        << QList<NewsItem>{item(u"yearfirst"_s, u"2024-06-01"_s), item(u"old"_s, u"01.01.2001"_s), item(u"new"_s, u"01.01.2024"_s)}
        << QStringList{u"new"_s, u"old"_s, u"yearfirst"_s};
    QTest::newRow("date_iso compared as text, case-sensitive")
        << QList<NewsItem>{item(u"upper"_s, u""_s, u"2024-05-01T10:00Z"_s), item(u"lower"_s, u""_s, u"2024-05-01t10:00z"_s)}
        << QStringList{u"lower"_s, u"upper"_s};
    QTest::newRow("equal items keep their order")
        << QList<NewsItem>{item(u"a"_s, u"01.01.2024"_s), item(u"b"_s, u"01.01.2024"_s), item(u"c"_s, u"bad"_s), item(u"d"_s, u""_s)}
        << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("non-object item in its sorted place")
        << (NewsFeed::parse(R"([7,{"title":"x","date":"01.01.2024"}])")) << QStringList{u"x"_s, QString()};
}

void TestFeedParsing::newestFirst()
{
    QFETCH(QList<NewsItem>, items);
    QFETCH(QStringList, order);
    NewsFeed::sortNewestFirst(items);
    QCOMPARE(titles(items), order);
}

// Random lists mixing items with and without "date_iso", equal keys and dates
// that do not parse, so the comparison is often no strict weak ordering. Run
// under the sanitizers, this shows the sort stays in bounds and finishes; the
// result is always a permutation, and sorted wherever the comparison is.
void TestFeedParsing::sortIsSafeOnAnyInput()
{
    const QStringList dates{u"01.01.2024"_s, u"15.05.2024"_s, u"01.06.2024"_s, u"31.12.1999"_s, u"2024-06-01"_s, u"32.13.2024"_s,
                            u""_s, u"1.1.2024"_s, u"01.01.2024 "_s, u"\u0661\u0662.01.2024"_s};
    const QStringList isos{u"2024-05-02"_s, u"2024-05-10"_s, u"2024-05-10"_s, u"2023"_s, u"zzz"_s, u"\u00e9"_s, u"0"_s};
    QRandomGenerator random(20241206);
    for (int round = 0; round < 400; ++round) {
        const int size = int(random.bounded(round < 300 ? 40 : 300));
        // 0: no item has date_iso, 1: every item has one, 2: mixed.
        const int kind = int(random.bounded(3));
        QJsonArray list;
        for (int i = 0; i < size; ++i) {
            QJsonObject object{{u"title"_s, QString::number(i)},
                               {u"date"_s, dates.at(int(random.bounded(dates.size())))}};
            if (kind == 1 || (kind == 2 && random.bounded(2)))
                object.insert(u"date_iso"_s, isos.at(int(random.bounded(isos.size()))));
            list.append(object);
        }
        const QList<NewsItem> items = NewsFeed::parse(QJsonDocument(list).toJson(QJsonDocument::Compact));
        QList<NewsItem> sorted = items;
        NewsFeed::sortNewestFirst(sorted);

        QCOMPARE(sorted.size(), items.size());
        QList<bool> seen(size, false);
        for (const NewsItem &entry : std::as_const(sorted)) {
            const int index = entry.title.toInt();
            QVERIFY(!seen.at(index));
            seen[index] = true;
        }
        if (kind == 2)
            continue;
        for (int i = 0; i + 1 < size; ++i) {
            const NewsItem &a = sorted.at(i);
            const NewsItem &b = sorted.at(i + 1);
            QVERIFY(!NewsFeed::isNewer(b, a));
            if (!NewsFeed::isNewer(a, b))
                QVERIFY2(a.title.toInt() < b.title.toInt(), "equal items keep their order");
        }
    }
}

QTEST_GUILESS_MAIN(TestFeedParsing)
#include "tst_feedparsing.moc"
