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
#include "ui/wording.h"
#include "update/updater.h"

#include <QtTest>

namespace {
enum Path { Status, News, Picture, Version, Archive, Installer, PathCount };
const char *const pathNames[]
    = {"status poll", "news list", "news picture", "version check", "update archive", "client installer"};
enum Body { Valid, Large, Misshapen, Page };
const char *const stalled = "box: Загрузка прервана: сервер не присылал данных 1 с.";
/// What each kind of answer does on the paths of answers, on the update archive, and on the
/// client installer: "done" is shown, installed or saved. Downloads have no size cap, and any
/// bytes may be an installer.
struct Kind
{
    const char *name;
    int status; // 0: nothing listens
    Fault fault;
    Body body;
    const char *answer;
    const char *archive;
    const char *installer;
};
const Kind kinds[] = {
    {"fine", 200, Plain, Valid, "done", "done", "done"},
    {"refused", 0, Plain, Valid, "nothing", "box", "box"},
    {"reset mid-body", 200, Reset, Valid, "nothing", "box", "box"},
    {"HTTP 404", 404, Plain, Page, "nothing", "box", "box"},
    {"login challenge", 401, Challenge, Page, "nothing", "box", "box"},
    {"valid body, HTTP 500", 500, Plain, Valid, "nothing", "box", "box"},
    {"stall", 200, Stall, Valid, "nothing", stalled, stalled},
    {"stall after headers", 200, Held, Valid, "nothing", stalled, stalled},
    {"slow drip", 200, Drip, Valid, "done", "done", "done"},
    {"short body", 200, ShortBody, Valid, "nothing", "box", "box"},
    {"no length", 200, NoLength, Valid, "done", "done", "done"},
    {"a part when all was asked for", 206, Plain, Valid, "done", "box", "box"},
    {"oversized", 200, Plain, Large, "nothing", "done", "done"},
    {"oversized, no length", 200, NoLength, Large, "nothing", "done", "done"},
    {"wrong shape", 200, Plain, Misshapen, "nothing", "box", "done"},
};

/// Valid JSON padded past a cap.
QByteArray padded(qint64 cap, const QByteArray &item)
{
    return "[" + QByteArray(cap, ' ') + item + "]";
}
} // namespace

class TestFaults final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cell_data();
    void cell();
    void cleanupTestCase();

private:
    QTemporaryDir m_logs;
    std::unique_ptr<LogFile> m_log;
    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    NetworkManager m_manager{[](const QNetworkProxyQuery &) { return QList<QNetworkProxy>(); }};
    QList<QByteArrayList> m_bodies; ///< by path and body
};

void TestFaults::initTestCase()
{
    m_log = std::make_unique<LogFile>(m_logs.path(), 8192);
    m_log->install();
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
}

void TestFaults::cell_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<int>("kind");
    for (int path = 0; path < PathCount; ++path) {
        for (int kind = 0; kind < int(std::size(kinds)); ++kind)
            QTest::addRow("%s: %s", pathNames[path], kinds[kind].name) << path << kind;
    }
}

