#include "testenvironment.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QLabel>
#include <QLocalSocket>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestMainWindowFrame final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void geometryAndFlags();
    void titleBar();
    void drag_data();
    void drag();
    void releaseEndsDrag();
    void paintsBackgroundPanelAndTransparentCorners();
    void paintsFallbackWithoutBackgroundImage();
    void paintsAtDevicePixelRatio();
    void laterStartsPaintFromThePictureCache();
    void closeButtonClosesAndSavesSettings();
    void channelSurvivesBadPeers_data();
    void channelSurvivesBadPeers();
    void channelPeerThatNeverWritesDoesNotBlockOthers();

private:
    std::unique_ptr<MainWindow> makeWindow(const QString &ipcName = QString());
    static void sendMouse(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
                          Qt::MouseButtons buttons);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestMainWindowFrame::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainWindowFrame::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestMainWindowFrame::cleanup()
{
    m_dir.reset();
}

std::unique_ptr<MainWindow> TestMainWindowFrame::makeWindow(const QString &ipcName)
{
    LauncherEnvironment env = testEnvironment(m_dir->path());
    env.ipcServerName = ipcName;
    auto window = std::make_unique<MainWindow>(env);
    window->move(100, 100);
    window->show();
    return window;
}

void TestMainWindowFrame::sendMouse(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
                                    Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void TestMainWindowFrame::geometryAndFlags()
{
    auto window = makeWindow();
    QCOMPARE(window->size(), QSize(1081, 659));
    QCOMPARE(window->minimumSize(), QSize(1081, 659));
    QCOMPARE(window->maximumSize(), QSize(1081, 659));
    QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(window->testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(window->windowTitle().isEmpty());
}

void TestMainWindowFrame::titleBar()
{
    auto window = makeWindow();
    auto *version = window->findChild<QLabel *>(QStringLiteral("versionLabel"));
    QVERIFY(version);
    QCOMPARE(version->text(), QStringLiteral("ver:1.1.9"));
    QCOMPARE(version->geometry(), QRect(936, 20, 69, 18));
    QCOMPARE(version->alignment(), Qt::AlignRight | Qt::AlignVCenter);

    auto *minimize = window->findChild<QPushButton *>(QStringLiteral("minimizeButton"));
    auto *close = window->findChild<QPushButton *>(QStringLiteral("closeButton"));
    QVERIFY(minimize && close);
    QCOMPARE(minimize->geometry(), QRect(1009, 14, 28, 28));
    QCOMPARE(close->geometry(), QRect(1043, 14, 28, 28));
    QCOMPARE(minimize->text(), QStringLiteral("\u2014"));
    QCOMPARE(close->text(), QStringLiteral("\u2715"));
    QVERIFY(!minimize->accessibleName().isEmpty());
    QVERIFY(!close->accessibleName().isEmpty());

    minimize->click();
    QTRY_VERIFY(window->isMinimized());
}

void TestMainWindowFrame::drag_data()
{
    QTest::addColumn<QString>("startOn");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("moves");
    QTest::newRow("background, left button") << QStringLiteral("centralWidget") << int(Qt::LeftButton) << true;
    QTest::newRow("label, left button") << QStringLiteral("versionLabel") << int(Qt::LeftButton) << true;
    QTest::newRow("button, left button") << QStringLiteral("closeButton") << int(Qt::LeftButton) << false;
    QTest::newRow("background, right button") << QStringLiteral("centralWidget") << int(Qt::RightButton) << false;
}

void TestMainWindowFrame::drag()
{
    QFETCH(QString, startOn);
    QFETCH(int, button);
    QFETCH(bool, moves);

    auto window = makeWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *target = window->findChild<QWidget *>(startOn);
    QVERIFY(target);
    const QPoint before = window->pos();
    const QPoint start = target->mapToGlobal(QPoint(3, 3));
    const auto pressed = Qt::MouseButton(button);

    sendMouse(target, QEvent::MouseButtonPress, start, pressed, pressed);
    sendMouse(window.get(), QEvent::MouseMove, start + QPoint(37, -21), Qt::NoButton, pressed);
    sendMouse(window.get(), QEvent::MouseButtonRelease, start + QPoint(37, -21), pressed, Qt::NoButton);

    QCOMPARE(window->pos(), moves ? before + QPoint(37, -21) : before);
}

void TestMainWindowFrame::releaseEndsDrag()
{
    auto window = makeWindow();
    auto *central = window->findChild<QWidget *>(QStringLiteral("centralWidget"));
    const QPoint start = central->mapToGlobal(QPoint(500, 300));
    sendMouse(central, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    sendMouse(window.get(), QEvent::MouseButtonRelease, start, Qt::RightButton, Qt::LeftButton);
    const QPoint before = window->pos();
    sendMouse(window.get(), QEvent::MouseMove, start + QPoint(50, 50), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(window->pos(), before);
}

namespace {
bool near(QRgb actual, const QColor &expected, int tolerance = 3)
{
    return qAbs(qRed(actual) - expected.red()) <= tolerance && qAbs(qGreen(actual) - expected.green()) <= tolerance
        && qAbs(qBlue(actual) - expected.blue()) <= tolerance && qAbs(qAlpha(actual) - expected.alpha()) <= tolerance;
}

QColor over(const QColor &top, const QColor &bottom)
{
    const double a = top.alphaF();
    return QColor(int(top.red() * a + bottom.red() * (1 - a) + 0.5), int(top.green() * a + bottom.green() * (1 - a) + 0.5),
                  int(top.blue() * a + bottom.blue() * (1 - a) + 0.5), 255);
}
} // namespace

void TestMainWindowFrame::paintsBackgroundPanelAndTransparentCorners()
{
    auto window = makeWindow();
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shot.size(), QSize(1081, 659));

    for (const QPoint corner : {QPoint(0, 0), QPoint(1080, 0), QPoint(0, 658), QPoint(1080, 658)})
        QCOMPARE(qAlpha(shot.pixel(corner)), 0);

    // Away from widgets the window shows the background scaled to cover 1081 x 660 at (0, 0).
    const QImage background = QImage(QStringLiteral(":/images/background.png"))
                                  .scaled(1081, 660, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_ARGB32);
    const QPoint open(700, 230);
    QVERIFY2(near(shot.pixel(open), QColor::fromRgba(background.pixel(open)), 4),
             qPrintable(QColor::fromRgba(shot.pixel(open)).name(QColor::HexArgb)));

    // The sidebar panel darkens what lies under it (body, then the sheen, here near its middle).
    const QPoint inPanel(120, 450);
    const QColor under = QColor::fromRgba(background.pixel(inPanel));
    const QColor body = over(QColor(18, 18, 18, 217), under);
    QVERIFY2(near(shot.pixel(inPanel), body, 6), qPrintable(QColor::fromRgba(shot.pixel(inPanel)).name()));
}

void TestMainWindowFrame::paintsFallbackWithoutBackgroundImage()
{
    Q_CLEANUP_RESOURCE(images);
    auto window = makeWindow();
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    Q_INIT_RESOURCE(images);

    QCOMPARE(qAlpha(shot.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(shot.pixel(1080, 658)), 0);
    // Far from the glow's centre the fill is the plain near-black.
    QVERIFY2(near(shot.pixel(1070, 300), QColor(18, 18, 18)), qPrintable(QColor::fromRgba(shot.pixel(1070, 300)).name()));
    // Towards the lower left the faint yellow glow warms it.
    const QRgb warm = shot.pixel(300, 640);
    QVERIFY(qRed(warm) > 18 && qBlue(warm) <= 20);
    // The panel is drawn over the fill.
    QVERIFY(qGray(shot.pixel(120, 450)) < qGray(shot.pixel(300, 450)));
    // Without the logo the sidebar shows the text mark.
    auto *logo = window->findChild<QLabel *>(QStringLiteral("logoLabel"));
    QCOMPARE(logo->text(), QStringLiteral("VELOR"));
    QCOMPARE(logo->geometry(), QRect(33, 44, 180, 32));
}

// Run once at the normal ratio and once more by ctest with QT_SCALE_FACTOR set:
// the background must be scaled straight to device pixels, not blown up.
void TestMainWindowFrame::paintsAtDevicePixelRatio()
{
    auto window = makeWindow();
    const qreal ratio = window->devicePixelRatioF();
    qInfo("device pixel ratio %g", ratio);
    const QImage shot = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shot.size(), (QSizeF(1081, 659) * ratio).toSize());
    const QSize logical = QSize(2160, 1320).scaled(QSize(1081, 659), Qt::KeepAspectRatioByExpanding);
    const QImage background = QImage(QStringLiteral(":/images/background.png"))
                                  .scaled(logical * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_ARGB32);
    int mismatches = 0;
    for (int x = 700; x < 760; ++x) {
        const QPoint device(int(x * ratio), int(230 * ratio));
        if (!near(shot.pixel(device), QColor::fromRgba(background.pixel(device)), 4))
            ++mismatches;
    }
    QCOMPARE(mismatches, 0);
}

void TestMainWindowFrame::laterStartsPaintFromThePictureCache()
{
    LauncherEnvironment env = testEnvironment(m_dir->path());
    env.pictureCacheFolder = m_dir->filePath(QStringLiteral("cache"));
    const auto shoot = [&env] {
        MainWindow window(env);
        window.show();
        return window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const QImage cold = shoot();
    QDir cache(env.pictureCacheFolder);
    const QStringList entries = cache.entryList(QDir::Files);
    QCOMPARE(entries.size(), 2); // the frame and the logo
    QCOMPARE(shoot(), cold);

    // A damaged entry is made again, never shown.
    for (const QString &entry : entries) {
        QFile file(cache.filePath(entry));
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.resize(file.size() / 2);
    }
    QCOMPARE(shoot(), cold);
    for (const QString &entry : entries)
        QVERIFY(QFileInfo(cache.filePath(entry)).size() > 1000);
}

void TestMainWindowFrame::closeButtonClosesAndSavesSettings()
{
    QSettings(QStringLiteral("VELOR RP"), QStringLiteral("Launcher")).remove(QStringLiteral("ragempPath"));
    {
        auto window = makeWindow();
        window->findChild<QPushButton *>(QStringLiteral("closeButton"))->click();
        QVERIFY(!window->isVisible());
    }
    QVERIFY(QSettings(QStringLiteral("VELOR RP"), QStringLiteral("Launcher")).contains(QStringLiteral("ragempPath")));
}

void TestMainWindowFrame::channelSurvivesBadPeers_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("disconnectMidWrite");
    QTest::newRow("empty, then gone") << QByteArray() << true;
    QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe\xfd\xc0\x80") << false;
    QTest::newRow("not a link") << QByteArray("hello there") << false;
    QTest::newRow("megabytes") << QByteArray(8 << 20, 'x') << false;
    QTest::newRow("gone mid-write") << QByteArray(1 << 20, 'y') << true;
}

void TestMainWindowFrame::channelSurvivesBadPeers()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, disconnectMidWrite);

    const QString name = QStringLiteral("VelorFrameTest-%1").arg(QCoreApplication::applicationPid());
    auto window = makeWindow(name);
    window->hide();

    QLocalSocket peer;
    peer.connectToServer(name);
    QVERIFY(peer.waitForConnected(5000));
    peer.write(message);
    if (disconnectMidWrite) {
        peer.flush();
        peer.abort();
    } else {
        // The window reads one chunk, then drops the connection.
        QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QLocalSocket::UnconnectedState, 10000);
        QTRY_VERIFY(window->isVisible());
    }

    // Still answering: a later peer is served.
    window->hide();
    QLocalSocket next;
    next.connectToServer(name);
    QVERIFY(next.waitForConnected(5000));
    next.write("still there?");
    QTRY_VERIFY(window->isVisible());
}

void TestMainWindowFrame::channelPeerThatNeverWritesDoesNotBlockOthers()
{
    const QString name = QStringLiteral("VelorFrameIdle-%1").arg(QCoreApplication::applicationPid());
    auto window = makeWindow(name);
    QLocalSocket silent;
    silent.connectToServer(name);
    QVERIFY(silent.waitForConnected(5000));

    window->hide();
    QLocalSocket next;
    next.connectToServer(name);
    QVERIFY(next.waitForConnected(5000));
    next.write("anything");
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(silent.state(), QLocalSocket::ConnectedState);
}

QTEST_MAIN(TestMainWindowFrame)
#include "tst_mainwindow_frame.moc"
