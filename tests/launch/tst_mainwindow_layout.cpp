#include "pagecatcher.h"
#include "testenvironment.h"
#include "ui/mainwindow.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestMainWindowLayout final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void geometry_data();
    void geometry();
    void onlineBoxGrowsToTheRight();
    void imageFallbacks_data();
    void imageFallbacks();
    void iconButtonsHaveAccessibleNames();
    void linkButtonsOpenTheirPages_data();
    void linkButtonsOpenTheirPages();
    void settingsButtonDoesNothing();
    void playButtonsAreDrawnYellow();

private:
    std::unique_ptr<MainWindow> makeWindow();
    template<typename T>
    T *child(MainWindow *window, const QString &name);

    std::unique_ptr<QTemporaryDir> m_dir;
    PageCatcher m_pages;
    // Checks that only look share one window: building one takes a while under the sanitizers.
    std::unique_ptr<QTemporaryDir> m_sharedDir;
    std::unique_ptr<MainWindow> m_shared;
};

void TestMainWindowLayout::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_sharedDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_sharedDir->isValid());
    m_shared = std::make_unique<MainWindow>(testEnvironment(m_sharedDir->path()));
    m_shared->show();
}

void TestMainWindowLayout::cleanupTestCase()
{
    m_shared.reset();
    m_sharedDir.reset();
}

void TestMainWindowLayout::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_pages.opened.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_pages, "open");
}

void TestMainWindowLayout::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    m_dir.reset();
}

std::unique_ptr<MainWindow> TestMainWindowLayout::makeWindow()
{
    auto window = std::make_unique<MainWindow>(testEnvironment(m_dir->path()));
    window->show();
    return window;
}

template<typename T>
T *TestMainWindowLayout::child(MainWindow *window, const QString &name)
{
    const QList<T *> found = window->findChildren<T *>(name);
    return found.size() == 1 ? found.first() : nullptr;
}

void TestMainWindowLayout::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    const auto row = [](const char *name, const QRect &rect) {
        QTest::newRow(name) << QString::fromLatin1(name) << rect;
    };
    // The bundle's 4096 x 1220 logo scaled to 32 px high is 107 px wide, centred over x 33..213.
    row("logoLabel", QRect(69, 44, 107, 32));
    row("sidebarSeparator", QRect(33, 92, 180, 1));
    row("sidebarPlayButton", QRect(33, 118, 180, 40));
    row("shopButton", QRect(33, 183, 180, 40));
    row("forumButton", QRect(33, 229, 180, 40));
    row("supportButton", QRect(33, 275, 180, 40));
    row("settingsButton", QRect(33, 568, 180, 40));
    row("discordButton", QRect(82, 620, 16, 16));
    row("youtubeButton", QRect(105, 620, 16, 16));
    row("vkButton", QRect(128, 620, 16, 16));
    row("telegramButton", QRect(151, 620, 16, 16));
    row("greetingLabel", QRect(247, 69, 780, 64));
    row("greetingSecondLabel", QRect(247, 133, 780, 64));
    row("newsHeadingLabel", QRect(247, 240, 300, 26));
    row("newsPrevButton", QRect(998, 240, 26, 26));
    row("newsNextButton", QRect(1028, 240, 26, 26));
    row("playButton", QRect(896, 576, 158, 44));
}

void TestMainWindowLayout::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QWidget *widget = child<QWidget>(m_shared.get(), name);
    QVERIFY2(widget, "exactly one widget of that name");
    QCOMPARE(widget->geometry(), rect);
    QCOMPARE(widget->parentWidget(), m_shared->centralWidget());
    QVERIFY(widget->isVisible());
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
}

void TestMainWindowLayout::onlineBoxGrowsToTheRight()
{
    auto window = makeWindow();
    auto *box = child<QFrame>(window.get(), QStringLiteral("onlineBox"));
    auto *value = child<QLabel>(window.get(), QStringLiteral("onlineLabel"));
    auto *caption = child<QLabel>(window.get(), QStringLiteral("onlineCaptionLabel"));
    QVERIFY(box && value && caption);
    QCOMPARE(box->parentWidget(), window->centralWidget());
    QCOMPARE(value->parentWidget(), box);
    QCOMPARE(value->text(), QStringLiteral("0"));
    QCOMPARE(caption->text(), QStringLiteral("Игроков онлайн"));
    QCOMPARE(box->pos(), QPoint(254, 576));
    QCOMPARE(box->height(), 44);
    // The caption and the number fit side by side, in that order.
    QVERIFY(caption->geometry().right() < value->geometry().left());
    QVERIFY(value->geometry().right() < box->width());

    const int narrow = box->width();
    value->setText(QStringLiteral("1234567890"));
    box->adjustSize();
    QCOMPARE(box->pos(), QPoint(254, 576));
    QCOMPARE(box->height(), 44);
    QVERIFY(box->width() > narrow);
    QVERIFY(value->geometry().right() < box->width());
}

void TestMainWindowLayout::imageFallbacks_data()
{
    QTest::addColumn<bool>("images");
    QTest::newRow("with the image bundle") << true;
    QTest::newRow("without the image bundle") << false;
}

