#include "pagecatcher.h"
#include "fixtureserver.h"
#include "largepng.h"
#include "testenvironment.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QFrame>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using Response = FixtureServer::Response;
using Behaviour = FixtureServer::Behaviour;

Q_DECLARE_METATYPE(FixtureServer::Response)

namespace {
QByteArray encode(const QImage &image, const char *format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return data;
}

QImage picture(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(40, 90, 200));
    painter.fillRect(QRect(QPoint(), size / 2), QColor(220, 180, 20));
    return image;
}

Response body(const QByteArray &bytes, Behaviour behaviour = Behaviour::Normal, int status = 200,
              const QByteArray &type = "application/json")
{
    Response response;
    response.body = bytes;
    response.behaviour = behaviour;
    response.status = status;
    response.contentType = type;
    return response;
}

Response generated(qint64 size)
{
    Response response;
    response.generatedSize = size;
    return response;
}

/// News items newest first as given, titled n0, n1, ...; img paths optional.
QByteArray newsList(int count, const QStringList &images = QStringList())
{
    QJsonArray list;
    for (int i = 0; i < count; ++i) {
        QJsonObject item{{u"title"_s, u"n%1"_s.arg(i)},
                         {u"date_iso"_s, u"2024-%1"_s.arg(99999 - i, 5, 10, QLatin1Char('0'))},
                         {u"url"_s, u"slug%1"_s.arg(i)}};
        if (i < images.size() && !images.at(i).isEmpty())
            item.insert(u"img"_s, images.at(i));
        list.append(item);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

QStringList titles(const QList<NewsCard *> &cards)
{
    QStringList result;
    for (const NewsCard *card : cards)
        result << card->m_titleLabel->text();
    return result;
}
} // namespace

class TestFeedWindow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void onlineCountWidensTheBox();
    void badStatusKeepsTheCount_data();
    void badStatusKeepsTheCount();
    void stalledStatusRecoversOnALaterTick();
    void newsListBecomesCards_data();
    void newsListBecomesCards();
    void badNewsKeepsTheRow_data();
    void badNewsKeepsTheRow();
    void carousel_data();
    void carousel();
    void picturesOverLoopback();
    void latePictureLeavesDeletedCardAlone();
    void picturesWaitingTheirTurnDoNotTimeOut();
    void tenThousandItems();
    void hoverOverTitleLightsTheCard();

private:
    std::unique_ptr<MainWindow> makeWindow(const std::function<void(LauncherEnvironment &)> &adjust = {});
    static QList<NewsCard *> cards(MainWindow *window);
    static QLabel *onlineLabel(MainWindow *window);
    void refetchNews(MainWindow *window);
    bool waitFinished(const QString &path, int count, int timeoutMs = 10000);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FixtureServer> m_server;
    PageCatcher m_pages;
    QStringList m_finished; // paths of the window's replies, as they finish
};

void TestFeedWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qRegisterMetaType<FixtureServer::Response>();
}

void TestFeedWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<FixtureServer>();
    QVERIFY(m_server->start());
    m_finished.clear();
    m_pages.opened.clear();
    QDesktopServices::setUrlHandler(u"https"_s, &m_pages, "open");
}

void TestFeedWindow::cleanup()
{
    QDesktopServices::unsetUrlHandler(u"https"_s);
    m_server.reset();
    m_dir.reset();
}

std::unique_ptr<MainWindow> TestFeedWindow::makeWindow(const std::function<void(LauncherEnvironment &)> &adjust)
{
    LauncherEnvironment env = testEnvironment(m_dir->path());
    env.apiBase = m_server->url();
    env.statusIntervalMs = 60000;
    env.requestTimeoutMs = 5000;
    if (adjust)
        adjust(env);
    auto window = std::make_unique<MainWindow>(env);
    // The window's own manager: the updater keeps another one.
    for (auto *manager : window->findChildren<QNetworkAccessManager *>()) {
        if (manager->parent() == window.get()) {
            connect(manager, &QNetworkAccessManager::finished, this,
                    [this](QNetworkReply *reply) { m_finished.append(reply->url().path()); });
        }
    }
    window->show();
    return window;
}

