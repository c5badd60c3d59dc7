#include "fixtureserver.h"
#include "launchtestsupport.h"
#include "testenvironment.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QLabel>
#include <QLocalSocket>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/resource.h>

class TestInstallerDownload final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void outcomes_data();
    void outcomes();
    void progress_data();
    void progress();
    void progressShowsWholePercentAndMebibytes();
    void cancelLeavesNothingAndPlayStartsAfresh();
    void unsavable_data();
    void unsavable();
    void shortWriteIsReported();
    void secondRequestsDuringDownloadOnlyBringItBack();
    void windowClosedDuringDownloadLeavesNothing();
    void downloadHiddenWithEscapeStillEndsInTheInstaller();

private:
    std::unique_ptr<MainWindow> makeWindow();
    void serve(const FixtureServer::Response &response);
    /// Serves the installer script in pieces of chunk bytes, intervalMs apart.
    FixtureServer::Response serveDripping(int chunk, int intervalMs);
    /// Presses play and, in the client-missing dialog, the download button.
    void startDownload(MainWindow *window, ModalWatcher &watcher);
    QStringList boxLines(const ModalWatcher &watcher) const;
    QStringList tempFiles() const;
    QByteArray installer() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FixtureServer> m_server;
    LauncherEnvironment m_env;
    QString m_marker;
};

namespace {
int visibleDialogs(const QWidget *window)
{
    int visible = 0;
    for (const QDialog *dialog : window->findChildren<QDialog *>())
        visible += dialog->isVisible() ? 1 : 0;
    return visible;
}

const QString installerRoute = QStringLiteral("/public/files/RAGEMultiplayer_Setup.exe");
const QString installerName = QStringLiteral("RAGEMultiplayer_Setup.exe");
const QString startingText = QStringLiteral(
    "Установка|Сейчас запустится установщик RAGE Multiplayer.\nПосле установки нажмите кнопку «Начать играть» снова.");
const QString downloadFailed = QStringLiteral("Ошибка загрузки|Не удалось скачать RAGE Multiplayer:\n");
const QString stallText = downloadFailed + QStringLiteral("Загрузка прервана: сервер не присылал данных 1 с.");
const QString cannotSave = QStringLiteral("Ошибка|Не удалось сохранить установщик.");
const QByteArray earlier("earlier installer");

// A "Windows installer" that a POSIX system can run: it leaves a mark, and
// enough padding that it arrives in several pieces.
QByteArray installerScript(const QString &marker)
{
    QByteArray script = "#!/bin/sh\nprintf ran >> " + shellQuote(marker).toUtf8() + "\nexit 0\n";
    while (script.size() < 300000)
        script += "# " + QByteArray(78, 'x') + '\n';
    return script;
}
} // namespace

void TestInstallerDownload::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // With a file-size limit the kernel would otherwise kill the process instead of failing the write.
    std::signal(SIGXFSZ, SIG_IGN);
}

void TestInstallerDownload::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<FixtureServer>();
    QVERIFY(m_server->start());
    m_env = testEnvironment(m_dir->path());
    m_env.clientInstallerUrl = m_server->url(installerRoute);
    m_marker = m_dir->filePath(QStringLiteral("installer ran"));
    QVERIFY(!writeFile(m_env.tempFolder + QLatin1Char('/') + installerName, earlier).isEmpty());
    QSettings(QStringLiteral("VELOR RP"), QStringLiteral("Launcher")).remove(QStringLiteral("ragempPath"));
}

void TestInstallerDownload::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

std::unique_ptr<MainWindow> TestInstallerDownload::makeWindow()
{
    auto window = std::make_unique<MainWindow>(m_env);
    window->show();
    return window;
}

void TestInstallerDownload::serve(const FixtureServer::Response &response)
{
    FixtureServer::Response installerResponse = response;
    installerResponse.contentType = "application/octet-stream";
    m_server->setRoute(installerRoute, installerResponse);
}

