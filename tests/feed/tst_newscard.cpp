#include "pagecatcher.h"
#include "feed/newspicture.h"
#include "largepng.h"
#include "ui/newscard.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImageWriter>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
// Bands of distinct colours along the picture's long side, bandSize source pixels each.
QImage bands(const QSize &size, int bandSize)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const bool across = size.width() >= size.height();
    const int length = across ? size.width() : size.height();
    for (int band = 0; band * bandSize < length; ++band) {
        const QColor colour = QColor::fromHsv((band * 70) % 360, 255, 255);
        painter.fillRect(across ? QRect(band * bandSize, 0, bandSize, size.height())
                                : QRect(0, band * bandSize, size.width(), bandSize),
                         colour);
    }
    return image;
}

QColor bandColour(int band)
{
    return QColor::fromHsv((band * 70) % 360, 255, 255);
}

QByteArray encode(const QImage &image, const char *format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return data;
}

QImage shot(NewsCard &card)
{
    return card.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

bool near(QRgb actual, const QColor &expected, int tolerance)
{
    return qAbs(qRed(actual) - expected.red()) <= tolerance && qAbs(qGreen(actual) - expected.green()) <= tolerance
        && qAbs(qBlue(actual) - expected.blue()) <= tolerance && qAbs(qAlpha(actual) - expected.alpha()) <= tolerance;
}

QByteArray describe(QRgb pixel)
{
    return QColor::fromRgba(pixel).name(QColor::HexArgb).toLatin1();
}
} // namespace

class TestNewsCard final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void placement_data();
    void placement();
    void drawsPictureCoveringAndClipped_data();
    void drawsPictureCoveringAndClipped();
    void keepsOnlyTheShownPart_data();
    void keepsOnlyTheShownPart();
    void refusesBadPictures_data();
    void refusesBadPictures();
    void placeholder();
    void hoverLightsTheBody();
    void pressOpensLinkAndEmits_data();
    void pressOpensLinkAndEmits();
    void networkTextsStayPlain();

private:
    PageCatcher m_pages;
};

void TestNewsCard::initTestCase()
{
    QDesktopServices::setUrlHandler(u"https"_s, &m_pages, "open");
}

void TestNewsCard::placement_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("drawn");
    QTest::newRow("320 x 180") << QSize(320, 180) << QRect(-47, 12, 288, 162);
    QTest::newRow("500 x 500") << QSize(500, 500) << QRect(17, 12, 162, 162);
    QTest::newRow("100 x 400") << QSize(100, 400) << QRect(17, -231, 162, 648);
    QTest::newRow("163 x 162") << QSize(163, 162) << QRect(16, 12, 163, 162);
    QTest::newRow("1 x 1") << QSize(1, 1) << QRect(17, 12, 162, 162);
}

void TestNewsCard::placement()
{
    QFETCH(QSize, picture);
    QFETCH(QRect, drawn);
    QCOMPARE(NewsPicture::placement(picture), drawn);
}

void TestNewsCard::drawsPictureCoveringAndClipped_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("bandSize");
    QTest::addColumn<bool>("prepared");
    QTest::addColumn<QPoint>("before");   // last card pixel of one band
    QTest::addColumn<QPoint>("after");    // first card pixel of the next
    QTest::addColumn<int>("band");        // the band before the edge
    // 320 x 180 at -47: source column 160 lands on card column 97.
    QTest::newRow("320 x 180, prepared") << QSize(320, 180) << 32 << true << QPoint(96, 93) << QPoint(97, 93) << 4;
    QTest::newRow("320 x 180, stored as is") << QSize(320, 180) << 32 << false << QPoint(96, 93) << QPoint(97, 93) << 4;
    // 500 x 500 at 17: source column 250 lands on card column 98.
    QTest::newRow("500 x 500, prepared") << QSize(500, 500) << 50 << true << QPoint(96, 93) << QPoint(100, 93) << 4;
    QTest::newRow("500 x 500, stored as is") << QSize(500, 500) << 50 << false << QPoint(96, 93) << QPoint(100, 93) << 4;
    // 100 x 400 at y -231: source row 200 lands on card row 93.
    QTest::newRow("100 x 400, prepared") << QSize(100, 400) << 50 << true << QPoint(97, 90) << QPoint(97, 96) << 3;
    QTest::newRow("100 x 400, stored as is") << QSize(100, 400) << 50 << false << QPoint(97, 90) << QPoint(97, 96) << 3;
}

