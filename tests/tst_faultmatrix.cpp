// Every network-facing path against every kind of server failure, from a
// table of kind -> expected outcome.
#include "feed/newspictureloader.h"
#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "net/filedownload.h"
#include "testsupport.h"
#include "update/updater.h"

#include <QNetworkAccessManager>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
enum Path { Status, News, Picture, Version, Archive, Installer, PathCount };
const char *const pathNames[]
    = {"status poll", "news list", "news picture", "version check", "update archive", "client installer"};
enum Expect { Used, Fails, Stalls, TooLarge, WrongShape };
enum Body { Valid, Large, Misshapen, Page };
struct Kind
{
    const char *name;
    Expect expect;
    int status; // 0: nothing listens; 302: from https to plain http
    Fault fault;
    Body body;
};
const Kind kinds[] = {{"fine", Used, 200, Fault::None, Valid}, {"refused", Fails, 0, Fault::None, Valid},
    {"reset mid-body", Fails, 200, Fault::Reset, Valid}, {"HTTP 404", Fails, 404, Fault::None, Page},
    {"HTTP 500", Fails, 500, Fault::None, Page}, {"valid body, HTTP 500", Fails, 500, Fault::None, Valid},
    {"https>http", Fails, 302, Fault::None, Valid}, {"stall", Stalls, 200, Fault::Stall, Valid},
    {"stall after headers", Stalls, 200, Fault::Held, Valid}, {"slow drip", Used, 200, Fault::Drip, Valid},
    {"short body", Fails, 200, Fault::ShortBody, Valid}, {"no length", Used, 200, Fault::NoLength, Valid},
    {"oversized", TooLarge, 200, Fault::None, Large}, {"oversized, no length", TooLarge, 200, Fault::NoLength, Large},
    {"wrong shape", WrongShape, 200, Fault::None, Misshapen}};
constexpr int kindCount = int(std::size(kinds));

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
} // namespace

class TestFaultMatrix final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cell_data();
    void cell();

private:
    QTemporaryDir m_scratch;
    QNetworkAccessManager m_manager;
    QList<QByteArrayList> m_bodies; ///< by path and body
};

void TestFaultMatrix::initTestCase()
{
    FixtureServer::trust();
    writeRecorder(m_scratch.filePath(u"stage/setup.exe"_s));
    const QByteArray archive = zipOf(m_scratch.filePath(u"stage"_s));
    QByteArray noise(40 << 20, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    writeFile(m_scratch.filePath(u"stage/noise.bin"_s), noise);
    const QByteArray jpeg = readFile(QStringLiteral(VELOR_TEST_DATA "/red.jpg")),
                     page = "<html><body>Oops</body></html>";
    const QByteArray version = R"({"version":"9.0","download_url":"https://u.test/u.zip"})";
    // Past each answer's cap: spaces inside valid JSON, junk after a picture.
    m_bodies = {{R"([{"online":5}])", "[" + QByteArray(16 << 20, ' ') + R"({"online":5}])", R"({"online":5})", page},
        {R"([{"title":"t"}])", "[" + QByteArray(16 << 20, ' ') + R"({"title":"t"}])", R"({"data":5})", page},
        {jpeg, jpeg + QByteArray(32 << 20, '\0'), page, page},
        {version, "{" + QByteArray(1 << 20, ' ') + version.mid(1), "[]", page},
        {archive, zipOf(m_scratch.filePath(u"stage"_s)), page, page}, {"installer", noise, page, page}};
}

void TestFaultMatrix::cell_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<int>("kind");
    for (int path = 0; path < PathCount; ++path) {
        for (int kind = 0; kind < kindCount; ++kind)
            QTest::addRow("%s: %s", pathNames[path], kinds[kind].name) << path << kind;
    }
}

void TestFaultMatrix::cell()
{
    QFETCH(int, path);
    QFETCH(int, kind);
    const Kind &k = kinds[kind];
    FixtureServer server, tls(true);
    const QString route = path == Version ? u"/launcher/version"_s : u"/r"_s;
    server.routes[route] = Route(k.status == 302 ? 200 : k.status, m_bodies[path][k.body], k.fault);
    tls.routes[route] = Route(302, {}, Fault::None, "Location: " + server.url(route).toUtf8() + "\r\n");
    const QString url = k.status == 0 ? FixtureServer::refusedUrl(route) : (k.status == 302 ? tls : server).url(route);
    constexpr int silenceMs = 300;
    QString outcome;
    const auto shown = [&outcome] { outcome = u"shown"_s; };
    LauncherEnvironment env = testEnvironment(m_scratch.filePath(u"env"_s));
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
        [&] { updater.downloadUpdate(url); }, [&] { download.start(url, m_scratch.filePath(u"setup.exe"_s)); }};
    start[path]();
    const bool ended
        = QTest::qWaitFor([&] { return !outcome.isEmpty() || (path <= Picture && !done.isEmpty()); }, 10000);
    outcome = !outcome.isEmpty() ? outcome : ended ? u"nothing"_s : u"hung"_s;
    QVERIFY2(outcome.startsWith(expected(path, k.expect)), qPrintable(outcome));
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
