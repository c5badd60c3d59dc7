// The news pictures: every kind decoded in its own colours, the ones too costly to
// decode refused, and their downloads a few at a time from web addresses only.
#include "feed/newspicture.h"
#include "feed/newspictureloader.h"
#include "testsupport.h"

#include <QNetworkAccessManager>
#include <QtTest>

class TestFeed final : public QObject
{
    Q_OBJECT

private slots:
    void pictureKinds_data();
    void pictureKinds();
    void pictureAddressesAndTurns();
};

void TestFeed::pictureKinds_data()
{
    // One picture of each kind, named "<kind>=<its colour>"; no colour: refused.
    QTest::addColumn<QString>("file");
    QTest::addColumn<QColor>("colour");
    for (const QFileInfo &file : QDir(VELOR_TEST_DATA "/pictures").entryInfoList(QDir::Files)) {
        const QStringList name = file.completeBaseName().split(u'=');
        const QColor colour = name.at(1).isEmpty() ? QColor() : QColor(u'#' + name.at(1));
        QTest::newRow(qPrintable(name.at(0))) << file.filePath() << colour;
    }
}

void TestFeed::pictureKinds()
{
    QFETCH(QString, file);
    QFETCH(QColor, colour);
    const QImage picture = NewsPicture::prepare(readFile(file), QRectF(16.5, 12, 162, 162), 1.0);
    QCOMPARE(picture.isNull(), !colour.isValid());
    if (picture.isNull())
        return;
    QCOMPARE(picture.size(), QSize(163, 162)); // what the area's clip lets through
    for (const QPoint &at : {QPoint(0, 0), QPoint(80, 80), QPoint(162, 161)}) {
        const QColor drawn = picture.pixelColor(at);
        const int distance = qAbs(drawn.red() - colour.red()) + qAbs(drawn.green() - colour.green())
            + qAbs(drawn.blue() - colour.blue()) + qAbs(drawn.alpha() - colour.alpha());
        QCOMPARE_LE(distance, 6);
    }
}

void TestFeed::pictureAddressesAndTurns()
{
    FixtureServer server;
    server.routes["/p.jpg"] = Route{200, readFile(VELOR_TEST_DATA "/red.jpg"), Drip};
    QNetworkAccessManager manager;
    NewsPictureLoader loader(&manager, 300);
    QSignalSpy ready(&loader, &NewsPictureLoader::pictureReady);
    QSignalSpy done(&manager, &QNetworkAccessManager::finished);
    int tooMany = 0; // each request may arrive only once enough earlier ones are done
    connect(&server, &FixtureServer::requested, this,
        [&] { tooMany += server.requests.size() > NewsPictureLoader::maxRunning + done.size(); });
    const QString web = server.url("/p.jpg");
    // Only http and https with a host: file: reads local files, and on Windows
    // a host in it opens an SMB connection that offers the user's credentials.
    const QStringList addresses{"file:///etc/hostname", "qrc:/images/logo.png", "file://127.0.0.1/s/x.png",
        "ftp://127.0.0.1/x", "//127.0.0.1/p.jpg", "http:///p.jpg", web, web, web, web,
        QString(web).replace(0, 4, "HTTP")};
    for (int key = 0; key < addresses.size(); ++key)
        loader.load(key, addresses.at(key), QRectF(0, 0, 162, 162), 1.0);
    QTRY_COMPARE(ready.size(), 5);
    for (int key = 0; key < 6; ++key)
        loader.load(key, web, QRectF(0, 0, 162, 162), 1.0);
    loader.reset(); // the four under way report nothing, the others never start
    QTRY_COMPARE(done.size(), 9);
    QVERIFY(!ready.wait(100));
    QCOMPARE(done.size(), 9);
    QCOMPARE(server.requests.size(), 9);
    QCOMPARE(tooMany, 0);
}

QTEST_MAIN(TestFeed)
#include "tst_feed.moc"
