// The window as a player meets it: what it shows from the network and from the
// cache, the news row, the settings, a hand-over, and its painting.
#include "app/launcherservices.h"
#include "launch/playflow.h"
#include "testsupport.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"
#include "ui/theme.h"

#include <QtTest>
#include <QtWidgets>
#include <atomic>

namespace {
/// The titles of the cards on show, left to right.
QString titles(const QWidget &window)
{
    QStringList shown;
    for (const NewsCard *card : window.findChildren<NewsCard *>()) {
        if (card->isVisible())
            shown << card->findChild<QLabel *>("newsTitleLabel")->text();
    }
    return shown.join(u',');
}

/// Whether the first card shows the red picture rather than the placeholder's gold.
bool showsPicture(const QWidget &window)
{
    NewsCard *first = window.findChildren<NewsCard *>().at(0);
    return qGreen(first->grab().toImage().pixel(97, 93)) < 60;
}

/// The device pixels where the two frames differ, as one rectangle.
QRect differingArea(const QImage &a, const QImage &b)
{
    QRect area;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

void click(const QWidget &window, const QString &button)
{
    window.findChild<QPushButton *>(button)->click();
}
} // namespace

class TestWindow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startUpAndOffline();
    void chooseTheFolderPlayUses();
    void paintsAndComesBack();
    void answersWhereDrawn();
    void switchesLanguageAtOnce();

private:
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<ModalAnswerer> m_modals;
    LauncherEnvironment m_env;
};

void TestWindow::initTestCase()
{
    Theme::registerFonts();
}

void TestWindow::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<FixtureServer>();
    m_modals = std::make_unique<ModalAnswerer>();
    m_env = testEnvironment(m_scratch->path());
    m_env.apiBase = m_server->url();
    m_env.version = "9.8.7";
    m_server->routes["/servers"] = Route{200, R"([{"online":1294}])", Plain, "Cache-Control: max-age=600\r\n"};
    m_server->routes["/launcher/version"] = Route{200, R"({"version":"1.1.9","download_url":"https://u.test/x"})"};
}

void TestWindow::startUpAndOffline()
{
    m_server->routes["/p.jpg"] = Route{200, readFile(VELOR_TEST_DATA "/red.jpg")};
    // Newest first by date_iso, ties in the answer's order; texts never read as markup.
    m_server->routes["/news"] = Route{200,
        R"([{"title":"<b>t2</b>","date_iso":"2026-12-05","url":"s2"},
        {"title":"t1","date_iso":"2026-12-06","img":")"
            + m_server->url("/p.jpg").toUtf8() + R"("},
        {"title":"t3","date_iso":"2026-12-05","img":")"
            + m_server->url("/servers").toUtf8() + R"("},{"title":"t4","date_iso":"2026-12-01"},
        {"title":"t5","date_iso":"2026-11-01"},{"title":"t6","date_iso":"2026-10-01"}])"};
    // Automatic proxy discovery may take as long as the DNS time-outs; the window goes on meanwhile.
    auto gate = std::make_shared<QSemaphore>();
    auto asked = std::make_shared<std::atomic<bool>>(false);
    auto onGuiThread = std::make_shared<std::atomic<bool>>(false);
    LauncherEnvironment slowProxy = m_env;
    slowProxy.proxyLookup = [gate, asked, onGuiThread](const QNetworkProxyQuery &) {
        *asked = true;
        *onGuiThread = *onGuiThread || QThread::currentThread() == qApp->thread();
        gate->tryAcquire(1, 10000);
        return QList<QNetworkProxy>{QNetworkProxy(QNetworkProxy::NoProxy)};
    };
    writeFile(m_env.crashFolder() + "/crash-20261207-203001-1.txt", "report"); // a crash last time, told of once
    {
        LauncherServices services(slowProxy);
        MainWindow window(slowProxy, services.features());
        window.show();
        QTRY_VERIFY(window.findChild<QDialog *>("crashNoticeDialog"));
        QTRY_VERIFY(*asked);
        QTRY_COMPARE(window.findChild<QLabel *>("onlineLabel")->text(), "1\u00a0294");
        QTRY_COMPARE(titles(window), "t1,<b>t2</b>,t3,t4");
        const NewsCard *second = window.findChildren<NewsCard *>().at(1);
        QCOMPARE(second->findChild<QLabel *>("newsTitleLabel")->textFormat(), Qt::PlainText);
        QCOMPARE(second->link(), "https://site.test/news/s2");
        // The arrows step one card and stop at the ends.
        for (int i = 0; i < 3; ++i)
            click(window, "newsNextButton");
        QCOMPARE(titles(window), "t3,t4,t5,t6");
        click(window, "newsPrevButton");
        QCOMPARE(titles(window), "<b>t2</b>,t3,t4,t5");
        for (int i = 0; i < 3; ++i)
            click(window, "newsPrevButton");
        QCOMPARE(titles(window), "t1,<b>t2</b>,t3,t4");
        QTRY_VERIFY(showsPicture(window));
        QTRY_COMPARE(m_server->requests.count("/servers"), 2);
        gate->release(1000); // the network's end waits for its lookups a bounded time only
    }
    QVERIFY(!*onGuiThread);
    // With the server gone, the news and pictures of the last good answer stand in; the count never
    // does, not even one a picture's address at it left fresh in the cache.
    m_server.reset();
    LauncherServices services(m_env);
    MainWindow window(m_env, services.features());
    window.show();
    QTRY_COMPARE(titles(window), "t1,<b>t2</b>,t3,t4");
    QTRY_VERIFY(showsPicture(window));
    QCOMPARE(window.findChild<QLabel *>("onlineLabel")->text(), "0");
    QVERIFY(m_modals->boxes.isEmpty());
    QVERIFY(!window.findChild<QDialog *>("crashNoticeDialog"));
}

