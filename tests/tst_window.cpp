#include "testsupport.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMutex>
#include <QNetworkProxyFactory>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
/// The paths of the requests in the order the launcher sends them: Qt asks
/// for a proxy as each goes out, whereas the server sees separate connections
/// in whatever order they arrive. Qt does not ask for loopback hosts.
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
    void playThroughTheDialogs();
    void paints();

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
    QByteArray news = "[";
    for (int i = 0; i < 6; ++i)
        news += R"({"title":"t)" + QByteArray::number(i) + R"(","url":"s)" + QByteArray::number(i)
            + R"(","date_iso":"2024-0)" + QByteArray::number(9 - i) + R"("},)";
    m_server->routes[u"/news"_s] = Route(200, news.chopped(1) + "]");
    m_server->routes[u"/servers"_s] = Route(200, R"([{"online":1294}])");
    m_server->routes[u"/launcher/version"_s]
        = Route(200, R"({"version":"1.1.9","download_url":"https://u.test/u.zip"})");
    auto *order = new SendOrder;
    QNetworkProxyFactory::setApplicationProxyFactory(order);
    MainWindow window(m_env);
    window.show();
    auto *online = window.findChild<QLabel *>(u"onlineLabel"_s);
    const int boxWidth = online->parentWidget()->width();
    QTRY_COMPARE(online->text(), u"1\u00a0294"_s);
    QVERIFY(online->parentWidget()->width() > boxWidth);

    QTRY_COMPARE(window.findChildren<NewsCard *>().size(), 6);
    const auto visible = [&window] {
        QStringList titles;
        for (NewsCard *card : window.findChildren<NewsCard *>()) {
            if (card->isVisible())
                titles << card->m_titleLabel->text() + u'@' + QString::number(card->x());
        }
        titles.sort();
        return titles;
    };
    QCOMPARE(visible(), (QStringList {u"t0@247"_s, u"t1@451"_s, u"t2@655"_s, u"t3@859"_s}));
    for (int i = 0; i < 3; ++i)
        window.findChild<QPushButton *>(u"newsNextButton"_s)->click();
    QCOMPARE(visible(), (QStringList {u"t2@247"_s, u"t3@451"_s, u"t4@655"_s, u"t5@859"_s}));
    window.findChild<QPushButton *>(u"newsPrevButton"_s)->click();
    QCOMPARE(visible().constFirst(), u"t1@247"_s);
    QCOMPARE(window.findChildren<NewsCard *>().constFirst()->m_link, u"https://site.test/news/s0"_s);

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
    QTest::addColumn<Route>("archive");
    QTest::addColumn<bool>("escape");
    QTest::addColumn<bool>("tempWritable");
    QTest::addColumn<QStringList>("boxes");
    const QString failed = u"Ошибка обновления|Не удалось скачать обновление:\n"_s;
    QTest::newRow("installed") << Route() << false << true << QStringList();
    QTest::newRow("installed, the dialog hidden with Escape") << Route() << true << true << QStringList();
    QTest::newRow("not found") << Route(404, "<html>") << false << true
                               << QStringList {failed + u"Error transferring %1 - server replied: Status"_s};
    QTest::newRow("cannot be saved") << Route() << false << false
                                     << QStringList {failed + u"Не удалось сохранить файл обновления"_s};
}

void TestWindow::update()
{
    QFETCH(Route, archive);
    QFETCH(bool, escape);
    QFETCH(bool, tempWritable);
    QFETCH(QStringList, boxes);
    const QString log = m_scratch->filePath(u"installer.log"_s);
    if (archive.body.isEmpty()) {
        writeRecorder(m_scratch->filePath(u"stage/setup.exe"_s), log);
        archive.body = zipOf(m_scratch->filePath(u"stage"_s));
    }
    m_server->routes[u"/u.zip"_s] = archive;
    m_server->routes[u"/launcher/version"_s]
        = Route(200, R"({"version":"1.2.0","download_url":")" + m_server->url(u"/u.zip"_s).toUtf8() + "\"}");
    if (!tempWritable)
        m_env.tempFolder = writeFile(m_scratch->filePath(u"file"_s), "x");
    bool quit = false;
    m_env.quitApplication = [this, &quit] {
        quit = true;
        // The installer has started; the launcher would be gone now.
        for (QWidget *widget : QApplication::allWidgets()) {
            if (widget->objectName() == u"updateProgressDialog"_s) {
                m_shown << statusOf(static_cast<QDialog *>(widget));
                widget->close();
            }
        }
    };
    m_modals->onDialog = [this, escape](QDialog *dialog) {
        if (dialog->objectName() != u"updateProgressDialog"_s)
            return;
        m_shown << dialog->findChild<QLabel *>(u"progressHeadingLabel"_s)->text() + u'|' + statusOf(dialog);
        if (escape)
            QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
    };
    MainWindow window(m_env);
    window.show();
    QTRY_VERIFY(quit || !m_modals->boxes.isEmpty());
    QCOMPARE(m_modals->boxes.join(u'/'), boxes.join(u'/').replace(u"%1"_s, m_server->url(u"/u.zip"_s)));
    QCOMPARE(m_shown.value(0), u"Обновление лаунчера|Скачивание обновления...|0"_s);
    QCOMPARE(quit, boxes.isEmpty());
    if (quit) {
        QCOMPARE(m_shown.value(1), u"Установка обновления...|100"_s);
        QTRY_VERIFY(!readFile(log).isEmpty());
    }
}

void TestWindow::playThroughTheDialogs()
{
    const QByteArray installer = "#!/bin/sh\necho started > \"$0.log\"\n";
    m_server->routes[u"/setup.exe"_s] = Route(200, installer, Fault::Held);
    m_env.clientInstallerUrl = m_server->url(u"/setup.exe"_s);
    m_env.downloadStallTimeoutMs = 30000;
    m_modals->onDialog = [this](QDialog *dialog) {
        m_shown << dialog->objectName();
        if (dialog->objectName() == u"clientMissingDialog"_s)
            QMetaObject::invokeMethod(
                dialog->findChild<QPushButton *>(u"downloadClientButton"_s), "click", Qt::QueuedConnection);
        else if (m_shown.count(dialog->objectName()) == 1 && dialog->objectName() == u"installerProgressDialog"_s)
            QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog, Qt::Key_Escape); });
    };
    MainWindow window(m_env);
    window.show();
    auto *play = window.findChild<QPushButton *>(u"playButton"_s);
    play->click(); // returns once Escape has hidden the download
    play->click(); // brings the download back, and nothing else
    QCOMPARE(
        m_shown, (QStringList {u"clientMissingDialog"_s, u"installerProgressDialog"_s, u"installerProgressDialog"_s}));
    QTRY_VERIFY(m_server->requests.contains(u"/setup.exe"_s));
    m_server->release();
    QTRY_COMPARE(m_modals->boxes.size(), 1);
    QVERIFY2(m_modals->boxes.constFirst().startsWith(u"Установка|Сейчас запустится установщик RAGE Multiplayer."_s),
        qPrintable(m_modals->boxes.constFirst()));
    QTRY_COMPARE(readFile(m_env.tempFolder + u"/RAGEMultiplayer_Setup.exe.log"_s), QByteArray("started\n"));
    QCOMPARE(m_server->requests.count(u"/setup.exe"_s), 1);
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

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