FixtureServer::Response TestInstallerDownload::serveDripping(int chunk, int intervalMs)
{
    FixtureServer::Response response;
    response.body = installerScript(m_marker);
    response.behaviour = FixtureServer::Behaviour::Drip;
    response.dripChunk = chunk;
    response.dripIntervalMs = intervalMs;
    serve(response);
    return response;
}

void TestInstallerDownload::startDownload(MainWindow *window, ModalWatcher &watcher)
{
    watcher.addStep([](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("clientMissingDialog"))
            return false;
        ModalWatcher::clickLater(modal->findChild<QPushButton *>(QStringLiteral("downloadClientButton")));
        return true;
    });
    ModalWatcher::clickLater(window->findChild<QPushButton *>(QStringLiteral("playButton")));
}

QStringList TestInstallerDownload::boxLines(const ModalWatcher &watcher) const
{
    QStringList lines;
    for (const ModalWatcher::Box &box : watcher.boxes)
        lines << box.title + QLatin1Char('|') + box.text;
    return lines;
}

QStringList TestInstallerDownload::tempFiles() const
{
    return QDir(m_env.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray TestInstallerDownload::installer() const
{
    QFile file(m_env.tempFolder + QLatin1Char('/') + installerName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestInstallerDownload::outcomes_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<bool>("script");       // the body is a runnable installer
    QTest::addColumn<QStringList>("boxes"); // "title|text"
    QTest::addColumn<bool>("saved");

    using B = FixtureServer::Behaviour;
    const QString cannotStart =
        QStringLiteral("Ошибка|Не удалось запустить установщик RAGE Multiplayer:\n%TEMP%/") + installerName;
    const QString closed = downloadFailed + QStringLiteral("Connection closed");
    QTest::newRow("whole body") << int(B::Normal) << true << QStringList{startingText} << true;
    QTest::newRow("installer that cannot start")
        << int(B::Normal) << false << QStringList{startingText, cannotStart} << true;
    QTest::newRow("body shorter than its length") << int(B::ShortBody) << true << QStringList{closed} << false;
    QTest::newRow("stall after the headers") << int(B::StallAfterHeaders) << true << QStringList{stallText} << false;
}

void TestInstallerDownload::outcomes()
{
    QFETCH(int, behaviour);
    QFETCH(bool, script);
    QFETCH(QStringList, boxes);
    QFETCH(bool, saved);

    m_env.downloadStallTimeoutMs = 300;
    FixtureServer::Response response;
    response.behaviour = FixtureServer::Behaviour(behaviour);
    response.body = script ? installerScript(m_marker) : QByteArray("MZ\x90\0\3", 5) + QByteArray(300000, '\x7f');
    serve(response);
    boxes.replaceInStrings(QStringLiteral("%TEMP%"), QDir::toNativeSeparators(m_env.tempFolder));

    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && watcher.boxes.size() >= boxes.size()
                                 && !QApplication::activeModalWidget(),
                             20000);

    QCOMPARE(boxLines(watcher), boxes);
    for (const ModalWatcher::Box &box : std::as_const(watcher.boxes)) {
        QCOMPARE(box.buttons.size(), 1);
        QCOMPARE(box.parent, window.get());
        QCOMPARE(box.icon, box.title == QStringLiteral("Установка") ? QMessageBox::Information : QMessageBox::Critical);
    }
    QVERIFY(watcher.stuck.isEmpty());
    QCOMPARE(m_server->requestCount(installerRoute), 1);
    // Nothing half-written stays, and a failure never touches the earlier installer.
    QCOMPARE(tempFiles(), QStringList{installerName});
    QCOMPARE(installer(), saved ? response.body : earlier);
    if (saved && script)
        QTRY_COMPARE(QFile::exists(m_marker) ? logLines(m_marker) : QStringList(), QStringList{QStringLiteral("ran")});
    else
        QVERIFY(!QFile::exists(m_marker));
    QVERIFY(!window->findChild<QWidget *>(QStringLiteral("installerProgressDialog")));
}

void TestInstallerDownload::progress_data()
{
    QTest::addColumn<bool>("withLength");
    QTest::newRow("with Content-Length") << true;
    QTest::newRow("without Content-Length") << false;
}

void TestInstallerDownload::progress()
{
    QFETCH(bool, withLength);
    FixtureServer::Response response;
    response.body = installerScript(m_marker) + QByteArray(2 * 1048576 - 300000, '#');
    if (withLength) {
        response.behaviour = FixtureServer::Behaviour::Drip;
        response.dripChunk = 256 * 1024;
        response.dripIntervalMs = 30;
    } else {
        response.behaviour = FixtureServer::Behaviour::NoContentLength;
    }
    serve(response);

    QList<int> values;
    QStringList texts;
    QString firstText;
    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    watcher.addStep([&](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("installerProgressDialog"))
            return false;
        auto *bar = modal->findChild<QProgressBar *>(QStringLiteral("progressBar"));
        auto *status = modal->findChild<QLabel *>(QStringLiteral("progressStatusLabel"));
        firstText = status->text();
        values << bar->value();
        connect(bar, &QProgressBar::valueChanged, this, [&values, &texts, status](int value) {
            values << value;
            // The text follows the bar within the same report.
            QMetaObject::invokeMethod(status, [&texts, status] { texts << status->text(); }, Qt::QueuedConnection);
        });
        return true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && !watcher.boxes.isEmpty() && !QApplication::activeModalWidget(),
                             20000);

    QCOMPARE(boxLines(watcher), QStringList{startingText});
    QCOMPARE(firstText, QStringLiteral("Подготовка..."));
    QCOMPARE(installer(), response.body);
    if (!withLength) {
        QCOMPARE(values, QList<int>{0});
        return;
    }
    QVERIFY2(values.size() > 2, "the bar moved while the body arrived");
    QCOMPARE(values.last(), 100);
    QCOMPARE(texts.last(), QStringLiteral("Скачивание... 2 МБ / 2 МБ"));
    for (int i = 1; i < values.size(); ++i)
        QVERIFY(values.at(i) > values.at(i - 1));
}

void TestInstallerDownload::progressShowsWholePercentAndMebibytes()
{
    serveDripping(1000, 50);

    struct Shown
    {
        int value;
        QString text;
    };
    QList<Shown> shown;
    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    watcher.addStep([&](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("installerProgressDialog"))
            return false;
        auto *bar = modal->findChild<QProgressBar *>(QStringLiteral("progressBar"));
        auto *status = modal->findChild<QLabel *>(QStringLiteral("progressStatusLabel"));
        if (bar->value() == 0)
            return false; // the first bytes are in: the reply knows its length
        const auto report = [&](qint64 received, qint64 total) {
            QMetaObject::invokeMethod(window.get(), "onDownloadProgress", Qt::DirectConnection,
                                      Q_ARG(qint64, received), Q_ARG(qint64, total));
            shown.append({bar->value(), status->text()});
        };
        report(5767168, 20971520);
        report(20971520, 20971520);
        report(30000000, -1);
        report(0, 0);
        ModalWatcher::clickLater(modal->findChild<QPushButton *>(QStringLiteral("progressCancelButton")));
        return true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && !QApplication::activeModalWidget(), 20000);

    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown.at(0).value, 27);
    QCOMPARE(shown.at(0).text, QStringLiteral("Скачивание... 5 МБ / 20 МБ"));
    QCOMPARE(shown.at(1).value, 100);
    QCOMPARE(shown.at(1).text, QStringLiteral("Скачивание... 20 МБ / 20 МБ"));
    // Reports without a known total change nothing.
    QCOMPARE(shown.at(2).value, 100);
    QCOMPARE(shown.at(2).text, shown.at(1).text);
    QCOMPARE(shown.at(3).text, shown.at(1).text);
    QVERIFY(watcher.boxes.isEmpty());
}

void TestInstallerDownload::cancelLeavesNothingAndPlayStartsAfresh()
{
    serveDripping(1000, 20);

    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    int barAtCancel = -1;
    watcher.addStep([&](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("installerProgressDialog"))
            return false;
        // Wait until part of the body has been written, then cancel.
        const int value = modal->findChild<QProgressBar *>(QStringLiteral("progressBar"))->value();
        if (value == 0)
            return false;
        barAtCancel = value;
        ModalWatcher::clickLater(modal->findChild<QPushButton *>(QStringLiteral("progressCancelButton")));
        return true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && !QApplication::activeModalWidget(), 20000);

    QVERIFY(barAtCancel > 0 && barAtCancel < 100);
    QVERIFY(watcher.boxes.isEmpty());
    QCOMPARE(tempFiles(), QStringList{installerName});
    QCOMPARE(installer(), earlier);
    QVERIFY(!QFile::exists(m_marker));
    QTRY_VERIFY(!window->findChild<QWidget *>(QStringLiteral("installerProgressDialog")));

    // The download is over: the next press searches again and offers the dialog anew.
    bool offeredAgain = false;
    watcher.addStep([&](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("clientMissingDialog"))
            return false;
        offeredAgain = true;
        ModalWatcher::clickLater(modal->findChild<QPushButton *>(QStringLiteral("cancelClientMissingButton")));
        return true;
    });
    ModalWatcher::clickLater(window->findChild<QPushButton *>(QStringLiteral("sidebarPlayButton")));
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && !QApplication::activeModalWidget(), 20000);
    QVERIFY(offeredAgain);
    QCOMPARE(m_server->requestCount(installerRoute), 1);
}

