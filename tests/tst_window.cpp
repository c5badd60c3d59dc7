// The window, and the feed behind it: the online count, the news and their pictures.
#include "feed/newspicture.h"
#include "feed/newspictureloader.h"
#include "testsupport.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"

#include <QNetworkProxyFactory>
#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

namespace {
/// The requests' paths in the order they go out: Qt asks for a proxy for each (but not
/// for loopback hosts), whereas the server sees connections in any order.
struct SendOrder final : QNetworkProxyFactory
{
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QMutexLocker lock(&mutex);
        paths << query.url().path();
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    }
    QMutex mutex;
    QStringList paths;
};

QString statusOf(QDialog *dialog)
{
    return dialog->findChild<QLabel *>(u"progressStatusLabel"_s)->text() + u'|'
        + QString::number(dialog->findChild<QProgressBar *>(u"progressBar"_s)->value());
}
} // namespace

class TestWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startUp();
    void update_data();
    void update();
    void paints();
    void pictureKinds_data();
    void pictureKinds();
    void pictureAddressesAndTurns();

private:
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<ModalAnswerer> m_modals;
    LauncherEnvironment m_env;
    QStringList m_shown; ///< dialogs as they were shown, with their status
};

void TestWindow::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<FixtureServer>();
    m_modals = std::make_unique<ModalAnswerer>();
    m_env = testEnvironment(m_scratch->path());
    m_env.apiBase = m_server->url();
    m_shown.clear();
}

void TestWindow::startUp()
{
    m_env.statusIntervalMs = 20;
    // 0.0.0.0 reaches the server on 127.0.0.1 but is not loopback to Qt.
    m_env.apiBase = m_server->url().replace(u"127.0.0.1"_s, u"0.0.0.0"_s);
    m_server->routes[u"/servers"_s] = Route(200, R"([{"online":1294}])");
    m_server->routes[u"/news"_s] = Route(200, R"([{"title":"<b>t1</b>","url":"s1"}])");
    m_server->routes[u"/launcher/version"_s] = Route(200, R"({"version":"1.1.9","download_url":"https://u.test/x"})");
    auto *order = new SendOrder;
    QNetworkProxyFactory::setApplicationProxyFactory(order);
    MainWindow window(m_env);
    window.show();
    QTRY_COMPARE(window.findChild<QLabel *>(u"onlineLabel"_s)->text(), u"1\u00a0294"_s);
    QTRY_COMPARE(window.findChildren<NewsCard *>().size(), 1);
    // News texts are shown as they are, never as markup of the server's choosing.
    QCOMPARE(window.findChild<NewsCard *>()->m_titleLabel->textFormat(), Qt::PlainText);
    QTRY_VERIFY(m_server->requests.count(u"/servers"_s) >= 3);
    order->mutex.lock();
    const QStringList sent = order->paths;
    order->mutex.unlock();
    QNetworkProxyFactory::setApplicationProxyFactory(nullptr); // deletes it
    QCOMPARE(sent.mid(0, 3), (QStringList{u"/servers"_s, u"/news"_s, u"/launcher/version"_s}));
    QCOMPARE(sent.count(u"/launcher/version"_s) + sent.count(u"/news"_s), 2);
    QVERIFY(m_modals->boxes.isEmpty());
}

void TestWindow::update_data()
{
    QTest::addColumn<bool>("tempWritable");
    QTest::addColumn<QString>("last"); // after the dialog: the state it was left in, or the box
    QTest::newRow("installed, the dialog hidden with Escape on the way") << true << u"Установка обновления...|100"_s;
    QTest::newRow("refused on the spot: nowhere to save it")
        << false << u"Ошибка обновления|Не удалось скачать обновление:\nНе удалось сохранить файл обновления"_s;
}

void TestWindow::update()
{
    QFETCH(bool, tempWritable);
    QFETCH(QString, last);
    writeRecorder(m_scratch->filePath(u"stage/setup.exe"_s));
    m_server->routes[u"/u.zip"_s] = Route(200, zipOf(m_scratch->filePath(u"stage"_s)));
    m_server->routes[u"/launcher/version"_s]
        = Route(200, R"({"version":"1.2.0","download_url":")" + m_server->url(u"/u.zip"_s).toUtf8() + "\"}");
    if (!tempWritable)
        m_env.tempFolder = writeFile(m_scratch->filePath(u"file"_s), "x");
    m_env.quitApplication = [this] { // the installer has started: the launcher would be gone now
        for (QWidget *widget : QApplication::allWidgets()) {
            if (widget->objectName() == u"updateProgressDialog"_s && widget->close())
                m_shown << statusOf(static_cast<QDialog *>(widget));
        }
    };
    m_modals->onDialog = [this](QDialog *dialog) {
        if (auto *heading = dialog->findChild<QLabel *>(u"progressHeadingLabel"_s)) {
            m_shown << heading->text() + u'|' + statusOf(dialog);
            QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
        } else {
            m_shown << m_modals->boxes.constLast();
        }
    };
    MainWindow window(m_env);
    window.show();
    QTRY_COMPARE(m_shown.size(), 2); // the box, if any, comes after the dialog, never before
    QCOMPARE(m_shown, (QStringList{u"Обновление лаунчера|Скачивание обновления...|0"_s, last}));
    if (tempWritable)
        QTRY_VERIFY(!recorded(m_env.tempFolder + u"/VelorLauncher_Update/setup.exe"_s).isEmpty());
}