void TestMainWindowLayout::imageFallbacks()
{
    QFETCH(bool, images);
    if (!images)
        Q_CLEANUP_RESOURCE(images);
    auto window = makeWindow();
    if (!images)
        Q_INIT_RESOURCE(images);

    auto *logo = child<QLabel>(window.get(), QStringLiteral("logoLabel"));
    QVERIFY(logo);
    QCOMPARE(logo->pixmap().isNull(), !images);
    QCOMPARE(logo->text(), images ? QString() : QStringLiteral("VELOR"));
    QCOMPARE(logo->geometry(), images ? QRect(69, 44, 107, 32) : QRect(33, 44, 180, 32));

    struct Expected
    {
        const char *name;
        QString withImage;
        QString withoutImage;
    };
    const Expected buttons[] = {
        {"sidebarPlayButton", QStringLiteral("Играть"), QStringLiteral("\u25B6  Играть")},
        {"playButton", QStringLiteral("Начать играть"), QStringLiteral("\u25B6  Начать играть")},
        {"newsPrevButton", QString(), QStringLiteral("\u2039")},
        {"newsNextButton", QString(), QStringLiteral("\u203A")},
        {"shopButton", QStringLiteral("Магазин"), QStringLiteral("Магазин")},
        {"forumButton", QStringLiteral("Форум"), QStringLiteral("Форум")},
        {"supportButton", QStringLiteral("Поддержка"), QStringLiteral("Поддержка")},
        {"settingsButton", QStringLiteral("Настройки"), QStringLiteral("Настройки")},
        {"discordButton", QString(), QString()},
        {"youtubeButton", QString(), QString()},
        {"vkButton", QString(), QString()},
        {"telegramButton", QString(), QString()},
    };
    for (const Expected &expected : buttons) {
        auto *button = child<QPushButton>(window.get(), QString::fromLatin1(expected.name));
        QVERIFY2(button, expected.name);
        QCOMPARE(button->text(), images ? expected.withImage : expected.withoutImage);
        QVERIFY2(button->icon().isNull() != images, expected.name);
        // A missing picture never moves or hides a button.
        QVERIFY2(button->isVisible(), expected.name);
    }
    if (images) {
        QCOMPARE(child<QPushButton>(window.get(), QStringLiteral("playButton"))->iconSize(), QSize(10, 10));
        QCOMPARE(child<QPushButton>(window.get(), QStringLiteral("shopButton"))->iconSize(), QSize(12, 12));
        QCOMPARE(child<QPushButton>(window.get(), QStringLiteral("vkButton"))->iconSize(), QSize(13, 13));
        QCOMPARE(child<QPushButton>(window.get(), QStringLiteral("newsNextButton"))->iconSize(), QSize(7, 7));
    }
}

void TestMainWindowLayout::iconButtonsHaveAccessibleNames()
{
    auto window = makeWindow();
    QStringList names;
    for (const char *name : {"discordButton", "youtubeButton", "vkButton", "telegramButton", "newsPrevButton",
                             "newsNextButton"}) {
        auto *button = child<QPushButton>(window.get(), QString::fromLatin1(name));
        QVERIFY2(button, name);
        QVERIFY2(!button->accessibleName().isEmpty(), name);
        names << button->accessibleName();
    }
    names.removeDuplicates();
    QCOMPARE(names.size(), 6);
}

void TestMainWindowLayout::linkButtonsOpenTheirPages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QUrl>("page");
    // testEnvironment()'s addresses.
    QTest::newRow("shop") << QStringLiteral("shopButton") << QUrl(QStringLiteral("https://site.test/donate"));
    QTest::newRow("forum") << QStringLiteral("forumButton") << QUrl(QStringLiteral("https://forum.site.test"));
    QTest::newRow("support") << QStringLiteral("supportButton")
                             << QUrl(QStringLiteral("https://support.site.test/invite"));
    QTest::newRow("discord") << QStringLiteral("discordButton") << QUrl(QStringLiteral("https://discord.test/velor"));
    QTest::newRow("youtube") << QStringLiteral("youtubeButton") << QUrl(QStringLiteral("https://youtube.test/velor"));
    QTest::newRow("vk") << QStringLiteral("vkButton") << QUrl(QStringLiteral("https://vk.test/velor"));
    QTest::newRow("telegram") << QStringLiteral("telegramButton")
                              << QUrl(QStringLiteral("https://telegram.test/velor"));
}

void TestMainWindowLayout::linkButtonsOpenTheirPages()
{
    QFETCH(QString, name);
    QFETCH(QUrl, page);
    auto *button = child<QPushButton>(m_shared.get(), name);
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(m_pages.opened, QList<QUrl>{page});
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(m_pages.opened, (QList<QUrl>{page, page}));
}

void TestMainWindowLayout::settingsButtonDoesNothing()
{
    auto window = makeWindow();
    const QImage before = window->grab().toImage();
    auto *settings = child<QPushButton>(window.get(), QStringLiteral("settingsButton"));
    QVERIFY(settings);
    settings->click();
    QVERIFY(m_pages.opened.isEmpty());
    QVERIFY(window->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(window->grab().toImage(), before);
}

void TestMainWindowLayout::playButtonsAreDrawnYellow()
{
    auto window = makeWindow();
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    // Left of the centred caption of the large button, and right of the sidebar button's caption.
    for (const QPoint point : {QPoint(903, 598), QPoint(200, 138)}) {
        const QColor colour = QColor::fromRgb(shot.pixel(point));
        QVERIFY2(qAbs(colour.red() - 255) <= 3 && qAbs(colour.green() - 204) <= 3 && colour.blue() <= 3,
                 qPrintable(colour.name()));
    }
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindow_layout.moc"