QList<NewsCard *> TestFeedWindow::cards(MainWindow *window)
{
    return window->findChildren<NewsCard *>(u"newsCard"_s);
}

QLabel *TestFeedWindow::onlineLabel(MainWindow *window)
{
    return window->findChild<QLabel *>(u"onlineLabel"_s);
}

void TestFeedWindow::refetchNews(MainWindow *window)
{
    QMetaObject::invokeMethod(window, "fetchNewsData");
}

bool TestFeedWindow::waitFinished(const QString &path, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_finished.count(path) < count && !deadline.hasExpired())
        QTest::qWait(5);
    // The handlers run in the same emission as the manager's signal; one more
    // pass lets deferred deletions settle.
    QCoreApplication::processEvents();
    return m_finished.count(path) >= count;
}

void TestFeedWindow::onlineCountWidensTheBox()
{
    m_server->setJson(u"/servers"_s, R"([{"online":2147483647},{"online":2147483647},{"online":"9"}])");
    auto window = makeWindow();
    auto *box = window->findChild<QFrame *>(u"onlineBox"_s);
    const QRect before = box->geometry();
    QCOMPARE(onlineLabel(window.get())->text(), u"0"_s);

    QTRY_COMPARE(onlineLabel(window.get())->text(), u"2\u00a0147\u00a0483\u00a0647"_s);
    QCOMPARE(box->x(), 254);
    QCOMPARE(box->y(), 576);
    QCOMPARE(box->height(), 44);
    QVERIFY(box->width() > before.width());
}

void TestFeedWindow::badStatusKeepsTheCount_data()
{
    QTest::addColumn<Response>("answer");
    QTest::newRow("not JSON") << body("<html>502 Bad Gateway</html>");
    QTest::newRow("HTTP 500 with an array") << body(R"([{"online":5}])", Behaviour::Normal, 500);
    QTest::newRow("stalled") << body(R"([{"online":5}])", Behaviour::StallAfterHeaders);
    QTest::newRow("endless body") << generated(qint64(1) << 32);
}

void TestFeedWindow::badStatusKeepsTheCount()
{
    QFETCH(Response, answer);
    m_server->setJson(u"/servers"_s, R"([{"online":1234}])");
    auto window = makeWindow([](LauncherEnvironment &env) {
        env.statusIntervalMs = 50;
        env.requestTimeoutMs = 300;
    });
    QTRY_COMPARE(onlineLabel(window.get())->text(), u"1\u00a0234"_s);

    m_server->setRoute(u"/servers"_s, answer);
    const int done = int(m_finished.count(u"/servers"_s));
    // Two more polls: the second only leaves once the first has been handled.
    QVERIFY(waitFinished(u"/servers"_s, done + 2));
    QCOMPARE(onlineLabel(window.get())->text(), u"1\u00a0234"_s);
}

void TestFeedWindow::stalledStatusRecoversOnALaterTick()
{
    m_server->setRoute(u"/servers"_s, body(R"([{"online":1}])", Behaviour::Stall));
    QList<int> outstandingAtArrival;
    connect(m_server.get(), &FixtureServer::requestReceived, this, [&](const QString &path) {
        if (path == u"/servers"_s)
            outstandingAtArrival << int(m_server->requestCount(path) - 1 - m_finished.count(path));
    });
    auto window = makeWindow([](LauncherEnvironment &env) {
        env.statusIntervalMs = 100;
        env.requestTimeoutMs = 400;
    });
    QTRY_COMPARE(m_server->requestCount(u"/servers"_s), 1);

    m_server->setJson(u"/servers"_s, R"([{"online":12},{"online":30}])");
    QTRY_COMPARE_WITH_TIMEOUT(onlineLabel(window.get())->text(), u"42"_s, 10000);
    // The stalled poll ran out its time-out and failed; no tick sent a second
    // request while it was outstanding.
    QVERIFY(outstandingAtArrival.size() >= 2);
    QCOMPARE(outstandingAtArrival, QList<int>(outstandingAtArrival.size(), 0));
}