void TestWindow::paints()
{
    MainWindow window(m_env);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage frame = window.grab().toImage();
    const qreal ratio = window.devicePixelRatioF();
    QCOMPARE(frame.size(), QSize(1081, 659) * ratio);
    for (const QPoint &corner : {QPoint(0, 0), QPoint(1080, 658)})
        QCOMPARE(qAlpha(frame.pixel(corner * ratio)), 0);
    // The background inside the rounded shape, and the dark sidebar panel over it.
    QCOMPARE(qAlpha(frame.pixel(QPoint(600, 20) * ratio)), 255);
    QVERIFY(qGray(frame.pixel(QPoint(120, 400) * ratio)) < 60);
}

void TestWindow::pictureKinds_data()
{
    // One picture of each kind, named "<kind>=<its colour>"; no colour: refused.
    QTest::addColumn<QString>("file");
    QTest::addColumn<QColor>("colour");
    for (const QFileInfo &file : QDir(QStringLiteral(VELOR_TEST_DATA "/pictures")).entryInfoList(QDir::Files)) {
        const QStringList name = file.completeBaseName().split(u'=');
        QTest::newRow(qPrintable(name.at(0)))
            << file.filePath() << (name.at(1).isEmpty() ? QColor() : QColor(u'#' + name.at(1)));
    }
}

void TestWindow::pictureKinds()
{
    QFETCH(QString, file);
    QFETCH(QColor, colour);
    const QImage picture = NewsPicture::prepare(readFile(file), 1.0);
    QCOMPARE(picture.isNull(), !colour.isValid());
    if (picture.isNull())
        return;
    QCOMPARE(picture.size(), QSize(163, 162)); // what the card's picture area shows
    for (const QPoint &at : {QPoint(0, 0), QPoint(80, 80), QPoint(162, 161)}) {
        const QColor drawn = picture.pixelColor(at);
        QVERIFY2(qAbs(drawn.red() - colour.red()) + qAbs(drawn.green() - colour.green())
                    + qAbs(drawn.blue() - colour.blue()) + qAbs(drawn.alpha() - colour.alpha())
                <= 6,
            qPrintable(drawn.name(QColor::HexArgb)));
    }
}

void TestWindow::pictureAddressesAndTurns()
{
    FixtureServer server;
    server.routes[u"/p.jpg"_s] = Route(200, readFile(QStringLiteral(VELOR_TEST_DATA "/red.jpg")), Fault::Drip);
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

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