void TestFaults::cell()
{
    QFETCH(int, path);
    QFETCH(int, kind);
    const Kind &k = kinds[kind];
    const QString route = QString::fromLatin1(path == Version ? "/launcher/version" : "/r");
    m_server->routes[route] = Route{k.status, m_bodies[path][k.body], k.fault};
    const QString url = (k.status ? m_server->url(route) : FixtureServer::refusedUrl(route)) + "?token=secret";
    if (path == Archive)
        m_server->routes["/launcher/version"]
            = Route{200, R"({"version":"9.0","download_url":")" + url.toUtf8() + "\"}"};
    QString outcome;
    const auto say = [&outcome](const char *text) { return [&outcome, text] { outcome = QString::fromUtf8(text); }; };
    LauncherEnvironment env = testEnvironment(m_scratch->filePath("env"));
    env.apiBase = path == Version ? url.section(route, 0, 0) : m_server->url();
    env.quitApplication = say("done");
    StatusPoller poller(&m_manager, url, 3600000, 300);
    NewsSource source(&m_manager, url, 300);
    NewsPictureLoader loader(&m_manager, 300);
    Updater updater(env, &m_manager);
    FileDownload download(&m_manager, 300);
    download.setResumeDelays(env.resumeDelaysMs);
    connect(&poller, &StatusPoller::onlineChanged, this, say("done"));
    connect(&source, &NewsSource::newsReady, this, say("done"));
    connect(&source, &NewsSource::failed, this, say("nothing"));
    connect(&loader, &NewsPictureLoader::pictureReady, this, say("done"));
    connect(&loader, &NewsPictureLoader::pictureFailed, this, say("nothing"));
    connect(&updater, &Updater::checkFailed, this, say("nothing"));
    if (path == Version)
        connect(&updater, &Updater::updateStarted, this, say("done"));
    connect(&updater, &Updater::updateFailed, this,
        [&outcome](const Updater::Failure &failure) { outcome = "box: " + Wording::updateFailure(failure); });
    connect(&download, &FileDownload::finished, this, [&outcome](const FileDownload::Outcome &result) {
        const bool saved = result.kind == FileDownload::Outcome::Kind::Saved;
        outcome = saved ? "done" : "box: " + Wording::downloadFailure(result);
    });
    // The status poll ends with its one reply, the others with a report.
    QSignalSpy done(&m_manager, &QNetworkAccessManager::finished);
    const std::function<void()> start[] = {
        [&] { poller.start(); },
        [&] { source.fetch(); },
        [&] { loader.load(0, url, QRectF(0, 0, 162, 162), 1.0); },
        [&] { updater.checkForUpdates(false); },
        [&] { updater.checkForUpdates(false); },
        [&] { download.start(url, m_scratch->filePath("setup.exe")); },
    };
    start[path]();
    const auto ended = [&] { return !outcome.isEmpty() || (path == Status && !done.isEmpty()); };
    const bool over = QTest::qWaitFor(ended, 10000);
    if (outcome.isEmpty())
        outcome = QString::fromLatin1(over ? "nothing" : "hung");
    const char *const expected[] = {k.answer, k.answer, k.answer, k.answer, k.archive, k.installer};
    QVERIFY2(outcome.startsWith(QString::fromUtf8(expected[path])), qPrintable(outcome));
    if (k.fault == Challenge)
        QCOMPARE(m_server->requests.count(route), 1);
}

void TestFaults::cleanupTestCase()
{
    // What the cells asked leaves a line each in the log, rotated, without the queries;
    // a text from a server is one line, whatever it holds.
    m_log->write(QtWarningMsg, "feed", "404 Status\r2030-01-01 forged\x1b\u0085\u2028\u2029\x7f\t");
    QString log;
    const QStringList files{"launcher.1.log", "launcher.2.log", "launcher.log"};
    QCOMPARE(QDir(m_logs.path()).entryList(QDir::Files), files);
    for (const QString &file : files) {
        QVERIFY(QFileInfo(m_logs.filePath(file)).size() <= 8192);
        log += QString::fromUtf8(readFile(m_logs.filePath(file)));
    }
    QVERIFY2(log.contains("/r -> 404, "), qPrintable(log));
    QVERIFY(log.contains("/r -> no answer, 0 bytes, "));
    QVERIFY(!log.contains("secret"));
    QVERIFY(!log.contains(QRegularExpression("[\\x00-\\x09\\x0b-\\x1f\\x7f-\\x9f\\x{2028}\\x{2029}]")));
    // A live file another launcher holds leaves the older files alone, and is tried again
    // only once it has grown by another maxBytes.
    QDir(m_logs.path()).mkpath("launcher.3.log/held");
    const QByteArray oldest = readFile(m_logs.filePath("launcher.2.log"));
    for (int line = 0; line < 300; ++line)
        m_log->write(QtInfoMsg, "t", "x");
    QCOMPARE(readFile(m_logs.filePath("launcher.2.log")), oldest);
    QDir(m_logs.filePath("launcher.3.log")).removeRecursively();
    m_log->write(QtInfoMsg, "t", "x");
    QVERIFY(QFileInfo(m_logs.filePath("launcher.log")).size() > 8192);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