void TestInstallerDownload::unsavable_data()
{
    QTest::addColumn<bool>("tempFolderIsAFile");
    QTest::newRow("temporary folder cannot be created") << true;
    QTest::newRow("earlier installer cannot be replaced") << false;
}

void TestInstallerDownload::unsavable()
{
    QFETCH(bool, tempFolderIsAFile);
    FixtureServer::Response response;
    response.body = installerScript(m_marker);
    serve(response);
    const QString installerPath = m_env.tempFolder + QLatin1Char('/') + installerName;
    if (tempFolderIsAFile) {
        // Running as any user, root included, nothing can be created below a plain file.
        m_env.tempFolder = writeFile(m_dir->filePath(QStringLiteral("plain file")), "x") + QStringLiteral("/temp");
    } else {
        QVERIFY(QFile::remove(installerPath));
        QVERIFY(QDir().mkpath(installerPath + QStringLiteral("/still running")));
    }

    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && !watcher.boxes.isEmpty() && !QApplication::activeModalWidget(),
                             20000);

    QCOMPARE(boxLines(watcher), QStringList{cannotSave});
    QVERIFY(!QFile::exists(m_marker));
    if (!tempFolderIsAFile) {
        QCOMPARE(tempFiles(), QStringList{installerName});
        QVERIFY(QFileInfo(installerPath).isDir());
    }
}

