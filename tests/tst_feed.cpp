#include "feed/newspicture.h"
#include "feed/newspictureloader.h"
#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "testsupport.h"

#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    return bigEndian(quint32(data.size())) + body
        + bigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))));
}

/// A PNG of one colour type and bit depth whose every row is row.
QByteArray png(int width, int height, int depth, int type, const QByteArray &row, const QByteArray &palette,
    const QByteArray &transparency)
{
    QByteArray pixels;
    for (int y = 0; y < height; ++y)
        pixels += '\0' + row;
    QByteArray header = bigEndian(quint32(width)) + bigEndian(quint32(height));
    header += char(depth);
    header += char(type);
    header += QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header)
        + (palette.isEmpty() ? QByteArray() : chunk("PLTE", palette))
        + (transparency.isEmpty() ? QByteArray() : chunk("tRNS", transparency))
        + chunk("IDAT", qCompress(pixels).mid(4)) + chunk("IEND", QByteArray());
}

QStringList titles(const QList<NewsItem> &items)
{
    QStringList result;
    for (const NewsItem &item : items)
        result << item.title;
    return result;
}
} // namespace

class TestFeed final : public QObject
{
    Q_OBJECT

private slots:
    void onlineTotal_data();
    void onlineTotal();
    void stalledPollRecoversOnALaterTick();
    void news_data();
    void news();
    void orderSurvivesInconsistentDates();
    void pictureKinds_data();
    void pictureKinds();
    void pictureAddressesAndTurns();
};

void TestFeed::onlineTotal_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("total"); // -1: no total, the box keeps its number
    QTest::newRow("empty") << QByteArray("[]") << 0;
    QTest::newRow("summed") << QByteArray(R"([{"online":12},{"online":30,"name":"x"}])") << 42;
    QTest::newRow("not whole numbers count 0")
        << QByteArray(R"([{"online":"12"},{"online":12.5},{"online":true},{"online":null},7,[1],{"online":5}])") << 5;
    QTest::newRow("clamped, never wrapped")
        << QByteArray(R"([{"online":2147483647},{"online":2147483647}])") << 2147483647;
    QTest::newRow("object") << QByteArray(R"({"online":5})") << -1;
    QTest::newRow("not JSON") << QByteArray("<html>") << -1;
}

void TestFeed::onlineTotal()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, total);
    QCOMPARE(StatusPoller::onlineTotal(answer).value_or(-1), total);
    QCOMPARE(StatusPoller::formatOnline(1294), u"1\u00a0294"_s);
}

void TestFeed::stalledPollRecoversOnALaterTick()
{
    FixtureServer server;
    server.routes[u"/servers"_s] = Route(200, "[]", Fault::Stall);
    QNetworkAccessManager manager;
    StatusPoller poller(&manager, server.url(u"/servers"_s), 100, 300);
    QSignalSpy online(&poller, &StatusPoller::onlineChanged);
    connect(&server, &FixtureServer::requested, this,
        [&server] { server.routes[u"/servers"_s] = Route(200, "[{\"online\":7}]"); });
    poller.start();
    QVERIFY(online.wait());
    QCOMPARE(online.at(0).at(0).toInt(), 7);
    // Ticks while the stalled poll was outstanding sent nothing.
    QCOMPARE(server.requests.size(), 2);
}

void TestFeed::news_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("by day, ties kept in order, bad dates last")
        << QByteArray(R"([{"title":"a","date":"15.01.2024"},{"title":"b","date":"02.05.2024"},
                          {"title":"f","date":"soon"},{"title":"e","date":"02.05.2024"}])")
        << QStringList {u"b"_s, u"e"_s, u"a"_s, u"f"_s};
    QTest::newRow("by date_iso when both have one") << QByteArray(
        R"([{"title":"c","date_iso":"2024-05-02","date":"09.09.2024"},{"title":"d","date_iso":"2024-05-09"}])")
                                                    << QStringList {u"d"_s, u"c"_s};
    QTest::newRow("under data; every element a card")
        << QByteArray(R"({"data":[{"title":"a"},7,{"title":1}]})") << QStringList {u"a"_s, QString(), QString()};
    QTest::newRow("data not a list") << QByteArray(R"({"data":{"title":"a"}})") << QStringList();
    QTest::newRow("not JSON") << QByteArray("<html>") << QStringList();
}

void TestFeed::news()
{
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, titles);
    FixtureServer server;
    server.routes[u"/news"_s] = Route(200, answer);
    QNetworkAccessManager manager;
    NewsSource source(&manager, server.url(u"/news"_s), 300);
    QSignalSpy ready(&source, &NewsSource::newsReady);
    QSignalSpy done(&manager, &QNetworkAccessManager::finished);
    source.fetch();
    QVERIFY(done.wait());
    QCOMPARE(ready.isEmpty() ? QStringList() : ::titles(ready.at(0).at(0).value<QList<NewsItem>>()), titles);
}

void TestFeed::orderSurvivesInconsistentDates()
{
    // Items with and without date_iso compare inconsistently; a sort that
    // trusts the comparison may then read past the list's ends.
    QList<NewsItem> items(5000);
    QStringList before;
    for (NewsItem &item : items) {
        auto *random = QRandomGenerator::global();
        item.title = QString::number(random->generate());
        item.dateIso = random->bounded(2) ? u"2024-%1"_s.arg(random->bounded(100)) : QString();
        item.day = random->bounded(100);
        before << item.title;
    }
    NewsSource::sortNewestFirst(items);
    QStringList after = titles(items);
    before.sort();
    after.sort();
    QCOMPARE(after, before);
}

