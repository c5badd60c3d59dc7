// Every network-facing path against every kind of server failure, and the log
// those requests leave behind.
#include "app/logfile.h"
#include "feed/newspicture.h"
#include "feed/newspictureloader.h"
#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "net/filedownload.h"
#include "net/networkmanager.h"
#include "testsupport.h"
#include "update/updater.h"

#include <QtTest>
#include <optional>

namespace {
enum Path { Status, News, Picture, Version, Archive, Installer };
const char *const pathNames[] = {"status poll", "news list", "news picture"};
enum Body { Valid, Large, Misshapen, Page };
using Failure = Updater::Failure::Kind;
using Download = FileDownload::Outcome::Kind;
constexpr std::nullopt_t none = std::nullopt;
/// What each kind of answer ends in: whether the count, the news or the picture is taken; the failure
/// the version check reports, none when the update starts; the failure of the update archive, none when
/// its installer starts; and the end of a download, the client installer's and the archive's.
/// Downloads have no size cap, and any bytes may be an installer.
struct Kind
{
    const char *name;
    int status; // 0: nothing listens
    Fault fault;
    Body body;
    bool taken;
    std::optional<Failure> check;
    std::optional<Failure> archive;
    Download download;
};
const Kind kinds[] = {
    {"fine", 200, Plain, Valid, true, none, none, Download::Saved},
    {"refused", 0, Plain, Valid, false, Failure::Unreachable, Failure::Download, Download::NetworkError},
    {"reset mid-body", 200, Reset, Valid, false, Failure::Unreachable, Failure::Download, Download::Cut},
    {"HTTP 404", 404, Plain, Page, false, Failure::Unreachable, Failure::Download, Download::NetworkError},
    {"login challenge", 401, Challenge, Page, false, Failure::Unreachable, Failure::Download, Download::NetworkError},
    {"valid body, HTTP 500", 500, Plain, Valid, false, Failure::Unreachable, Failure::Download, Download::NetworkError},
    {"stall", 200, Stall, Valid, false, Failure::Unreachable, Failure::Download, Download::Stalled},
    {"stall after headers", 200, Held, Valid, false, Failure::Unreachable, Failure::Download, Download::Stalled},
    {"slow drip", 200, Drip, Valid, true, none, none, Download::Saved},
    {"short body", 200, ShortBody, Valid, false, Failure::Unreachable, Failure::Download, Download::Cut},
    {"no length", 200, NoLength, Valid, true, none, none, Download::Saved},
    {"a part when all was asked for", 206, Plain, Valid, true, none, Failure::Download, Download::NetworkError},
    {"oversized", 200, Plain, Large, false, Failure::BadFormat, none, Download::Saved},
    {"oversized, no length", 200, NoLength, Large, false, Failure::BadFormat, none, Download::Saved},
    {"wrong shape", 200, Plain, Misshapen, false, Failure::BadFormat, Failure::UnpackFailed, Download::Saved},
};

/// Valid JSON padded past a cap.
QByteArray padded(qint64 cap, const QByteArray &item)
{
    return "[" + QByteArray(cap, ' ') + item + "]";
}

void addKindRows(const QByteArrayList &leftOut = {})
{
    QTest::addColumn<int>("kind");
    for (int kind = 0; kind < int(std::size(kinds)); ++kind) {
        if (!leftOut.contains(kinds[kind].name))
            QTest::newRow(kinds[kind].name) << kind;
    }
}
} // namespace

class TestFaults final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void answer_data();
    void answer();
    void versionCheck_data() { addKindRows(); }
    void versionCheck();
    void updateArchive_data() { addKindRows(); }
    void updateArchive();
    void clientInstaller_data();
    void clientInstaller();
    void requestsLeaveASafeLineEach();
    void heldLogRotatesOnceItGrew();

private:
    /// Serves kind's answer on route; returns its address, with a query the log leaves out.
    QString serve(const QString &route, Path path, const Kind &kind);
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<NetworkManager> m_manager;
    LauncherEnvironment m_env;
    QList<QByteArrayList> m_bodies; ///< by path and body
};