void TestFeedWindow::newsListBecomesCards_data()
{
    QTest::addColumn<QByteArray>("answer");
    const QByteArray items = R"([{"title":"May","description":"d-may","date":"15.05.2024","url":"may"},)"
                             R"({"title":"Year first","description":"d-bad","date":"2024-06-01"},)"
                             R"({"title":"June","description":"d-june","date":"01.06.2024","url":"june"},7])";
    QTest::newRow("array") << items;
    QTest::newRow("object with data") << QByteArray(R"({"status":"ok","data":)" + items + "}");
}

void TestFeedWindow::newsListBecomesCards()
{
    QFETCH(QByteArray, answer);
    m_server->setJson(u"/news"_s, answer);
    auto window = makeWindow();
    QTRY_COMPARE(cards(window.get()).size(), 4);

    const QList<NewsCard *> row = cards(window.get());
    QCOMPARE(titles(row), (QStringList{u"June"_s, u"May"_s, u"Year first"_s, QString()}));
    QCOMPARE(row.at(0)->m_descriptionLabel->text(), u"d-june"_s);
    QCOMPARE(row.at(0)->m_dateLabel->text(), u"01.06.2024"_s);
    QCOMPARE(row.at(2)->m_dateLabel->text(), u"2024-06-01"_s);
    QCOMPARE(row.at(0)->m_link, u"https://site.test/news/june"_s);
    QCOMPARE(row.at(1)->m_link, u"https://site.test/news/may"_s);
    QVERIFY(row.at(2)->m_link.isEmpty());
    QVERIFY(row.at(3)->m_link.isEmpty());

    QTest::mouseClick(row.at(1), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QCOMPARE(m_pages.opened, QList<QUrl>{QUrl(u"https://site.test/news/may"_s)});
}

void TestFeedWindow::badNewsKeepsTheRow_data()
{
    QTest::addColumn<Response>("answer");
    QByteArray nested(20000, '[');
    nested += QByteArray(20000, ']');
    QTest::newRow("JSON string") << body(R"("news")");
    QTest::newRow("not JSON") << body("<html>");
    QTest::newRow("empty array") << body("[]");
    QTest::newRow("deeply nested") << body(nested);
    QTest::newRow("HTTP 404 with a list") << body(newsList(2), Behaviour::Normal, 404);
    QTest::newRow("stalled") << body(newsList(2), Behaviour::StallAfterHeaders);
    QTest::newRow("50 MB body") << generated(qint64(50) << 20);
}

void TestFeedWindow::badNewsKeepsTheRow()
{
    QFETCH(Response, answer);
    m_server->setJson(u"/news"_s, newsList(3));
    auto window = makeWindow([](LauncherEnvironment &env) { env.requestTimeoutMs = 300; });
    QTRY_COMPARE(cards(window.get()).size(), 3);
    const QList<NewsCard *> before = cards(window.get());

    m_server->setRoute(u"/news"_s, answer);
    refetchNews(window.get());
    QVERIFY(waitFinished(u"/news"_s, 2));
    QCOMPARE(cards(window.get()), before);
    QCOMPARE(titles(before), (QStringList{u"n0"_s, u"n1"_s, u"n2"_s}));
    for (NewsCard *card : before)
        QVERIFY(card->isVisible());
}

void TestFeedWindow::carousel_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("presses");  // n: next, p: previous
    QTest::addColumn<QList<int>>("leftmost"); // after each press
    QTest::newRow("no cards") << 0 << u"np"_s << QList<int>{0, 0};
    QTest::newRow("3 cards") << 3 << u"npn"_s << QList<int>{0, 0, 0};
    QTest::newRow("4 cards") << 4 << u"nnpp"_s << QList<int>{0, 0, 0, 0};
    QTest::newRow("6 cards") << 6 << u"nnnppppn"_s << QList<int>{1, 2, 2, 1, 0, 0, 0, 1};
}

