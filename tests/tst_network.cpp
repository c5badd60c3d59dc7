// What comes over the network and the window that shows it: every path against every
// kind of server failure, the update's signatures and installation, the window and its news.
#include "feed/newspicture.h"
#include "feed/newspictureloader.h"
#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "net/filedownload.h"
#include "testsupport.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"
#include "update/updater.h"

#include <QNetworkAccessManager>
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

enum Path { Status, News, Picture, Version, Archive, Installer, PathCount };
const char *const pathNames[]
    = {"status poll", "news list", "news picture", "version check", "update archive", "client installer"};
enum Expect { Used, Fails, Stalls, TooLarge, WrongShape };
enum Body { Valid, Large, Misshapen, Page };
struct Kind
{
    const char *name;
    Expect expect;
    int status; // 0: nothing listens
    Fault fault;
    Body body;
};
const Kind kinds[] = {{"fine", Used, 200, Fault::None, Valid}, {"refused", Fails, 0, Fault::None, Valid},
    {"reset mid-body", Fails, 200, Fault::Reset, Valid}, {"HTTP 404", Fails, 404, Fault::None, Page},
    {"HTTP 500", Fails, 500, Fault::None, Page}, {"valid body, HTTP 500", Fails, 500, Fault::None, Valid},
    {"stall", Stalls, 200, Fault::Stall, Valid}, {"stall after headers", Stalls, 200, Fault::Held, Valid},
    {"slow drip", Used, 200, Fault::Drip, Valid}, {"short body", Fails, 200, Fault::ShortBody, Valid},
    {"no length", Used, 200, Fault::NoLength, Valid}, {"oversized", TooLarge, 200, Fault::None, Large},
    {"oversized, no length", TooLarge, 200, Fault::NoLength, Large},
    {"wrong shape", WrongShape, 200, Fault::None, Misshapen}};

QString expected(int path, Expect expect)
{
    // Downloads have no size cap, and any bytes may be an installer.
    const bool download = path >= Archive;
    if (expect == Used || (download && expect == TooLarge) || (path == Installer && expect == WrongShape))
        return QString::fromLatin1(path == Archive ? "installed" : path == Installer ? "saved" : "shown");
    if (download && expect == Stalls)
        return u"box: Загрузка прервана: сервер не присылал данных 1 с."_s;
    return download ? u"box"_s : u"nothing"_s;
}

QByteArray updateSign(const QStringList &arguments) // runs the signing tool as a release manager does
{
    QProcess tool;
    tool.start(QStringLiteral(VELOR_UPDATESIGN), arguments);
    return tool.waitForFinished() ? tool.readAllStandardOutput() : QByteArray();
}

} // namespace

class TestNetwork final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cell_data();
    void cell();
    void archive_data();
    void archive();
    void install_data();
    void install();
    void startUp();
    void update_data();
    void update();
    void paints();
    void pictureKinds_data();
    void pictureKinds();
    void pictureAddressesAndTurns();

private:
    QString reportOf(Updater &updater, const std::function<void()> &action);
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<ModalAnswerer> m_modals;
    QNetworkAccessManager m_manager;
    QList<QByteArrayList> m_bodies; ///< of the matrix, by path and body
    LauncherEnvironment m_env;
    QStringList m_reports; ///< of the updater
    QStringList m_shown; ///< dialogs as they were shown, with their status
};

void TestNetwork::initTestCase()
{
    const QTemporaryDir scratch;
    writeRecorder(scratch.filePath(u"stage/setup.exe"_s));
    const QByteArray archive = zipOf(scratch.filePath(u"stage"_s));
    QByteArray noise(40 << 20, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    writeFile(scratch.filePath(u"stage/noise.bin"_s), noise);
    const QByteArray jpeg = readFile(QStringLiteral(VELOR_TEST_DATA "/red.jpg")),
                     page = "<html><body>Oops</body></html>";
    const QByteArray version = R"({"version":"9.0","download_url":"https://u.test/u.zip"})";
    // Past each answer's cap: spaces inside valid JSON, junk after a picture.
    m_bodies = {{R"([{"online":5}])", "[" + QByteArray(16 << 20, ' ') + R"({"online":5}])", R"({"online":5})", page},
        {R"([{"title":"t"}])", "[" + QByteArray(16 << 20, ' ') + R"({"title":"t"}])", R"({"data":5})", page},
        {jpeg, jpeg + QByteArray(32 << 20, '\0'), page, page},
        {version, "{" + QByteArray(1 << 20, ' ') + version.mid(1), "[]", page},
        {archive, zipOf(scratch.filePath(u"stage"_s)), page, page}, {"installer", noise, page, page}};
}

void TestNetwork::cell_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<int>("kind");
    for (int path = 0; path < PathCount; ++path) {
        for (int kind = 0; kind < int(std::size(kinds)); ++kind)
            QTest::addRow("%s: %s", pathNames[path], kinds[kind].name) << path << kind;
    }
}