void TestFaults::initTestCase()
{
    const QTemporaryDir scratch;
    writeRecorder(scratch.filePath("stage/setup.exe"));
    const QByteArray archive = zipOf(scratch.filePath("stage"));
    const QByteArray jpeg = readFile(VELOR_TEST_DATA "/red.jpg");
    const QByteArray page = "<html><body>Oops</body></html>";
    const QByteArray version = R"({"version":"9.0","download_url":"https://u.test/u.zip"})";
    // Past each answer's cap: spaces inside valid JSON, junk after a picture; downloads have no cap.
    m_bodies = {
        {R"([{"online":5}])", padded(StatusPoller::maxAnswerBytes, R"({"online":5})"), R"({"online":5})", page},
        {R"([{"title":"t"}])", padded(NewsSource::maxAnswerBytes, R"({"title":"t"})"), R"({"data":5})", page},
        {jpeg, jpeg + QByteArray(NewsPicture::maxBytes, '\0'), page, page},
        {version, padded(Updater::maxAnswerBytes, version).mid(1).chopped(1), "[]", page},
        {archive, archive, page, page},
        {"installer", QByteArray(40 << 20, 'x'), page, page},
    };
}

void TestFaults::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<FixtureServer>();
    m_manager = std::make_unique<NetworkManager>([](const QNetworkProxyQuery &) { return QList<QNetworkProxy>(); });
    m_env = testEnvironment(m_scratch->filePath("env"));
    m_env.apiBase = m_server->url();
}

QString TestFaults::serve(const QString &route, Path path, const Kind &kind)
{
    m_server->routes[route] = Route{kind.status, m_bodies[path][kind.body], kind.fault};
    return (kind.status ? m_server->url(route) : FixtureServer::refusedUrl(route)) + "?token=secret";
}

void TestFaults::answer_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<int>("kind");
    for (const Path path : {Status, News, Picture}) {
        for (int kind = 0; kind < int(std::size(kinds)); ++kind)
            QTest::addRow("%s: %s", pathNames[path], kinds[kind].name) << int(path) << kind;
    }
}

void TestFaults::answer()
{
    QFETCH(int, path);
    QFETCH(int, kind);
    const QString url = serve("/r", Path(path), kinds[kind]);
    StatusPoller poller(m_manager.get(), url, 3600000, 300);
    NewsSource source(m_manager.get(), url, 300);
    NewsPictureLoader loader(m_manager.get(), 300);
    std::optional<bool> taken;
    const auto take = [&taken](bool value) { return [&taken, value] { taken = value; }; };
    connect(&poller, &StatusPoller::onlineChanged, this, take(true));
    connect(&source, &NewsSource::newsReady, this, take(true));
    connect(&source, &NewsSource::failed, this, take(false));
    connect(&loader, &NewsPictureLoader::pictureReady, this, take(true));
    connect(&loader, &NewsPictureLoader::pictureFailed, this, take(false));
    // The status poll ends with its one reply and reports nothing else.
    QSignalSpy done(m_manager.get(), &QNetworkAccessManager::finished);
    if (path == Status)
        poller.start();
    if (path == News)
        source.fetch();
    if (path == Picture)
        loader.load(0, url, QRectF(0, 0, 162, 162), 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(taken || (path == Status && !done.isEmpty()), 10000);
    QCOMPARE(taken.value_or(false), kinds[kind].taken);
    if (kinds[kind].fault == Challenge)
        QCOMPARE(m_server->requests.count("/r"), 1); // never answered
}

void TestFaults::versionCheck()
{
    QFETCH(int, kind);
    m_env.apiBase = serve("/launcher/version", Version, kinds[kind]).section("/launcher/version", 0, 0);
    Updater updater(m_env, m_manager.get());
    std::optional<Failure> failure;
    QSignalSpy started(&updater, &Updater::updateStarted);
    connect(&updater, &Updater::checkFailed, this, [&failure](const Updater::Failure &f) { failure = f.kind; });
    updater.checkForUpdates(false);
    QTRY_VERIFY_WITH_TIMEOUT(failure || !started.isEmpty(), 10000);
    QCOMPARE(failure, kinds[kind].check);
    if (kinds[kind].fault == Challenge)
        QCOMPARE(m_server->requests.count("/launcher/version"), 1);
}

void TestFaults::updateArchive()
{
    QFETCH(int, kind);
    const Kind &k = kinds[kind];
    const QByteArray url = serve("/r", Archive, k).toUtf8();
    m_server->routes["/launcher/version"] = Route{200, R"({"version":"9.0","download_url":")" + url + "\"}"};
    bool installed = false;
    m_env.quitApplication = [&installed] { installed = true; };
    Updater updater(m_env, m_manager.get());
    std::optional<Updater::Failure> failure;
    connect(&updater, &Updater::updateFailed, this, [&failure](const Updater::Failure &f) { failure = f; });
    updater.checkForUpdates(false);
    QTRY_VERIFY_WITH_TIMEOUT(failure || installed, 10000);
    QCOMPARE(failure ? std::optional(failure->kind) : none, k.archive);
    if (k.archive == Failure::Download)
        QCOMPARE(failure->download.kind, k.download);
    if (k.fault == Challenge)
        QCOMPARE(m_server->requests.count("/r"), 1);
}