void TestWindow::chooseTheFolderPlayUses()
{
    // Picked where play asks for it, then changed in the settings.
    QString pick = QFileInfo(writeRecorder(m_scratch->filePath("client/updater.exe"))).path();
    const QString changed = QFileInfo(writeRecorder(m_scratch->filePath("other/updater.exe"))).path();
    m_modals->onDialog = [&pick](QDialog *dialog) {
        if (auto *chooser = qobject_cast<QFileDialog *>(dialog)) {
            chooser->setDirectory(pick);
            QMetaObject::invokeMethod(chooser, &QDialog::accept, Qt::QueuedConnection);
        }
    };
    LauncherServices services(m_env);
    MainWindow window(m_env, services.features());
    window.show();
    // Each dialog is shown once however often it is asked for, and goes when it is closed.
    click(window, "playButton");
    click(window, "playButton");
    QCOMPARE(window.findChildren<QDialog *>("clientMissingDialog").size(), 1);
    click(*window.findChild<QDialog *>("clientMissingDialog"), "chooseClientFolderButton");
    QTRY_COMPARE(recorded(pick + "/updater.exe"), "|" + QFileInfo(pick).canonicalFilePath() + "\n");
    QTRY_VERIFY(!window.findChild<QDialog *>("clientMissingDialog"));
    pick = changed;
    click(window, "settingsButton");
    click(window, "settingsButton");
    QCOMPARE(window.findChildren<QDialog *>("settingsDialog").size(), 1);
    auto *settings = window.findChild<QDialog *>("settingsDialog");
    QCOMPARE(settings->windowModality(), Qt::ApplicationModal);
    click(*settings, "changeFolderButton");
    QTRY_COMPARE(settings->findChild<QLabel *>("clientFolderLabel")->text(), QDir::toNativeSeparators(pick));
    settings->reject();
    QTRY_VERIFY(!window.findChild<QDialog *>("settingsDialog"));
    // The window keeps the keyboard on its play button, where Enter plays.
    QCOMPARE(window.focusWidget(), window.findChild<QPushButton *>("playButton"));
    QTest::keyClick(window.focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(recorded(pick + "/updater.exe"), "|" + QFileInfo(pick).canonicalFilePath() + "\n");
}

void TestWindow::paintsAndComesBack()
{
    LauncherServices services(m_env);
    MainWindow window(m_env, services.features());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage frame = window.grab().toImage();
    const qreal ratio = window.devicePixelRatioF();
    for (const QPoint &corner : {QPoint(0, 0), QPoint(1080, 658)})
        QCOMPARE(qAlpha(frame.pixel(corner * ratio)), 0);
    // The background inside the rounded shape, and the dark sidebar panel over it.
    QCOMPARE(qAlpha(frame.pixel(QPoint(600, 20) * ratio)), 255);
    QVERIFY(qGray(frame.pixel(QPoint(120, 400) * ratio)) < 60);
    // Around the moon the window shows the artwork drawn for its pixel ratio, pixel for pixel; a frame
    // drawn at 1x and stretched would show the coarser 1x drawing there.
    const QImage drawn(QString(":/images/drawn/background@%1x.png").arg(ratio));
    const QRect moon(QPoint(850, 60) * ratio, QSize(90, 90) * ratio);
    QCOMPARE(frame.copy(moon), drawn.copy(moon).convertToFormat(frame.format()));
    QCOMPARE(QFontInfo(window.findChild<QLabel *>("greetingLabel")->font()).family(), "Manrope");
    // Tab walks the buttons in reading order, past the title bar's; those without words are named.
    const QStringList chain = {
        "sidebarPlayButton",
        "shopButton",
        "forumButton",
        "supportButton",
        "settingsButton",
        "discordButton",
        "youtubeButton",
        "vkButton",
        "telegramButton",
        "newsPrevButton",
        "newsNextButton",
        "playButton",
    };
    for (const QString &name : chain) {
        QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
        QCOMPARE(window.focusWidget()->objectName(), name);
    }
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
        if (button->text().isEmpty())
            QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
    }
    // A link handed over brings a minimised window back to the front.
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    window.activate(false);
    QTRY_VERIFY(window.isActiveWindow());
    QVERIFY(!window.isMinimized());
}