void TestNetwork::cell()
{
    QFETCH(int, path);
    QFETCH(int, kind);
    const Kind &k = kinds[kind];
    const QString route = path == Version ? u"/launcher/version"_s : u"/r"_s;
    m_server->routes[route] = Route(k.status, m_bodies[path][k.body], k.fault);
    const QString url = k.status == 0 ? FixtureServer::refusedUrl(route) : m_server->url(route);
    constexpr int silenceMs = 300;
    QString outcome;
    const auto shown = [&outcome] { outcome = u"shown"_s; };
    LauncherEnvironment env = testEnvironment(m_scratch->filePath(u"env"_s));
    env.apiBase = url.chopped(int(qstrlen("/launcher/version")));
    env.quitApplication = [&outcome] { outcome = u"installed"_s; };
    StatusPoller poller(&m_manager, url, 3600000, silenceMs);
    NewsSource source(&m_manager, url, silenceMs);
    NewsPictureLoader loader(&m_manager, silenceMs);
    Updater updater(env);
    FileDownload download(&m_manager, silenceMs);
    connect(&poller, &StatusPoller::onlineChanged, this, shown);
    connect(&source, &NewsSource::newsReady, this, shown);
    connect(&loader, &NewsPictureLoader::pictureReady, this, shown);
    connect(&updater, &Updater::updateAvailable, this, shown);
    connect(&updater, &Updater::downloadFinished, &updater, &Updater::installUpdate);
    connect(&updater, &Updater::downloadFailed, this, [&outcome](const QString &why) { outcome = u"box: "_s + why; });
    connect(&updater, &Updater::updateCheckFailed, this, [&outcome] { outcome = u"nothing"_s; });
    connect(&download, &FileDownload::finished, this, [&outcome](const FileDownload::Outcome &result) {
        outcome = result.kind == FileDownload::Outcome::Kind::Saved ? u"saved"_s : u"box: "_s + result.reason;
    });
    // The silent paths end with their one reply, the others with a report.
    QSignalSpy done(&m_manager, &QNetworkAccessManager::finished);
    const std::function<void()> start[] = {[&] { poller.start(); }, [&] { source.fetch(); },
        [&] { loader.load(this, url, 1.0); }, [&] { updater.checkForUpdates(false); },
        [&] { updater.downloadUpdate(url); }, [&] { download.start(url, m_scratch->filePath(u"setup.exe"_s)); }};
    start[path]();
    const bool ended
        = QTest::qWaitFor([&] { return !outcome.isEmpty() || (path <= Picture && !done.isEmpty()); }, 10000);
    outcome = !outcome.isEmpty() ? outcome : ended ? u"nothing"_s : u"hung"_s;
    QVERIFY2(outcome.startsWith(expected(path, k.expect)), qPrintable(outcome));
}

void TestNetwork::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<FixtureServer>();
    m_modals = std::make_unique<ModalAnswerer>();
    m_env = testEnvironment(m_scratch->path());
    m_env.apiBase = m_server->url();
    m_env.quitApplication = [this] { m_reports << u"quit"_s; };
    m_shown.clear();
}

/// What the updater reports while action runs, as "signal:arguments", joined.
QString TestNetwork::reportOf(Updater &updater, const std::function<void()> &action)
{
    const auto record = [this](const QString &name) {
        return [this, name](const QString &what = {}) { m_reports << name + u':' + what; };
    };
    QObject context;
    connect(&updater, &Updater::updateAvailable, &context, record(u"update"_s));
    connect(&updater, &Updater::updateCheckFailed, &context, record(u"failed"_s));
    connect(&updater, &Updater::downloadFinished, &context, record(u"saved"_s));
    connect(&updater, &Updater::downloadFailed, &context, record(u"failed"_s));
    m_reports.clear();
    action();
    return QTest::qWaitFor([this] { return !m_reports.isEmpty(); }, 10000) ? m_reports.join(u',') : u"nothing"_s;
}

