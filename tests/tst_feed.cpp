#include "feed/newspicture.h"
#include "feed/newspictureloader.h"
#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "testsupport.h"

#include <QBuffer>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {
QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = type + data;
    QByteArray length(4, '\0'), crc(4, '\0');
    qToBigEndian(quint32(data.size()), length.data());
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))), crc.data());
    return length + body + crc;
}

/// A PNG whose rows repeat unit, for any colour type and bit depth.
QByteArray png(int side, int depth, int type, const QByteArray &unit, const QByteArray &palette = {},
    const QByteArray &transparency = {})
{
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    const QByteArray row = '\0' + unit.repeated((side * depth * channels[type] + 7) / 8 / unit.size());
    QByteArray header(13, '\0');
    qToBigEndian(quint32(side), header.data());
    qToBigEndian(quint32(side * 9 / 16), header.data() + 4);
    header[8] = char(depth);
    header[9] = char(type);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header)
        + (palette.isEmpty() ? QByteArray() : chunk("PLTE", palette))
        + (transparency.isEmpty() ? QByteArray() : chunk("tRNS", transparency))
        + chunk("IDAT", qCompress(row.repeated(side * 9 / 16)).mid(4)) + chunk("IEND", {});
}
} // namespace

class TestFeed final : public QObject
{
    Q_OBJECT

private slots:
    void answers();
    void orderSurvivesInconsistentDates();
    void pictureKinds_data();
    void pictureKinds();
    void pictureAddressesAndTurns();
};

void TestFeed::answers()
{
    // Summed in 64 bits and clamped, never wrapped; whatever is not a whole number counts 0.
    QCOMPARE(
        StatusPoller::onlineTotal(R"([{"online":2147483647},{"online":"1"},7,{"online":2147483647}])").value_or(-1),
        2147483647);
    QCOMPARE(StatusPoller::onlineTotal(R"({"online":5})").value_or(-1), -1);
    // Newest first by day, not by the text of the date; equal days keep their order.
    QList<NewsItem> items = NewsSource::parse(
        R"({"data":[{"title":"a","date":"15.01.2024"},{"title":"b","date":"02.05.2024"},7,{"title":"e","date":"02.05.2024"}]})");
    NewsSource::sortNewestFirst(items);
    QStringList titles;
    for (const NewsItem &item : std::as_const(items))
        titles << item.title;
    QCOMPARE(titles, (QStringList{u"b"_s, u"e"_s, u"a"_s, QString()}));
}

void TestFeed::orderSurvivesInconsistentDates()
{
    // Items with and without date_iso compare inconsistently; a sort that
    // trusts the comparison may then read past the list's ends.
    QList<NewsItem> items(5000);
    QStringList before, after;
    for (NewsItem &item : items) {
        auto *random = QRandomGenerator::global();
        item.title = QString::number(random->generate());
        item.dateIso = random->bounded(2) ? QString::number(random->bounded(100)) : QString();
        item.day = random->bounded(100);
        before << item.title;
    }
    NewsSource::sortNewestFirst(items);
    for (const NewsItem &item : std::as_const(items))
        after << item.title;
    before.sort();
    after.sort();
    QCOMPARE(after, before);
}