void TestWindow::answersWhereDrawn()
{
    // On a scaled display the title buttons and the news arrows take a click where the frame shows them.
    LauncherServices services(m_env);
    MainWindow window(m_env, services.features());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWindow *const handle = window.windowHandle();
    const qreal ratio = window.devicePixelRatioF();
    for (const char *name : {"minimizeButton", "closeButton", "newsPrevButton", "newsNextButton"}) {
        auto *button = window.findChild<QPushButton *>(QLatin1String(name));
        const QImage shown = window.grab().toImage();
        button->hide();
        const QRect drawn = differingArea(shown, window.grab().toImage());
        button->show();
        QVERIFY2(drawn.width() > 10 * ratio, name);
        button->disconnect();
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        const QPoint inset(drawn.width() / 4, drawn.height() / 4);
        const QPoint places[] = {
            drawn.center(),
            drawn.topLeft() + inset,
            drawn.bottomRight() - inset,
        };
        for (const QPoint &place : places)
            QTest::mouseClick(handle, Qt::LeftButton, Qt::NoModifier, place / ratio);
        QCOMPARE(clicked.count(), 3);
    }
    // Anywhere else, as over the moon, the window follows the mouse.
    const QPoint start = window.pos();
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, QPoint(895, 105));
    QTest::mouseMove(handle, QPoint(935, 135));
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, QPoint(895, 105)); // the window came along
    QTRY_COMPARE(window.pos(), start + QPoint(40, 30));
}

void TestWindow::switchesLanguageAtOnce()
{
    // The window already open speaks the chosen language, which is kept for the next start.
    LauncherServices services(m_env);
    MainWindow window(m_env, services.features());
    window.show();
    const auto *play = window.findChild<QPushButton *>("playButton");
    const auto *shop = window.findChild<QPushButton *>("shopButton");
    const QString russian = play->text();
    click(window, "settingsButton");
    auto *language = window.findChild<QComboBox *>("languageBox");
    QCOMPARE(language->currentData().toString(), "ru");
    language->setCurrentIndex(language->findData("en"));
    QTRY_VERIFY(play->text() != russian);
    QCOMPARE(shop->text(), "Store");
    QCOMPARE(Language::stored(m_env.settingsLocation), "en");
    language->setCurrentIndex(language->findData("ru"));
    QTRY_COMPARE(play->text(), russian);
    QCOMPARE(shop->text(), "Магазин");
    QCOMPARE(Language::stored(m_env.settingsLocation), "ru");
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