void TestInstallerDownload::shortWriteIsReported()
{
    FixtureServer::Response response;
    response.body = installerScript(m_marker) + QByteArray(1048576, '#');
    serve(response);

    // A full disk, as far as this process can tell: writes beyond 64 KiB fail.
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    auto restore = qScopeGuard([&previous] { setrlimit(RLIMIT_FSIZE, &previous); });

    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && !watcher.boxes.isEmpty() && !QApplication::activeModalWidget(),
                             20000);
    restore.dismiss();
    setrlimit(RLIMIT_FSIZE, &previous);

    QCOMPARE(boxLines(watcher), QStringList{cannotSave});
    QCOMPARE(tempFiles(), QStringList{installerName});
    QCOMPARE(installer(), earlier);
    QVERIFY(!QFile::exists(m_marker));
}

void TestInstallerDownload::secondRequestsDuringDownloadOnlyBringItBack()
{
    FixtureServer::Response response;
    response.body = installerScript(m_marker);
    response.behaviour = FixtureServer::Behaviour::StallAfterHeaders;
    serve(response);
    m_env.ipcServerName = QStringLiteral("VelorDownloadTest-%1").arg(QCoreApplication::applicationPid());

    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    QLocalSocket peer;
    QPointer<QWidget> progressDialog;
    int dialogsDuringForward = -1;
    bool visibleAfterForward = false;
    watcher.addStep([&](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("installerProgressDialog"))
            return false;
        progressDialog = modal;
        // A second launcher start hands its link over while the download runs.
        peer.connectToServer(m_env.ipcServerName);
        peer.write("velorlauncher://again");
        peer.flush();
        return true;
    });
    watcher.addStep([&](QWidget *modal) {
        // The running copy reads the link and drops the connection.
        if (peer.state() != QLocalSocket::UnconnectedState)
            return false;
        dialogsDuringForward = visibleDialogs(window.get());
        visibleAfterForward = modal == progressDialog && progressDialog->isVisible();
        ModalWatcher::keyLater(progressDialog, Qt::Key_Escape);
        return true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && progressDialog && !progressDialog->isVisible(), 20000);

    QCOMPARE(dialogsDuringForward, 1);
    QVERIFY(visibleAfterForward);
    QCOMPARE(m_server->requestCount(installerRoute), 1);

    // Escape only hid the dialog; the next press brings it back instead of starting anew.
    window->findChild<QPushButton *>(QStringLiteral("playButton"))->click();
    QVERIFY(progressDialog && progressDialog->isVisible());
    QCOMPARE(visibleDialogs(window.get()), 1);
    QCOMPARE(m_server->requestCount(installerRoute), 1);

    progressDialog->findChild<QPushButton *>(QStringLiteral("progressCancelButton"))->click();
    QTRY_VERIFY(!progressDialog);
    QVERIFY(watcher.boxes.isEmpty());
    QCOMPARE(installer(), earlier);
    QCOMPARE(tempFiles(), QStringList{installerName});
}