void TestNetwork::archive_data()
{
    // Changed answers, and signatures cut or mangled, are the fuzzer's.
    QTest::addColumn<int>("signer"); // the launcher holds keys 0 and 1, not 2
    QTest::addColumn<QStringList>("edit"); // of the signed answer: what, and to what
    QTest::addColumn<QString>("report"); // of the check, the download and the installation (quit: started)
    const QString mismatch = u"failed:Контрольная сумма обновления не совпадает"_s;
    const QString installed = u"update:1.2 saved quit"_s, changed = u"update:1.2 "_s + mismatch + u' ' + mismatch;
    const QString refused = u"failed:Неверные данные обновления failed:Неверные данные обновления "_s + mismatch;
    QTest::newRow("signed by the first key") << 0 << QStringList() << installed;
    QTest::newRow("signed by the second key") << 1 << QStringList() << installed;
    QTest::newRow("signed by an unknown key") << 2 << QStringList() << refused;
    QTest::newRow("archive changed") << 0 << QStringList{u"u.zip"_s, u"v.zip"_s} << changed;
    QTest::newRow("no signature") << 0 << QStringList{u"\"signature\""_s, u"\"comment\""_s} << refused;
}

void TestNetwork::archive()
{
    QFETCH(int, signer);
    QFETCH(QStringList, edit);
    QFETCH(QString, report);
    const QString keys = m_scratch->filePath(u"key"_s); // key0-2, made by the tool; the launcher holds the first two
    for (int i = 0; i < 3; ++i)
        m_env.updatePublicKeys << QByteArray::fromBase64(updateSign({u"keygen"_s, keys + QString::number(i)}));
    m_env.updatePublicKeys.removeLast();
    writeRecorder(m_scratch->filePath(u"stage/sub/setup.exe"_s));
    const QString zip = writeFile(m_scratch->filePath(u"u.zip"_s), zipOf(m_scratch->filePath(u"stage"_s)));
    m_server->routes[u"/u.zip"_s] = Route(200, readFile(zip));
    m_server->routes[u"/v.zip"_s] = Route(200, readFile(zip) + "x"); // the archive changed after signing
    QString answer = QString::fromUtf8(
        updateSign({u"sign"_s, keys + QString::number(signer), zip, u"1.2"_s, m_server->url(u"/u.zip"_s)}));
    m_server->routes[u"/launcher/version"_s] = Route(200, answer.replace(edit.value(0), edit.value(1)).toUtf8());
    Updater updater(m_env);
    const QString path = m_env.tempFolder + u"/VelorRP_Launcher_Update.zip"_s;
    const QStringList steps{reportOf(updater, [&] { updater.checkForUpdates(false); }),
        reportOf(updater, [&] { updater.downloadUpdate(updater.downloadUrl()); }),
        reportOf(updater, [&] { updater.installUpdate(path); })};
    QCOMPARE(steps.join(u' ').remove(u':' + path), report);
    QCOMPARE(m_server->requests.size(), report.startsWith(u"update"_s) ? 2 : 1); // refused: no archive fetched
}

void TestNetwork::install_data()
{
    QTest::addColumn<QString>("unpack"); // a shell command of the archive and folder in place of unzip; empty: unzip
    QTest::addColumn<QStringList>("files"); // in the archive; "*": the installer to start
    QTest::addColumn<QString>("report"); // "quit" once started, or what went wrong
    const QStringList one{u"readme.txt"_s, u"sub/setup.exe*"_s};
    const QString unpackFailed = u"failed:Ошибка распаковки обновления"_s;
    QTest::newRow("the shallowest installer, then by path, in any case")
        << QString() << QStringList{u"A/setup.exe"_s, u"B.EXE*"_s, u"c.exe"_s, u"readme.txt"_s} << u"quit"_s;
    QTest::newRow("links are neither followed nor chosen")
        << u"unzip -q \"$0\" -d \"$1\" && ln -s ../outside/x.exe \"$1/l.exe\" && ln -s ../outside \"$1/d\""_s
        << QStringList{u"deep/er/real.exe*"_s} << u"quit"_s;
    QTest::newRow("no installer") << QString() << QStringList{u"readme.txt"_s}
                                  << u"failed:Инсталлер не найден в архиве"_s;
    QTest::newRow("unpacker crashes, exit code 0") << u"kill -SEGV $$"_s << one << unpackFailed;
    QTest::newRow("unpacker outlives its bound") << u"sleep 30"_s << one << unpackFailed;
    QTest::newRow("unpacker fails") << u"exec /nonexistent"_s << one << unpackFailed;
    QTest::newRow("installer that cannot start") << u"mkdir -p \"$1/x\" && echo no > \"$1/x/setup.exe\""_s << one
                                                 << u"failed:Не удалось запустить установщик обновления"_s;
}