void TestFeed::pictureKinds_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QColor>("colour"); // invalid: refused
    const QByteArray palette("\xff\x00\x00\x00\x00\xff", 6), half("\x80", 1);
    for (int depth : {1, 2, 4, 8}) {
        const QByteArray row((640 * depth + 7) / 8, '\0');
        QTest::addRow("%d-bit palette", depth) << png(640, 360, depth, 3, row, palette, {}) << QColor(255, 0, 0);
        QTest::addRow("%d-bit palette, transparent", depth)
            << png(640, 360, depth, 3, row, palette, half) << QColor(255, 0, 0, 128);
    }
    const struct
    {
        int depth;
        char byte;
        int grey;
    } greys[] = {{1, '\xff', 255}, {2, '\xaa', 170}, {4, '\x88', 136}, {8, '\x80', 128}};
    for (const auto &grey : greys) {
        QTest::addRow("%d-bit grey", grey.depth)
            << png(640, 360, grey.depth, 0, QByteArray((640 * grey.depth + 7) / 8, grey.byte), {}, {})
            << QColor(grey.grey, grey.grey, grey.grey);
    }
    const auto repeat = [](const QByteArray &pixel) { return pixel.repeated(640); };
    QTest::newRow("16-bit grey") << png(640, 360, 16, 0, repeat(QByteArray("\x80\x00", 2)), {}, {})
                                 << QColor(128, 128, 128);
    QTest::newRow("8-bit grey, alpha") << png(640, 360, 8, 4, repeat("\x5a\x80"), {}, {}) << QColor(90, 90, 90, 128);
    QTest::newRow("16-bit grey, alpha") << png(640, 360, 16, 4, repeat(QByteArray("\x5a\x00\x80\x00", 4)), {}, {})
                                        << QColor(90, 90, 90, 128);
    QTest::newRow("8-bit RGB") << png(640, 360, 8, 2, repeat("\xc8\x14\x3c"), {}, {}) << QColor(200, 20, 60);
    QTest::newRow("16-bit RGB") << png(640, 360, 16, 2, repeat(QByteArray("\xc8\x00\x14\x00\x3c\x00", 6)), {}, {})
                                << QColor(200, 20, 60);
    QTest::newRow("8-bit RGBA") << png(640, 360, 8, 6, repeat("\xc8\x14\x3c\x80"), {}, {}) << QColor(200, 20, 60, 128);
    QTest::newRow("16-bit RGBA") << png(640, 360, 16, 6, repeat(QByteArray("\xc8\x00\x14\x00\x3c\x00\x80\x00", 8)), {},
        {}) << QColor(200, 20, 60, 128);
    QTest::newRow("huge 1-bit palette: too large to decode whole")
        << png(8000, 8000, 1, 3, QByteArray(1000, '\0'), palette, {}) << QColor();
}

void TestFeed::pictureKinds()
{
    QFETCH(QByteArray, data);
    QFETCH(QColor, colour);
    const QImage picture = NewsPicture::prepare(data, 2.0);
    QCOMPARE(picture.isNull(), !colour.isValid());
    if (picture.isNull())
        return;
    QCOMPARE(picture.size(), QSize(326, 324)); // the picture area at twice the pixels
    for (const QPoint &at : {QPoint(0, 0), QPoint(160, 160), QPoint(325, 323)}) {
        const QColor drawn = picture.pixelColor(at);
        const int off = qMax(qMax(qAbs(drawn.red() - colour.red()), qAbs(drawn.green() - colour.green())),
            qMax(qAbs(drawn.blue() - colour.blue()), qAbs(drawn.alpha() - colour.alpha())));
        QVERIFY2(off <= 3, qPrintable(drawn.name(QColor::HexArgb)));
    }
}

void TestFeed::pictureAddressesAndTurns()
{
    FixtureServer server;
    QImage image(320, 180, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    server.routes[u"/p.jpg"_s] = Route(200, jpeg, Fault::Drip);
    QNetworkAccessManager manager;
    NewsPictureLoader loader(&manager, 300);
    QSignalSpy ready(&loader, &NewsPictureLoader::pictureReady);
    QSignalSpy done(&manager, &QNetworkAccessManager::finished);
    // No more than four at once: each request arrives only once enough
    // earlier ones are done.
    int tooMany = 0;
    connect(&server, &FixtureServer::requested, this, [&server, &done, &tooMany] {
        tooMany += server.requests.size() > NewsPictureLoader::maxRunning + done.size();
    });

    std::vector<std::unique_ptr<QObject>> targets;
    for (const QString &address :
        {u"file:///etc/hostname"_s, u"qrc:/images/logo.png"_s, u"file://127.0.0.1/share/x.png"_s,
            u"ftp://127.0.0.1/x"_s, u"//127.0.0.1/p.jpg"_s, u"javascript:alert(1)"_s}) {
        targets.push_back(std::make_unique<QObject>());
        loader.load(targets.back().get(), address, 1.0);
    }
    for (int i = 0; i < 10; ++i) {
        targets.push_back(std::make_unique<QObject>());
        loader.load(
            targets.back().get(), server.url(u"/p.jpg"_s).replace(u"http"_s, i % 2 ? u"HTTP"_s : u"http"_s), 1.0);
    }
    targets[6].reset(); // deleted while its picture loads: never reported
    QTRY_COMPARE(done.size(), 10);
    QCOMPARE(tooMany, 0);
    QCOMPARE(server.requests.size(), 10);
    QCOMPARE(ready.size(), 9);
    for (const auto &arguments : std::as_const(ready))
        QVERIFY(arguments.at(0).value<QObject *>() != nullptr);
}

QTEST_MAIN(TestFeed)
#include "tst_feed.moc"