void TestFeed::pictureKinds_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QColor>("colour"); // invalid: refused
    const QByteArray palette("\xff\x00\x00\x00\x00\xff", 6), half("\x80", 1), zero(1, '\0');
    for (int depth : {1, 2, 4, 8}) {
        QTest::addRow("%d-bit palette", depth) << png(640, depth, 3, zero, palette) << QColor(255, 0, 0);
        QTest::addRow("%d-bit palette, tRNS", depth)
            << png(640, depth, 3, zero, palette, half) << QColor(255, 0, 0, 128);
    }
    const char samples[] = {'\xff', '\xaa', '\x88', '\x80'}; // 1, 2, 4 and 8 bits: 1, 2, 8 and 128
    const int greys[] = {255, 170, 136, 128};
    for (int i = 0; i < 4; ++i)
        QTest::addRow("%d-bit grey", 1 << i)
            << png(640, 1 << i, 0, QByteArray(1, samples[i])) << QColor(greys[i], greys[i], greys[i]);
    QTest::newRow("16-bit grey") << png(640, 16, 0, "\x80\x00") << QColor(128, 128, 128);
    QTest::newRow("8-bit grey, alpha") << png(640, 8, 4, "\x5a\x80") << QColor(90, 90, 90, 128);
    QTest::newRow("16-bit grey, alpha") << png(640, 16, 4, QByteArray("\x5a\x00\x80\x00", 4))
                                        << QColor(90, 90, 90, 128);
    QTest::newRow("8-bit RGB") << png(640, 8, 2, "\xc8\x14\x3c") << QColor(200, 20, 60);
    QTest::newRow("16-bit RGB") << png(640, 16, 2, QByteArray("\xc8\x00\x14\x00\x3c\x00", 6)) << QColor(200, 20, 60);
    QTest::newRow("8-bit RGBA") << png(640, 8, 6, "\xc8\x14\x3c\x80") << QColor(200, 20, 60, 128);
    QTest::newRow("16-bit RGBA") << png(640, 16, 6, QByteArray("\xc8\x00\x14\x00\x3c\x00\x80\x00", 8))
                                 << QColor(200, 20, 60, 128);
    QTest::newRow("too large to decode whole") << png(8000, 1, 3, zero, palette) << QColor();
}

void TestFeed::pictureKinds()
{
    QFETCH(QByteArray, data);
    QFETCH(QColor, colour);
    const QImage picture = NewsPicture::prepare(data, 1.0);
    QCOMPARE(picture.isNull(), !colour.isValid());
    if (picture.isNull())
        return;
    QCOMPARE(picture.size(), QSize(163, 162)); // what the card's picture area shows
    for (const QPoint &at : {QPoint(0, 0), QPoint(80, 80), QPoint(162, 161)}) {
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
    QBuffer jpeg;
    jpeg.open(QIODevice::WriteOnly);
    image.save(&jpeg, "JPEG");
    server.routes[u"/p.jpg"_s] = Route(200, jpeg.data(), Fault::Drip);
    QNetworkAccessManager manager;
    NewsPictureLoader loader(&manager, 300);
    QSignalSpy ready(&loader, &NewsPictureLoader::pictureReady), done(&manager, &QNetworkAccessManager::finished);
    int tooMany = 0; // each request may arrive only once enough earlier ones are done
    connect(&server, &FixtureServer::requested, this,
        [&] { tooMany += server.requests.size() > NewsPictureLoader::maxRunning + done.size(); });
    std::vector<std::unique_ptr<QObject>> targets;
    const QString web = server.url(u"/p.jpg"_s);
    // Only http and https with a host: file: reads local files, and on Windows
    // a host in it opens an SMB connection that offers the user's credentials.
    for (const QString &address : {u"file:///etc/hostname"_s, u"qrc:/images/logo.png"_s, u"file://127.0.0.1/s/x.png"_s,
             u"ftp://127.0.0.1/x"_s, u"//127.0.0.1/p.jpg"_s, web, QString(web).replace(0, 4, u"HTTP"_s)}) {
        for (int i = address.contains(u"p.jpg"_s) && address.contains(u':') ? 5 : 1; i > 0; --i) {
            targets.push_back(std::make_unique<QObject>());
            loader.load(targets.back().get(), address, 1.0);
        }
    }
    targets.at(5).reset(); // deleted while its picture loads: never reported
    QTRY_COMPARE(done.size(), 10);
    QCOMPARE(server.requests.size(), 10);
    QCOMPARE(ready.size(), 9);
    QCOMPARE(tooMany, 0);
}

QTEST_MAIN(TestFeed)
#include "tst_feed.moc"