void TestFaults::clientInstaller_data()
{
    // The download's own test saves a file with and without a length, and gives up on one cut every time.
    addKindRows({"fine", "no length", "short body"});
}

void TestFaults::clientInstaller()
{
    QFETCH(int, kind);
    FileDownload download(m_manager.get(), 300);
    download.setResumeDelays(m_env.resumeDelaysMs);
    QSignalSpy finished(&download, &FileDownload::finished);
    download.start(serve("/r", Installer, kinds[kind]), m_scratch->filePath("setup.exe"));
    QVERIFY(finished.wait(10000));
    const auto outcome = finished.at(0).at(0).value<FileDownload::Outcome>();
    QCOMPARE(outcome.kind, kinds[kind].download);
    if (kinds[kind].fault == Challenge)
        QCOMPARE(m_server->requests.count("/r"), 1);
}

void TestFaults::requestsLeaveASafeLineEach()
{
    // A line each, rotated, without the queries; a text from a server is one line, whatever it holds.
    const QTemporaryDir logs;
    LogFile log(logs.path(), 8192);
    log.install();
    while (!QFile::exists(logs.filePath("launcher.2.log")))
        log.write(QtInfoMsg, "t", "x");
    m_server->routes["/r"] = Route{404, "<html>Oops</html>"};
    for (const QString &url : {m_server->url("/r"), FixtureServer::refusedUrl("/r")}) {
        QNetworkReply *reply = m_manager->get(QNetworkRequest(QUrl(url + "?token=secret")));
        QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait());
        reply->deleteLater();
    }
    log.write(QtWarningMsg, "feed", "404 Status\r2030-01-01 forged\x1b\u0085\u2028\u2029\x7f\t");
    QString written;
    const QStringList files{"launcher.1.log", "launcher.2.log", "launcher.log"};
    QCOMPARE(QDir(logs.path()).entryList(QDir::Files), files);
    for (const QString &file : files) {
        QVERIFY(QFileInfo(logs.filePath(file)).size() <= 8192);
        written += QString::fromUtf8(readFile(logs.filePath(file)));
    }
    QVERIFY2(written.contains("/r -> 404, "), qPrintable(written));
    QVERIFY(written.contains("/r -> no answer, 0 bytes, "));
    QVERIFY(!written.contains("secret"));
    QVERIFY(!written.contains(QRegularExpression("[\\x00-\\x09\\x0b-\\x1f\\x7f-\\x9f\\x{2028}\\x{2029}]")));
}

void TestFaults::heldLogRotatesOnceItGrew()
{
    // A live file another launcher holds leaves the older files alone, and is tried again
    // only once it has grown by another maxBytes.
    const QTemporaryDir logs;
    LogFile log(logs.path(), 8192);
    while (!QFile::exists(logs.filePath("launcher.2.log")))
        log.write(QtInfoMsg, "t", "x");
    QDir(logs.path()).mkpath("launcher.3.log/held");
    const QByteArray oldest = readFile(logs.filePath("launcher.2.log"));
    for (int line = 0; line < 300; ++line)
        log.write(QtInfoMsg, "t", "x");
    QCOMPARE(readFile(logs.filePath("launcher.2.log")), oldest);
    QDir(logs.filePath("launcher.3.log")).removeRecursively();
    log.write(QtInfoMsg, "t", "x");
    QVERIFY(QFileInfo(logs.filePath("launcher.log")).size() > 8192);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