void TestNetwork::install()
{
    QFETCH(QString, unpack);
    QFETCH(QStringList, files);
    QFETCH(QString, report);
    const QString stage = m_scratch->filePath(u"stage"_s);
    const QString folder = m_env.tempFolder + u"/VelorLauncher_Update"_s;
    QString installer;
    for (const QString &file : files) {
        if (file.endsWith(u'*'))
            writeRecorder(stage + u'/' + (installer = file.chopped(1)));
        else
            writeFile(stage + u'/' + file, "x"); // would fail to start, if chosen
    }
    writeRecorder(m_env.tempFolder + u"/outside/x.exe"_s); // where the links lead
    const QString zip = writeFile(m_env.tempFolder + u"/VelorRP_Launcher_Update.zip"_s, zipOf(stage));
    // Left by an earlier attempt: a stale installer, shallower than the new one,
    // and the folder itself a link whose target must survive.
    writeFile(m_scratch->filePath(u"kept/stale.exe"_s), "old");
    QFile::link(m_scratch->filePath(u"kept"_s), folder);
    m_env.unpackTimeoutMs = 300;
    Updater updater(m_env);
    if (!unpack.isEmpty()) {
        updater.setUnpackCommand([unpack](const QString &from, const QString &to) {
            return Platform::Command{u"sh"_s, {u"-c"_s, unpack, from, to}};
        });
    }
    QCOMPARE(reportOf(updater, [&] { updater.installUpdate(zip); }), report);
    QCOMPARE(readFile(m_scratch->filePath(u"kept/stale.exe"_s)), QByteArray("old"));
    // The archive goes only once an installer is about to start.
    QCOMPARE(QFile::exists(zip), report.contains(u"распаковки"_s) || report.contains(u"Инсталлер"_s));
    if (report == u"quit"_s)
        QTRY_COMPARE(recorded(folder + u'/' + installer),
            u"/VERYSILENT /CLOSEAPPLICATIONS /RESTARTAPPLICATIONS|"_s + QDir::current().canonicalPath() + u"\n"_s);
    QCOMPARE(recorded(m_env.tempFolder + u"/outside/x.exe"_s), QString());
}

void TestNetwork::startUp()
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

void TestNetwork::update_data()
{
    QTest::addColumn<bool>("tempWritable");
    QTest::addColumn<QString>("last"); // after the dialog: the state it was left in, or the box
    QTest::newRow("installed, the dialog hidden with Escape on the way") << true << u"Установка обновления...|100"_s;
    QTest::newRow("refused on the spot: nowhere to save it")
        << false << u"Ошибка обновления|Не удалось скачать обновление:\nНе удалось сохранить файл обновления"_s;
}

void TestNetwork::update()
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

void TestNetwork::paints()
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

void TestNetwork::pictureKinds_data()
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

void TestNetwork::pictureKinds()
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

void TestNetwork::pictureAddressesAndTurns()
{
    m_server->routes[u"/p.jpg"_s] = Route(200, readFile(QStringLiteral(VELOR_TEST_DATA "/red.jpg")), Fault::Drip);
    NewsPictureLoader loader(&m_manager, 300);
    QSignalSpy ready(&loader, &NewsPictureLoader::pictureReady), done(&m_manager, &QNetworkAccessManager::finished);
    int tooMany = 0; // each request may arrive only once enough earlier ones are done
    connect(m_server.get(), &FixtureServer::requested, this,
        [&] { tooMany += m_server->requests.size() > NewsPictureLoader::maxRunning + done.size(); });
    std::vector<std::unique_ptr<QObject>> targets;
    const QString web = m_server->url(u"/p.jpg"_s);
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
    QCOMPARE(m_server->requests.size(), 10);
    QCOMPARE(ready.size(), 9);
    QCOMPARE(tooMany, 0);
}

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
