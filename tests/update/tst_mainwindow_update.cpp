#include "fixtureserver.h"
#include "testenvironment.h"
#include "updatefixture.h"
#include "ui/mainwindow.h"
#include "ui/styledprogressdialog.h"
#include "update/updater.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
const QString versionPath = QStringLiteral("/launcher/version");
const QString archivePath = QStringLiteral("/files/update.zip");

struct DialogState
{
    QString status;
    int progress = -1;
    bool operator==(const DialogState &other) const { return status == other.status && progress == other.progress; }
};

DialogState stateOf(const StyledProgressDialog *dialog)
{
    return {dialog->findChild<QLabel *>(QStringLiteral("progressStatusLabel"))->text(),
            dialog->findChild<QProgressBar *>(QStringLiteral("progressBar"))->value()};
}

/// Notes the path of every request in the order the launcher sends them: Qt
/// asks for a proxy on the sending thread as each request goes out, whereas the
/// server sees the requests of separate connections in whatever order they
/// arrive. Qt asks only for hosts that are not loopback by name.
class RequestOrder final : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QMutexLocker lock(&mutex);
        paths << query.url().path();
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    }
    QMutex mutex;
    QStringList paths;
};

/// Watches the modal widgets from the event loop, the only place where a test
/// can see them while exec() runs: it records the update dialog and every
/// message box (and answers the box with OK).
class ModalWatcher final : public QObject
{
public:
    explicit ModalWatcher(bool escapeDialog)
        : m_escapeDialog(escapeDialog)
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::look);
        m_timer.start(5);
    }

    QList<DialogState> states;
    QString heading;
    QSize size;
    bool cancelButton = false;
    bool dialogModal = false;
    int escapes = 0;
    QStringList boxTitles;
    QStringList boxTexts;
    bool boxCritical = true;
    QList<QMessageBox::StandardButtons> boxButtons;

private:
    void look()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            boxTitles << box->windowTitle();
            boxTexts << box->text();
            boxCritical = boxCritical && box->icon() == QMessageBox::Critical;
            boxButtons << box->standardButtons();
            box->button(QMessageBox::Ok)->click();
            return;
        }
        auto *dialog = qobject_cast<StyledProgressDialog *>(modal);
        if (!dialog || dialog->objectName() != QLatin1String("updateProgressDialog"))
            return;
        heading = dialog->findChild<QLabel *>(QStringLiteral("progressHeadingLabel"))->text();
        size = dialog->size();
        cancelButton = dialog->findChild<QPushButton *>(QStringLiteral("progressCancelButton")) != nullptr;
        dialogModal = dialog->windowModality() == Qt::ApplicationModal;
        const DialogState state = stateOf(dialog);
        if (states.isEmpty() || !(states.last() == state))
            states << state;
        if (m_escapeDialog && escapes == 0) {
            ++escapes;
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    }

    QTimer m_timer;
    bool m_escapeDialog = false;
};
} // namespace

class TestMainWindowUpdate final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nothingShownWithoutUpdate_data();
    void nothingShownWithoutUpdate();
    void updateIsInstalledAndLauncherQuits();
    void escapeHidesDialogAndUpdateGoesOn();
    void failureShowsOneBox_data();
    void failureShowsOneBox();
    void refusedDownloadEndsInBoxAtOnce();
    void firstRequestsInOrderAndOneVersionCheck();

private:
    void makeWindow();
    void serveArchive(int paddingBytes, bool drip);
    bool waitForVersionAnswer();

    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<MainWindow> m_window;
    LauncherEnvironment m_env;
    QString m_record;
    int m_quits = 0;
    bool m_quitDialogVisible = false;
    DialogState m_quitState;
};

void TestMainWindowUpdate::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainWindowUpdate::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
    m_server = std::make_unique<FixtureServer>();
    QVERIFY(m_server->start());
    m_env = testEnvironment(m_scratch->path());
    m_env.apiBase = m_server->url();
    m_env.requestTimeoutMs = 2000;
    m_env.downloadStallTimeoutMs = 2000;
    m_record = m_scratch->filePath(QStringLiteral("started.txt"));
    m_quits = 0;
    m_quitDialogVisible = false;
    m_quitState = {};
    // The real quit ends every event loop; this one ends the update dialog's.
    m_env.quitApplication = [this] {
        ++m_quits;
        if (auto *dialog = m_window->findChild<StyledProgressDialog *>(QStringLiteral("updateProgressDialog"))) {
            m_quitState = stateOf(dialog);
            m_quitDialogVisible = dialog->isVisible();
            dialog->close();
        }
    };
}

void TestMainWindowUpdate::cleanup()
{
    m_window.reset();
    m_server.reset();
    m_scratch.reset();
}

void TestMainWindowUpdate::makeWindow()
{
    m_window = std::make_unique<MainWindow>(m_env);
    m_window->show();
}