void TestFeedWindow::carousel()
{
    QFETCH(int, count);
    QFETCH(QString, presses);
    QFETCH(QList<int>, leftmost);
    m_server->setJson(u"/news"_s, newsList(count));
    auto window = makeWindow();
    QVERIFY(waitFinished(u"/news"_s, 1));
    const QList<NewsCard *> row = cards(window.get());
    QCOMPARE(row.size(), count);
    auto *prev = window->findChild<QPushButton *>(u"newsPrevButton"_s);
    auto *next = window->findChild<QPushButton *>(u"newsNextButton"_s);

    for (int press = 0; press < presses.size(); ++press) {
        QTest::mouseClick(presses.at(press) == u'n' ? next : prev, Qt::LeftButton);
        const int first = leftmost.at(press);
        for (int i = 0; i < count; ++i) {
            const int slot = i - first;
            const bool shown = slot >= 0 && slot < 4;
            QVERIFY2(row.at(i)->isVisible() == shown, qPrintable(u"press %1, card %2"_s.arg(press).arg(i)));
            if (shown)
                QCOMPARE(row.at(i)->geometry(), QRect(247 + 204 * slot, 278, 195, 256));
        }
    }
}

void TestFeedWindow::picturesOverLoopback()
{
    const QByteArray png = encode(picture(QSize(320, 180)), "png");
    const QByteArray jpeg = encode(picture(QSize(1920, 1080)), "jpeg");
    struct Case
    {
        QString path;
        Response response;
        bool pictured;
    };
    const QList<Case> cases{
        {u"/img/good.png"_s, body(png, Behaviour::Normal, 200, "image/png"), true},
        {u"/img/good.jpg"_s, body(jpeg, Behaviour::Normal, 200, "image/jpeg"), true},
        {u"/img/big.png"_s, body(largePng(10000, 10000, qRgb(10, 200, 10)), Behaviour::Normal, 200, "image/png"), true},
        {u"/img/moved"_s, Response(), true},
        {u"/img/missing.png"_s, body(png, Behaviour::Normal, 404, "image/png"), false},
        {u"/img/empty.png"_s, body(QByteArray(), Behaviour::Normal, 200, "image/png"), false},
        {u"/img/page.png"_s, body("<html>not here</html>", Behaviour::Normal, 200, "text/html"), false},
        {u"/img/cut.png"_s, body(png.left(png.size() / 2), Behaviour::Normal, 200, "image/png"), false},
        // A JPEG cut short still decodes; only the missing bytes tell.
        {u"/img/short.jpg"_s, body(jpeg, Behaviour::ShortBody, 200, "image/jpeg"), false},
        {u"/img/stalled.jpg"_s, body(jpeg, Behaviour::StallAfterHeaders, 200, "image/jpeg"), false},
        {u"/img/endless.jpg"_s, generated(qint64(40) << 20), false},
        {QString(), Response(), false},
    };
    QStringList images;
    for (const Case &entry : cases) {
        images << (entry.path.isEmpty() ? QString() : m_server->url(entry.path));
        if (!entry.path.isEmpty())
            m_server->setRoute(entry.path, entry.response);
    }
    m_server->setRedirect(u"/img/moved"_s, m_server->url(u"/img/good.png"_s));
    m_server->setJson(u"/news"_s, newsList(int(cases.size()), images));

    auto window = makeWindow([](LauncherEnvironment &env) { env.requestTimeoutMs = 500; });
    QTRY_COMPARE(cards(window.get()).size(), cases.size());
    const QList<NewsCard *> row = cards(window.get());
    const auto pictureReplies = [this] {
        return std::count_if(m_finished.cbegin(), m_finished.cend(),
                             [](const QString &path) { return path.startsWith(u"/img/"_s); });
    };
    QTRY_COMPARE_WITH_TIMEOUT(pictureReplies(), cases.size() - 1, 20000);
    QCoreApplication::processEvents();

    for (int i = 0; i < cases.size(); ++i) {
        const QPixmap &image = row.at(i)->m_image;
        QVERIFY2(image.isNull() != cases.at(i).pictured, qPrintable(cases.at(i).path));
        // Only the part the picture area shows is kept, at the card's pixel ratio.
        if (!image.isNull()) {
            QCOMPARE(image.devicePixelRatio(), row.at(i)->devicePixelRatioF());
            QVERIFY(image.width() <= qCeil(163 * image.devicePixelRatio()));
            QVERIFY(image.height() <= qCeil(162 * image.devicePixelRatio()));
        }
    }
}