void TestNewsCard::drawsPictureCoveringAndClipped()
{
    QFETCH(QSize, size);
    QFETCH(int, bandSize);
    QFETCH(bool, prepared);
    QFETCH(QPoint, before);
    QFETCH(QPoint, after);
    QFETCH(int, band);

    NewsCard card;
    const QImage source = bands(size, bandSize);
    card.m_image = prepared ? QPixmap::fromImage(NewsPicture::prepare(encode(source, "png"), 1.0), Qt::NoFormatConversion)
                            : QPixmap::fromImage(source);
    QVERIFY(!card.m_image.isNull());
    const QImage image = shot(card);

    QVERIFY2(near(image.pixel(before), bandColour(band), 12), describe(image.pixel(before)));
    QVERIFY2(near(image.pixel(after), bandColour(band + 1), 12), describe(image.pixel(after)));
    // Outside the picture area, and in its rounded corners, the body shows.
    const QColor body(18, 18, 18);
    for (const QPoint outside : {QPoint(14, 93), QPoint(181, 93), QPoint(97, 9), QPoint(97, 177), QPoint(18, 13),
                                 QPoint(177, 172)}) {
        QVERIFY2(near(image.pixel(outside), body, 2), describe(image.pixel(outside)) + " at x "
                     + QByteArray::number(outside.x()) + " y " + QByteArray::number(outside.y()));
    }
    // The picture reaches the area's edges.
    QVERIFY(!near(image.pixel(18, 93), body, 20));
    QVERIFY(!near(image.pixel(177, 93), body, 20));
    QVERIFY(!near(image.pixel(97, 13), body, 20));
    QVERIFY(!near(image.pixel(97, 172), body, 20));
}

void TestNewsCard::keepsOnlyTheShownPart_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("kept");
    const QImage wide = bands(QSize(1920, 1080), 100);
    QTest::newRow("1920 x 1080 JPEG") << encode(wide, "jpeg") << 1.0 << QSize(163, 162);
    QTest::newRow("1920 x 1080 JPEG at 200 %") << encode(wide, "jpeg") << 2.0 << QSize(326, 324);
    QTest::newRow("500 x 500 PNG") << encode(bands(QSize(500, 500), 50), "png") << 1.0 << QSize(162, 162);
    QTest::newRow("100 x 400 PNG at 150 %") << encode(bands(QSize(100, 400), 50), "png") << 1.5 << QSize(243, 243);
    QTest::newRow("10000 x 10000 PNG") << largePng(10000, 10000, qRgb(200, 30, 30)) << 1.0 << QSize(162, 162);
    QTest::newRow("4 x 3 BMP") << encode(bands(QSize(4, 3), 1), "bmp") << 1.0 << QSize(163, 162);
}

void TestNewsCard::keepsOnlyTheShownPart()
{
    QFETCH(QByteArray, data);
    QFETCH(qreal, ratio);
    QFETCH(QSize, kept);
    const QImage picture = NewsPicture::prepare(data, ratio);
    QCOMPARE(picture.size(), kept);
    QCOMPARE(picture.devicePixelRatio(), ratio);
    // Drawn back through placement() it lands where the area's clip starts.
    QCOMPARE(NewsPicture::placement(picture.deviceIndependentSize().toSize()).topLeft(),
             QPoint(kept.width() / ratio > 162.5 ? 16 : 17, 12));
}

void TestNewsCard::refusesBadPictures_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray png = encode(bands(QSize(300, 200), 20), "png");
    QTest::newRow("0 bytes") << QByteArray();
    QTest::newRow("not an image") << QByteArray("<html><body>404</body></html>");
    QTest::newRow("PNG signature only") << png.left(8);
    QTest::newRow("truncated PNG header") << png.left(30);
    QImage line(1, 40000, QImage::Format_Mono);
    line.fill(0);
    QTest::newRow("too long and thin to scale") << encode(line, "png");
    // Readers that cannot scale while decoding would hold the full size.
    QImage indexed(4000, 3000, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 0, 0)});
    indexed.fill(0);
    QTest::newRow("4000 x 3000 BMP") << encode(indexed, "bmp");
    QImage mono(10000, 10000, QImage::Format_Mono);
    mono.fill(1);
    QTest::newRow("10000 x 10000 one-bit PNG") << encode(mono, "png");
    QByteArray huge = png;
    huge.append(QByteArray(NewsPicture::maxBytes, '\0'));
    QTest::newRow("larger than any picture") << huge;
}