void TestInstallerDownload::windowClosedDuringDownloadLeavesNothing()
{
    serveDripping(1000, 20);

    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    QPointer<QWidget> progressDialog;
    watcher.addStep([&](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("installerProgressDialog")
            || modal->findChild<QProgressBar *>(QStringLiteral("progressBar"))->value() == 0)
            return false;
        progressDialog = modal;
        ModalWatcher::keyLater(modal, Qt::Key_Escape);
        return true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && progressDialog && !progressDialog->isVisible(), 20000);

    window.reset();
    // Whatever the aborted download would have reported never reaches a window that is gone.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(watcher.boxes.isEmpty());
    QTRY_COMPARE(tempFiles(), QStringList{installerName});
    QCOMPARE(installer(), earlier);
}

void TestInstallerDownload::downloadHiddenWithEscapeStillEndsInTheInstaller()
{
    // Slow enough that Escape comes long before the last piece.
    const FixtureServer::Response response = serveDripping(int(installerScript(m_marker).size() / 3) + 1, 400);

    auto window = makeWindow();
    ModalWatcher watcher;
    startDownload(window.get(), watcher);
    QPointer<QWidget> progressDialog;
    watcher.addStep([&progressDialog](QWidget *modal) {
        if (!modal || modal->objectName() != QLatin1String("installerProgressDialog"))
            return false;
        progressDialog = modal;
        ModalWatcher::keyLater(modal, Qt::Key_Escape);
        return true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(watcher.stepsDone() && progressDialog && !progressDialog->isVisible(), 20000);
    QVERIFY(watcher.boxes.isEmpty());

    // Unseen, the download ends as usual: the box, then the installer runs.
    QTRY_COMPARE_WITH_TIMEOUT(boxLines(watcher), QStringList{startingText}, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_marker), 20000);
    QTRY_VERIFY(!progressDialog);
    QCOMPARE(installer(), response.body);
    QCOMPARE(tempFiles(), QStringList{installerName});
}

QTEST_MAIN(TestInstallerDownload)
#include "tst_installerdownload.moc"