void TestMainWindowUpdate::serveArchive(int paddingBytes, bool drip)
{
    const QString stage = m_scratch->filePath(QStringLiteral("stage"));
    QVERIFY(!writeFile(stage + QStringLiteral("/setup.exe"), UpdateFixture::installerScript(m_record), true).isEmpty());
    QVERIFY(!writeFile(stage + QStringLiteral("/data.bin"), FixtureServer::generatedBytes(0, paddingBytes)).isEmpty());
    const QString zipPath = m_scratch->filePath(QStringLiteral("update.zip"));
    QVERIFY(UpdateFixture::makeZip(stage, {QStringLiteral("setup.exe"), QStringLiteral("data.bin")}, zipPath,
                                   {QStringLiteral("-0")}));
    QFile zip(zipPath);
    QVERIFY(zip.open(QIODevice::ReadOnly));
    FixtureServer::Response archive;
    archive.body = zip.readAll();
    archive.contentType = "application/zip";
    if (drip) {
        archive.behaviour = FixtureServer::Behaviour::Drip;
        archive.dripChunk = 512 * 1024;
        archive.dripIntervalMs = 40;
    }
    m_server->setRoute(archivePath, archive);
    m_server->setJson(versionPath, "{\"version\":\"1.2.0\",\"download_url\":\"" + m_server->url(archivePath).toUtf8()
                                       + "\",\"changelog\":\"Новое\"}");
}

bool TestMainWindowUpdate::waitForVersionAnswer()
{
    auto *manager = m_window->findChild<Updater *>()->findChild<QNetworkAccessManager *>();
    QSignalSpy finished(manager, &QNetworkAccessManager::finished);
    return finished.wait(10000);
}

void TestMainWindowUpdate::nothingShownWithoutUpdate_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("up to date") << QByteArray("{\"version\":\"1.1.9\",\"download_url\":\"https://u.test/u.zip\"}")
                                << 200;
    QTest::newRow("older") << QByteArray("{\"version\":\"1.1.8\",\"download_url\":\"https://u.test/u.zip\"}") << 200;
}

void TestMainWindowUpdate::nothingShownWithoutUpdate()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    m_server->setJson(versionPath, body, status);
    ModalWatcher watcher(false);
    makeWindow();
    QVERIFY(waitForVersionAnswer());
    QVERIFY(watcher.states.isEmpty());
    QVERIFY(watcher.boxTitles.isEmpty());
    QVERIFY(!m_window->findChild<StyledProgressDialog *>(QStringLiteral("updateProgressDialog")));
    QCOMPARE(m_server->requestCount(archivePath), 0);
}

void TestMainWindowUpdate::updateIsInstalledAndLauncherQuits()
{
    serveArchive(3 * 1024 * 1024 + 1000, true);
    ModalWatcher watcher(false);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(m_quits, 1, 20000);

    QCOMPARE(watcher.heading, QStringLiteral("Обновление лаунчера"));
    QCOMPARE(watcher.size, QSize(420, 130));
    QVERIFY(!watcher.cancelButton);
    QVERIFY(watcher.dialogModal);
    QVERIFY(!watcher.states.isEmpty());
    QCOMPARE(watcher.states.first().status, QStringLiteral("Скачивание обновления..."));
    QCOMPARE(watcher.states.first().progress, 0);

    // Part-way states show whole mebibytes of the 3 MiB archive and a matching bar.
    const QRegularExpression progressText(QStringLiteral("^Скачивание\\.\\.\\. (\\d) МБ / 3 МБ$"));
    int partWay = 0;
    for (const DialogState &state : watcher.states) {
        const QRegularExpressionMatch match = progressText.match(state.status);
        if (!match.hasMatch())
            continue;
        ++partWay;
        const int mebibytes = match.captured(1).toInt();
        QVERIFY2(state.progress >= mebibytes * 100 / 4 && state.progress <= (mebibytes + 1) * 100 / 3,
                 qPrintable(state.status + QLatin1Char(' ') + QString::number(state.progress)));
    }
    QVERIFY(partWay > 0);

    QVERIFY(m_quitDialogVisible);
    QCOMPARE(m_quitState.status, QStringLiteral("Установка обновления..."));
    QCOMPARE(m_quitState.progress, 100);
    QVERIFY(watcher.boxTitles.isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_record), 10000);
    QCOMPARE(UpdateFixture::readLines(m_record).mid(1),
             (QStringList{QStringLiteral("/VERYSILENT"), QStringLiteral("/CLOSEAPPLICATIONS"),
                          QStringLiteral("/RESTARTAPPLICATIONS")}));
}

void TestMainWindowUpdate::escapeHidesDialogAndUpdateGoesOn()
{
    serveArchive(2 * 1024 * 1024, true);
    ModalWatcher watcher(true);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.escapes, 1, 10000);
    auto *dialog = m_window->findChild<StyledProgressDialog *>(QStringLiteral("updateProgressDialog"));
    QVERIFY(dialog);
    QVERIFY(!dialog->isVisible());
    // The window is usable again while the download goes on unseen.
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(m_quits, 0);

    QTRY_COMPARE_WITH_TIMEOUT(m_quits, 1, 20000);
    QVERIFY(!m_quitDialogVisible);
    QCOMPARE(m_quitState.status, QStringLiteral("Установка обновления..."));
    QCOMPARE(m_quitState.progress, 100);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_record), 10000);
}