void TestNewsCard::refusesBadPictures()
{
    QFETCH(QByteArray, data);
    QVERIFY(NewsPicture::prepare(data, 1.0).isNull());
}

void TestNewsCard::placeholder()
{
    NewsCard card;
    const QImage image = shot(card);
    // Dark amber from top to bottom, with the glow in the middle.
    QVERIFY2(near(image.pixel(97, 13), QColor(30, 24, 6), 3), describe(image.pixel(97, 13)));
    QVERIFY2(near(image.pixel(97, 172), QColor(22, 17, 4), 3), describe(image.pixel(97, 172)));
    QVERIFY2(near(image.pixel(97, 93), QColor(112, 88, 15), 4), describe(image.pixel(97, 93)));
    QVERIFY2(near(image.pixel(30, 93), QColor(46, 37, 8), 4), describe(image.pixel(30, 93)));
    QVERIFY2(near(image.pixel(5, 128), QColor(18, 18, 18), 1), describe(image.pixel(5, 128)));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
}

void TestNewsCard::hoverLightsTheBody()
{
    NewsCard card;
    card.show();
    const QImage idle = shot(card);
    QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(20, 20));
    QCoreApplication::sendEvent(&card, &enter);
    const QImage hovered = shot(card);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&card, &leave);
    const QImage left = shot(card);

    QVERIFY2(near(idle.pixel(5, 128), QColor(18, 18, 18), 1), describe(idle.pixel(5, 128)));
    QVERIFY2(near(hovered.pixel(5, 128), QColor(28, 28, 28), 1), describe(hovered.pixel(5, 128)));
    QCOMPARE(left.pixel(5, 128), idle.pixel(5, 128));
    // The outline: half a pixel of body under a white line, alpha 13 idle, 20 hovered.
    QVERIFY2(near(idle.pixel(0, 128), QColor(41, 41, 41, 134), 3), describe(idle.pixel(0, 128)));
    QVERIFY2(near(hovered.pixel(0, 128), QColor(61, 61, 61, 137), 3), describe(hovered.pixel(0, 128)));
    QCOMPARE(left.pixel(0, 128), idle.pixel(0, 128));
    // The picture area looks the same either way.
    QCOMPARE(hovered.pixel(97, 93), idle.pixel(97, 93));
}

void TestNewsCard::pressOpensLinkAndEmits_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("button");
    QTest::newRow("left button") << u"https://site.test/news/abc"_s << int(Qt::LeftButton);
    QTest::newRow("right button") << u"https://site.test/news/abc"_s << int(Qt::RightButton);
    QTest::newRow("no link") << QString() << int(Qt::LeftButton);
}

void TestNewsCard::pressOpensLinkAndEmits()
{
    QFETCH(QString, link);
    QFETCH(int, button);
    m_pages.opened.clear();
    NewsCard card;
    card.m_link = link;
    QSignalSpy clicked(&card, &NewsCard::clicked);

    for (int press = 1; press <= 2; ++press) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(100, 200), QPointF(100, 200), Qt::MouseButton(button),
                          Qt::MouseButton(button), Qt::NoModifier);
        QCoreApplication::sendEvent(&card, &event);
        // Left unaccepted so that the window can start a drag.
        QVERIFY(!event.isAccepted());
        QCOMPARE(clicked.count(), press);
        QCOMPARE(m_pages.opened.size(), link.isEmpty() ? 0 : press);
    }
    if (!link.isEmpty())
        QCOMPARE(m_pages.opened.constFirst(), QUrl(link));
}

void TestNewsCard::networkTextsStayPlain()
{
    NewsCard card;
    const QString markup = QStringLiteral("<img src=\"file:///etc/hostname\"><b>bold</b>");
    for (QLabel *label : {card.m_titleLabel, card.m_descriptionLabel, card.m_dateLabel}) {
        label->setText(markup);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->text(), markup);
    }
}

QTEST_MAIN(TestNewsCard)
#include "tst_newscard.moc"