void TestFeedWindow::latePictureLeavesDeletedCardAlone()
{
    Response slow = body(encode(picture(QSize(640, 360)), "jpeg"), Behaviour::Drip, 200, "image/jpeg");
    slow.dripChunk = 512;
    slow.dripIntervalMs = 30;
    m_server->setRoute(u"/img/slow.jpg"_s, slow);
    m_server->setJson(u"/news"_s, newsList(2, {m_server->url(u"/img/slow.jpg"_s)}));
    auto window = makeWindow();
    QTRY_COMPARE(cards(window.get()).size(), 2);
    QPointer<NewsCard> old = cards(window.get()).constFirst();
    QTRY_COMPARE(m_server->requestCount(u"/img/slow.jpg"_s), 1);

    m_server->setJson(u"/news"_s, newsList(5));
    refetchNews(window.get());
    QTRY_VERIFY(old.isNull());
    QVERIFY2(!m_finished.contains(u"/img/slow.jpg"_s), "the picture must still be on its way");
    QVERIFY(waitFinished(u"/img/slow.jpg"_s, 1));
    const QList<NewsCard *> row = cards(window.get());
    QCOMPARE(row.size(), 5);
    for (NewsCard *card : row)
        QVERIFY(card->m_image.isNull());
}

// Each picture trickles in for longer than the silence time-out but is never
// silent that long. Twelve at once would leave six waiting in the network
// manager's queue, where the time-out runs before their first byte.
void TestFeedWindow::picturesWaitingTheirTurnDoNotTimeOut()
{
    Response slow = body(encode(picture(QSize(64, 36)), "png"), Behaviour::Drip, 200, "image/png");
    slow.dripChunk = qMax(1, int(slow.body.size() / 8));
    slow.dripIntervalMs = 60;
    QStringList images;
    for (int i = 0; i < 12; ++i) {
        m_server->setRoute(u"/img/%1.png"_s.arg(i), slow);
        images << m_server->url(u"/img/%1.png"_s.arg(i));
    }
    m_server->setJson(u"/news"_s, newsList(12, images));
    auto window = makeWindow([](LauncherEnvironment &env) { env.requestTimeoutMs = 400; });
    QTRY_COMPARE(cards(window.get()).size(), 12);
    const QList<NewsCard *> row = cards(window.get());
    QTRY_COMPARE_WITH_TIMEOUT(
        std::count_if(row.cbegin(), row.cend(), [](const NewsCard *card) { return !card->m_image.isNull(); }), 12, 20000);
}

void TestFeedWindow::tenThousandItems()
{
    QJsonArray list;
    for (int i = 0; i < 10000; ++i) {
        list.append(QJsonObject{{u"title"_s, i == 9500 ? QString(10000, u'Ж') : u"n%1"_s.arg(i)},
                                {u"date"_s, QDate(2000, 1, 1).addDays(i).toString(u"dd.MM.yyyy"_s)}});
    }
    m_server->setJson(u"/news"_s, QJsonDocument(list).toJson(QJsonDocument::Compact));
    auto window = makeWindow();
    QVERIFY(waitFinished(u"/news"_s, 1, 60000));
    const QList<NewsCard *> row = cards(window.get());
    // The newest thousand make the row.
    QCOMPARE(row.size(), 1000);
    QCOMPARE(row.constFirst()->m_titleLabel->text(), u"n9999"_s);
    QCOMPARE(row.at(499)->m_titleLabel->text(), QString(10000, u'Ж'));
    QCOMPARE(row.constLast()->m_titleLabel->text(), u"n9000"_s);
}

void TestFeedWindow::hoverOverTitleLightsTheCard()
{
    m_server->setJson(u"/news"_s, newsList(4));
    auto window = makeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTRY_COMPARE(cards(window.get()).size(), 4);
    NewsCard *card = cards(window.get()).at(1);
    const QRgb idle = card->grab().toImage().pixel(5, 128);

    const QPoint overTitle = card->m_titleLabel->mapTo(window.get(), QPoint(20, 10));
    QTest::mouseMove(window.get(), overTitle);
    QTRY_COMPARE(QColor(card->grab().toImage().pixel(5, 128)), QColor(28, 28, 28));
    QTest::mouseMove(window.get(), QPoint(600, 150));
    QTRY_COMPARE(card->grab().toImage().pixel(5, 128), idle);
}

QTEST_MAIN(TestFeedWindow)
#include "tst_feedwindow.moc"