void TestMainWindowUpdate::failureShowsOneBox_data()
{
    QTest::addColumn<int>("archiveStatus");
    QTest::addColumn<QByteArray>("archiveBody"); // empty: a real archive
    QTest::addColumn<QString>("reason");         // "*": any network error text
    QTest::newRow("archive not found") << 404 << QByteArray("gone") << QStringLiteral("*");
    QTest::newRow("corrupt archive") << 200 << QByteArray("PK not a zip")
                                     << QStringLiteral("Ошибка распаковки обновления");
}

void TestMainWindowUpdate::failureShowsOneBox()
{
    QFETCH(int, archiveStatus);
    QFETCH(QByteArray, archiveBody);
    QFETCH(QString, reason);
    serveArchive(1000, false);
    m_server->setStatus(archivePath, archiveStatus, archiveBody);

    ModalWatcher watcher(false);
    makeWindow();
    QTRY_COMPARE_WITH_TIMEOUT(watcher.boxTitles.size(), 1, 20000);
    QCOMPARE(watcher.boxTitles.first(), QStringLiteral("Ошибка обновления"));
    const QString prefix = QStringLiteral("Не удалось скачать обновление:\n");
    const QString text = watcher.boxTexts.first();
    QVERIFY2(text.startsWith(prefix), qPrintable(text));
    if (reason == QLatin1String("*"))
        QVERIFY(text.size() > prefix.size());
    else
        QCOMPARE(text.mid(prefix.size()), reason);
    QVERIFY(watcher.boxCritical);
    QCOMPARE(watcher.boxButtons.first(), QMessageBox::StandardButtons(QMessageBox::Ok));

    // The dialog is gone and the window works as before.
    QTRY_VERIFY(!m_window->findChild<StyledProgressDialog *>(QStringLiteral("updateProgressDialog")));
    QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(watcher.boxTitles.size(), 1);
    QCOMPARE(m_quits, 0);
    QVERIFY(!QFile::exists(m_record));
}

void TestMainWindowUpdate::refusedDownloadEndsInBoxAtOnce()
{
    // The check turns this answer down, but its address stays the updater's download address.
    m_server->setJson(versionPath, "{\"version\":\"1.2.0\",\"download_url\":\"http://u.test/u.zip\"}");
    ModalWatcher watcher(true); // a dialog that ran after all would be sent away, not waited for
    makeWindow();
    QVERIFY(waitForVersionAnswer());
    QVERIFY(watcher.boxTitles.isEmpty());

    // Were the slot reached anyway, the refusal comes before the dialog runs: one box, no dialog left waiting.
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "onUpdateAvailable", Q_ARG(QString, QStringLiteral("1.2.0")),
                                      Q_ARG(QString, QString())));
    QCOMPARE(watcher.boxTexts,
             QStringList{QStringLiteral("Не удалось скачать обновление:\nНеверные данные обновления")});
    QVERIFY(watcher.states.isEmpty());
    QCOMPARE(watcher.escapes, 0);
    QTRY_VERIFY(!m_window->findChild<StyledProgressDialog *>(QStringLiteral("updateProgressDialog")));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestMainWindowUpdate::firstRequestsInOrderAndOneVersionCheck()
{
    m_env.statusIntervalMs = 20;
    // 0.0.0.0 reaches the server on 127.0.0.1 but is not loopback to Qt.
    m_env.apiBase = QStringLiteral("http://0.0.0.0:%1").arg(m_server->port());
    m_server->setJson(QStringLiteral("/servers"), "[{\"online\":5}]");
    m_server->setJson(QStringLiteral("/news"), "[]");
    m_server->setJson(versionPath, "{\"version\":\"1.1.9\",\"download_url\":\"https://u.test/u.zip\"}");
    auto *order = new RequestOrder;
    QNetworkProxyFactory::setApplicationProxyFactory(order); // takes it
    makeWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requestCount(QStringLiteral("/servers")) >= 4, 10000);
    QStringList sent;
    {
        const QMutexLocker lock(&order->mutex);
        sent = order->paths;
    }
    QNetworkProxyFactory::setApplicationProxyFactory(nullptr);
    QCOMPARE(sent.mid(0, 3), (QStringList{QStringLiteral("/servers"), QStringLiteral("/news"), versionPath}));
    // The version check ran once, while the status poll went on.
    QCOMPARE(sent.count(versionPath), 1);
    QTRY_COMPARE(m_server->requestCount(versionPath), 1);
    QTRY_COMPARE(m_server->requestCount(QStringLiteral("/news")), 1);
}

QTEST_MAIN(TestMainWindowUpdate)
#include "tst_mainwindow_update.moc"
