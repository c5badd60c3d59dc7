#include "fixtureserver.h"
#include "launchtestsupport.h"
#include "testenvironment.h"
#include "updatefixture.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"
#include "ui/styledprogressdialog.h"
#include "update/updater.h"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using Response = FixtureServer::Response;
using Behaviour = FixtureServer::Behaviour;

namespace {
enum class Path { Status, News, Picture, Version, Archive, Installer };
enum class Kind { Refused, Reset, NotFound, ServerError, HttpsToHttp, Stall, Drip, ShortBody, NoLength, Oversized, WrongShape };
constexpr int pathCount = 6;
constexpr int kindCount = 11;

const char *const pathNames[pathCount] = {"status poll", "news list", "news picture",
                                          "version check", "update archive", "client installer"};
const char *const kindNames[kindCount] = {"refused", "reset", "HTTP 404", "HTTP 500", "https>http", "stall",
                                          "slow drip", "short body", "no length", "oversized", "wrong shape"};

// Every request and download gives up after this much silence. The drip
// pauses a tenth of that between pieces and takes half as long again in all.
constexpr int silenceMs = 300;
constexpr int dripPieces = 15;

const QString statusRoute = u"/servers"_s;
const QString newsRoute = u"/news"_s;
const QString pictureRoute = u"/img/picture.png"_s;
const QString versionRoute = u"/launcher/version"_s;
const QString archiveRoute = u"/files/update.zip"_s;
const QString installerRoute = u"/public/files/RAGEMultiplayer_Setup.exe"_s;
const QString archiveName = u"VelorRP_Launcher_Update.zip"_s;
const QString extractionName = u"VelorLauncher_Update"_s;
const QString installerName = u"RAGEMultiplayer_Setup.exe"_s;

const QString installerStarting = u"Установка|Сейчас запустится установщик RAGE Multiplayer.\n"
                                  u"После установки нажмите кнопку «Начать играть» снова."_s;
const QString installerFailed = u"Ошибка загрузки|Не удалось скачать RAGE Multiplayer:\n"_s;
const QString updateFailed = u"Ошибка обновления|Не удалось скачать обновление:\n"_s;
const QByteArray htmlPage = "<!DOCTYPE html><html><head><title>Error</title></head><body><h1>Oops</h1></body></html>";

Response answer(const QByteArray &body, const QByteArray &type = "application/json")
{
    Response response;
    response.body = body;
    response.contentType = type;
    return response;
}

Response html(int status)
{
    Response response = answer(htmlPage, "text/html");
    response.status = status;
    return response;
}

// A body past the launcher's size cap, sent without a length so that only
// the bytes themselves can tell.
Response unbounded(const QByteArray &valid, qint64 size, char filler, const QByteArray &type)
{
    Response response = answer(valid + QByteArray(size - valid.size(), filler), type);
    response.behaviour = Behaviour::NoContentLength;
    return response;
}

QByteArray sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray png(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 200));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return data;
}

QByteArray newsList(const QStringList &titles, const QString &img = QString())
{
    QJsonArray list;
    for (int i = 0; i < titles.size(); ++i) {
        QJsonObject item{{u"title"_s, titles.at(i)}, {u"date_iso"_s, u"2024-05-%1"_s.arg(20 - i)}};
        if (!img.isEmpty())
            item.insert(u"img"_s, img);
        list.append(item);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

QStringList titles(const QList<NewsCard *> &cards)
{
    QStringList result;
    for (const NewsCard *card : cards)
        result << card->m_titleLabel->text();
    return result;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Paths of the replies a network manager has finished, in order.
class ReplyLog final : public QObject
{
public:
    explicit ReplyLog(QNetworkAccessManager *manager)
    {
        connect(manager, &QNetworkAccessManager::finished, this,
                [this](QNetworkReply *reply) { m_paths.append(reply->url().path()); });
    }
    /// The reply's own handler runs in the same emission, so it is done too.
    bool waitFor(const QString &path, int count, int timeoutMs = 20000)
    {
        return QTest::qWaitFor([&] { return m_paths.count(path) >= count; }, timeoutMs);
    }

private:
    QStringList m_paths;
};

/**
 * The server a path's address points at. It can go away, so that its port
 * refuses connections, and come back on the same port.
 */
class Origin final
{
public:
    bool start(bool tls)
    {
        m_tls = tls;
        m_server = std::make_unique<FixtureServer>();
        const bool started = tls ? m_server->startTls() : m_server->start();
        m_port = m_server->port();
        return started;
    }
    void goAway() { m_server.reset(); }
    bool comeBack()
    {
        if (m_server)
            return true;
        m_server = std::make_unique<FixtureServer>();
        return m_server->start(m_port);
    }
    FixtureServer *server() const { return m_server.get(); }
    QString url(const QString &path = QString()) const
    {
        return u"%1://127.0.0.1:%2%3"_s.arg(m_tls ? u"https"_s : u"http"_s).arg(m_port).arg(path);
    }

private:
    std::unique_ptr<FixtureServer> m_server;
    bool m_tls = false;
    quint16 m_port = 0;
};

/// What a path's origin answers in one cell.
struct Answers
{
    Response good;      ///< the healthy answer, also behind the https>http redirect
    Response oversized;
    Response wrongShape;
    char filler = ' ';  ///< pads the bodies that break off halfway
};

/// The origin's answer for a kind. Bodies that break off halfway carry the
/// whole healthy answer in their first half, so a launcher that took what
/// arrived for the whole would show it.
Response faulty(Kind kind, const Answers &answers)
{
    Response response = answers.good;
    const QByteArray &good = answers.good.body;
    switch (kind) {
    case Kind::Reset:
    case Kind::ShortBody:
        response.body = good + QByteArray(good.size(), answers.filler);
        response.behaviour = kind == Kind::Reset ? Behaviour::ResetMidBody : Behaviour::ShortBody;
        break;
    case Kind::NotFound:
        return html(404);
    case Kind::ServerError:
        return html(500);
    case Kind::Stall:
        response.behaviour = Behaviour::Stall;
        break;
    case Kind::Drip:
        response.behaviour = Behaviour::Drip;
        response.dripChunk = int((good.size() + dripPieces - 1) / dripPieces);
        response.dripIntervalMs = silenceMs / 10;
        break;
    case Kind::NoLength:
        response.behaviour = Behaviour::NoContentLength;
        break;
    case Kind::Oversized:
        return answers.oversized;
    case Kind::WrongShape:
        return answers.wrongShape;
    case Kind::Refused:
    case Kind::HttpsToHttp:
        break;
    }
    return response;
}

struct CellResult
{
    bool run = false;
    bool passed = false;
    QString outcome;
};
} // namespace

Q_DECLARE_METATYPE(Path)
Q_DECLARE_METATYPE(Kind)

class TestFaultMatrix final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void cell_data();
    void cell();

private:
    void addCell(Path path, Kind kind, const QString &outcome, const QString &text = QString());
    LauncherEnvironment environment();
    std::unique_ptr<MainWindow> makeWindow(const LauncherEnvironment &env);
    /// Watches the window's own network manager; the updater keeps another.
    static std::unique_ptr<ReplyLog> windowLog(MainWindow *window);
    /// Sets the origin misbehaving on route as kind says.
    void inject(Kind kind, const QString &route, const Answers &answers);
    /// The origin is back and answers route healthily.
    bool recover(const QString &route, const Response &response);
    QStringList tempEntries() const;
    /// Waits until the news row shows exactly these titles.
    bool waitForTitles(const QStringList &expected);
    QString expand(QString text, const QString &route) const;

    void statusPoll(Kind kind, const QString &outcome);
    void newsRow(Kind kind, const QString &outcome);
    void newsPicture(Kind kind, const QString &outcome);
    void versionCheck(Kind kind, const QString &outcome, const QString &text);
    void updateArchive(Kind kind, const QString &outcome, const QString &text);
    void clientInstaller(Kind kind, const QString &outcome, const QString &text);

    // Shared by all cells.
    std::unique_ptr<QTemporaryDir> m_shared;
    QByteArray m_archive;      // a zip holding setup.exe
    QByteArray m_largeArchive; // the same with 6 MB more, stored uncompressed
    QString m_archiveRecord;   // where the archive's setup.exe records its start
    CellResult m_results[pathCount][kindCount];

    // One cell's.
    Path m_path = Path::Status;
    Kind m_kind = Kind::Refused;
    QString m_outcome;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FixtureServer> m_server; // plain http: the other side of each path
    Origin m_origin;
    LauncherEnvironment m_env;
    std::unique_ptr<MainWindow> m_window;
    int m_quits = 0;
};

void TestFaultMatrix::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    FixtureServer::trustFixtureCertificate();

    m_shared = std::make_unique<QTemporaryDir>();
    QVERIFY(m_shared->isValid());
    m_archiveRecord = m_shared->filePath(u"archive installer started"_s);
    const QString stage = m_shared->filePath(u"stage"_s);
    QVERIFY(!writeFile(stage + u"/setup.exe"_s, UpdateFixture::installerScript(m_archiveRecord), true).isEmpty());
    QVERIFY(!writeFile(stage + u"/data.bin"_s, FixtureServer::generatedBytes(0, 6 << 20)).isEmpty());
    const QString small = m_shared->filePath(u"small.zip"_s);
    const QString large = m_shared->filePath(u"large.zip"_s);
    QVERIFY(UpdateFixture::makeZip(stage, {u"setup.exe"_s}, small));
    QVERIFY(UpdateFixture::makeZip(stage, {u"setup.exe"_s, u"data.bin"_s}, large, {u"-0"_s}));
    m_archive = readAll(small);
    m_largeArchive = readAll(large);
    QVERIFY(m_largeArchive.size() > 6 << 20);
}

void TestFaultMatrix::cleanup()
{
    CellResult &result = m_results[int(m_path)][int(m_kind)];
    result.run = true;
    result.passed = !QTest::currentTestFailed();
    result.outcome = m_outcome;

    m_window.reset();
    m_origin.goAway();
    m_server.reset();
    m_dir.reset();
}

void TestFaultMatrix::cleanupTestCase()
{
    const auto pad = [](const QString &text, int width) { return text.leftJustified(width, u' '); };
    constexpr int first = 17;
    constexpr int width = 17;
    int cells = 0;
    int passed = 0;
    QString header = pad(u"path \\ failure"_s, first);
    for (const char *kind : kindNames)
        header += pad(QString::fromLatin1(kind), width);
    qInfo().noquote() << "Fault matrix:";
    qInfo().noquote() << header;
    for (int path = 0; path < pathCount; ++path) {
        QString line = pad(QString::fromLatin1(pathNames[path]), first);
        for (int kind = 0; kind < kindCount; ++kind) {
            const CellResult &result = m_results[path][kind];
            if (!result.run) {
                line += pad(u"-"_s, width);
                continue;
            }
            ++cells;
            passed += result.passed ? 1 : 0;
            line += pad((result.passed ? u"ok "_s : u"FAIL "_s) + result.outcome, width);
        }
        qInfo().noquote() << line;
    }
    qInfo().noquote() << u"%1 paths x %2 failure kinds: %3 cells run, %4 ok, %5 failed"_s.arg(pathCount)
                             .arg(kindCount)
                             .arg(cells)
                             .arg(passed)
                             .arg(cells - passed);
    m_shared.reset();
}

void TestFaultMatrix::addCell(Path path, Kind kind, const QString &outcome, const QString &text)
{
    QTest::addRow("%s / %s", pathNames[int(path)], kindNames[int(kind)]) << path << kind << outcome << text;
}

// The expected outcome of every cell. Status, news and pictures fail in
// silence and leave what is shown; the version check reports to a caller
// that asks (the window asks silently); the two downloads end in one box or
// signal with the reason, and leave no file under the final name.
// In the texts, %URL% is the address the request went to.
void TestFaultMatrix::cell_data()
{
    QTest::addColumn<Path>("path");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("outcome"); // one word for the printed matrix
    QTest::addColumn<QString>("text");    // the failure's reason, where the path reports one

    const QString kept = u"kept"_s;
    const QString shown = u"shown"_s;
    for (const Path path : {Path::Status, Path::News}) {
        addCell(path, Kind::Refused, kept);
        addCell(path, Kind::Reset, kept);
        addCell(path, Kind::NotFound, kept);
        addCell(path, Kind::ServerError, kept);
        addCell(path, Kind::HttpsToHttp, kept);
        addCell(path, Kind::Stall, kept);
        addCell(path, Kind::Drip, shown);
        addCell(path, Kind::ShortBody, kept);
        addCell(path, Kind::NoLength, shown);
        // Past the 16 MB cap the answer is dropped, even though it is valid JSON.
        addCell(path, Kind::Oversized, kept);
        // Status: an object, not an array; news: an object without "data".
        addCell(path, Kind::WrongShape, kept);
    }

    const QString placeholder = u"placeholder"_s;
    const QString pictured = u"pictured"_s;
    addCell(Path::Picture, Kind::Refused, placeholder);
    addCell(Path::Picture, Kind::Reset, placeholder);
    addCell(Path::Picture, Kind::NotFound, placeholder);
    addCell(Path::Picture, Kind::ServerError, placeholder);
    addCell(Path::Picture, Kind::HttpsToHttp, placeholder);
    addCell(Path::Picture, Kind::Stall, placeholder);
    addCell(Path::Picture, Kind::Drip, pictured);
    addCell(Path::Picture, Kind::ShortBody, placeholder);
    addCell(Path::Picture, Kind::NoLength, pictured);
    // A decodable picture padded past the 32 MB cap.
    addCell(Path::Picture, Kind::Oversized, placeholder);
    // JSON served as the picture.
    addCell(Path::Picture, Kind::WrongShape, placeholder);

    // The window's check is silent: "silent" cells show nothing at all,
    // "offered" cells start the update (whose archive is refused at once).
    const QString silent = u"silent"_s;
    const QString offered = u"offered"_s;
    const QString badFormat = u"Неверный формат ответа сервера"_s;
    addCell(Path::Version, Kind::Refused, silent, u"Connection refused"_s);
    addCell(Path::Version, Kind::Reset, silent, u"Connection closed"_s);
    addCell(Path::Version, Kind::NotFound, silent, u"Error transferring %URL% - server replied: Not Found"_s);
    addCell(Path::Version, Kind::ServerError, silent,
            u"Error transferring %URL% - server replied: Internal Server Error"_s);
    addCell(Path::Version, Kind::HttpsToHttp, silent, u"Insecure redirect"_s);
    addCell(Path::Version, Kind::Stall, silent, u"Operation canceled"_s);
    addCell(Path::Version, Kind::Drip, offered);
    addCell(Path::Version, Kind::ShortBody, silent, u"Connection closed"_s);
    addCell(Path::Version, Kind::NoLength, offered);
    // Past the 1 MB cap.
    addCell(Path::Version, Kind::Oversized, silent, badFormat);
    // The right object inside an array.
    addCell(Path::Version, Kind::WrongShape, silent, badFormat);

    // The version answer carries the archive's "sha256"; "installed" cells
    // go on to unpack it and start its installer.
    const QString failed = u"failed"_s;
    const QString installed = u"installed"_s;
    const QString stalled = u"Загрузка прервана: сервер не присылал данных 1 с."_s;
    addCell(Path::Archive, Kind::Refused, failed, u"Connection refused"_s);
    addCell(Path::Archive, Kind::Reset, failed, u"Connection closed"_s);
    addCell(Path::Archive, Kind::NotFound, failed, u"Error transferring %URL% - server replied: Not Found"_s);
    addCell(Path::Archive, Kind::ServerError, failed,
            u"Error transferring %URL% - server replied: Internal Server Error"_s);
    addCell(Path::Archive, Kind::HttpsToHttp, failed, u"Insecure redirect"_s);
    addCell(Path::Archive, Kind::Stall, failed, stalled);
    addCell(Path::Archive, Kind::Drip, installed);
    addCell(Path::Archive, Kind::ShortBody, failed, u"Connection closed"_s);
    addCell(Path::Archive, Kind::NoLength, installed);
    // An archive of more than 6 MB is no error: streamed, verified, installed.
    addCell(Path::Archive, Kind::Oversized, installed);
    // An HTML page served with 200 does not match the announced checksum.
    addCell(Path::Archive, Kind::WrongShape, failed, u"Контрольная сумма обновления не совпадает"_s);

    const QString box = u"box"_s;
    const QString started = u"started"_s;
    addCell(Path::Installer, Kind::Refused, box, u"Connection refused"_s);
    addCell(Path::Installer, Kind::Reset, box, u"Connection closed"_s);
    addCell(Path::Installer, Kind::NotFound, box, u"Error transferring %URL% - server replied: Not Found"_s);
    addCell(Path::Installer, Kind::ServerError, box,
            u"Error transferring %URL% - server replied: Internal Server Error"_s);
    addCell(Path::Installer, Kind::HttpsToHttp, box, u"Insecure redirect"_s);
    addCell(Path::Installer, Kind::Stall, box, stalled);
    addCell(Path::Installer, Kind::Drip, started);
    addCell(Path::Installer, Kind::ShortBody, box, u"Connection closed"_s);
    addCell(Path::Installer, Kind::NoLength, started);
    // An installer of 8 MB is no error.
    addCell(Path::Installer, Kind::Oversized, started);
    // Nothing vouches for the installer's contents: an HTML page is saved as
    // it came, and then fails to start.
    addCell(Path::Installer, Kind::WrongShape, u"unstartable"_s,
            u"Ошибка|Не удалось запустить установщик RAGE Multiplayer:\n%TEMP%/RAGEMultiplayer_Setup.exe"_s);
}

void TestFaultMatrix::cell()
{
    QFETCH(Path, path);
    QFETCH(Kind, kind);
    QFETCH(QString, outcome);
    QFETCH(QString, text);
    m_path = path;
    m_kind = kind;
    m_outcome = outcome;

    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<FixtureServer>();
    QVERIFY(m_server->start());
    QVERIFY(m_origin.start(kind == Kind::HttpsToHttp));
    m_env = environment();

    switch (path) {
    case Path::Status:
        statusPoll(kind, outcome);
        break;
    case Path::News:
        newsRow(kind, outcome);
        break;
    case Path::Picture:
        newsPicture(kind, outcome);
        break;
    case Path::Version:
        versionCheck(kind, outcome, text);
        break;
    case Path::Archive:
        updateArchive(kind, outcome, text);
        break;
    case Path::Installer:
        clientInstaller(kind, outcome, text);
        break;
    }
}

LauncherEnvironment TestFaultMatrix::environment()
{
    LauncherEnvironment env = testEnvironment(m_dir->path());
    env.apiBase = m_server->url();
    env.statusIntervalMs = 3600 * 1000; // the test polls by hand
    env.requestTimeoutMs = silenceMs;
    env.downloadStallTimeoutMs = silenceMs;
    m_quits = 0;
    env.quitApplication = [this] { ++m_quits; };
    return env;
}

std::unique_ptr<MainWindow> TestFaultMatrix::makeWindow(const LauncherEnvironment &env)
{
    auto window = std::make_unique<MainWindow>(env);
    window->show();
    return window;
}

std::unique_ptr<ReplyLog> TestFaultMatrix::windowLog(MainWindow *window)
{
    for (auto *manager : window->findChildren<QNetworkAccessManager *>()) {
        if (manager->parent() == window)
            return std::make_unique<ReplyLog>(manager);
    }
    return nullptr;
}

void TestFaultMatrix::inject(Kind kind, const QString &route, const Answers &answers)
{
    switch (kind) {
    case Kind::Refused:
        m_origin.goAway();
        break;
    case Kind::HttpsToHttp:
        // Followed, the redirect would bring the healthy answer.
        m_server->setRoute(route, answers.good);
        m_origin.server()->setRedirect(route, m_server->url(route));
        break;
    default:
        m_origin.server()->setRoute(route, faulty(kind, answers));
        break;
    }
}

bool TestFaultMatrix::recover(const QString &route, const Response &response)
{
    if (!m_origin.comeBack())
        return false;
    m_origin.server()->setRoute(route, response);
    return true;
}

QStringList TestFaultMatrix::tempEntries() const
{
    return QDir(m_env.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

bool TestFaultMatrix::waitForTitles(const QStringList &expected)
{
    // Replaced cards go with the next deferred deletion.
    return QTest::qWaitFor(
        [this, &expected] { return titles(m_window->findChildren<NewsCard *>(u"newsCard"_s)) == expected; }, 20000);
}

QString TestFaultMatrix::expand(QString text, const QString &route) const
{
    return text.replace(u"%URL%"_s, m_origin.url(route)).replace(u"%TEMP%"_s, m_env.tempFolder);
}

void TestFaultMatrix::statusPoll(Kind kind, const QString &outcome)
{
    const QString before = u"1\u00a0234"_s;
    Answers answers;
    answers.good = answer(R"([{"online":12},{"online":30}])");
    answers.oversized = unbounded(R"([{"online":5}])", (qint64(16) << 20) + 4096, ' ', "application/json");
    answers.wrongShape = answer(R"({"online":5})");

    m_env.apiBase = m_origin.url();
    m_origin.server()->setRoute(statusRoute, answer(R"([{"online":1234}])"));
    m_window = makeWindow(m_env);
    const std::unique_ptr<ReplyLog> log = windowLog(m_window.get());
    QVERIFY(log);
    auto *label = m_window->findChild<QLabel *>(u"onlineLabel"_s);
    QVERIFY(QTest::qWaitFor([label, &before] { return label->text() == before; }, 20000));

    inject(kind, statusRoute, answers);
    QMetaObject::invokeMethod(m_window.get(), "fetchServerData");
    QVERIFY(log->waitFor(statusRoute, 2));
    QCOMPARE(label->text(), outcome == u"shown"_s ? u"42"_s : before);
    QCOMPARE(m_server->requestCount(statusRoute), 0); // an https>http redirect is never followed

    // The next poll goes out and its answer is shown.
    QVERIFY(recover(statusRoute, answer(R"([{"online":77}])")));
    QMetaObject::invokeMethod(m_window.get(), "fetchServerData");
    QVERIFY(log->waitFor(statusRoute, 3));
    QCOMPARE(label->text(), u"77"_s);
}

void TestFaultMatrix::newsRow(Kind kind, const QString &outcome)
{
    Answers answers;
    answers.good = answer(newsList({u"g0"_s, u"g1"_s}));
    QByteArray valid = newsList({u"o0"_s});
    answers.oversized = unbounded(valid, (qint64(16) << 20) + 4096, ' ', "application/json");
    answers.wrongShape = answer(R"({"news":[{"title":"w0"}]})");

    m_env.apiBase = m_origin.url();
    m_origin.server()->setRoute(newsRoute, answer(newsList({u"b0"_s, u"b1"_s, u"b2"_s})));
    m_window = makeWindow(m_env);
    const std::unique_ptr<ReplyLog> log = windowLog(m_window.get());
    QVERIFY(log);
    QVERIFY(log->waitFor(newsRoute, 1));
    const QList<NewsCard *> before = m_window->findChildren<NewsCard *>(u"newsCard"_s);
    QCOMPARE(titles(before), (QStringList{u"b0"_s, u"b1"_s, u"b2"_s}));

    inject(kind, newsRoute, answers);
    QMetaObject::invokeMethod(m_window.get(), "fetchNewsData");
    QVERIFY(log->waitFor(newsRoute, 2));
    QCOMPARE(m_server->requestCount(newsRoute), 0); // an https>http redirect is never followed
    if (outcome == u"shown"_s) {
        QVERIFY(waitForTitles({u"g0"_s, u"g1"_s}));
    } else {
        QCOMPARE(m_window->findChildren<NewsCard *>(u"newsCard"_s), before);
        QCOMPARE(titles(before), (QStringList{u"b0"_s, u"b1"_s, u"b2"_s}));
        for (const NewsCard *card : before)
            QVERIFY(card->isVisible());
    }

    QVERIFY(recover(newsRoute, answer(newsList({u"r0"_s}))));
    QMetaObject::invokeMethod(m_window.get(), "fetchNewsData");
    QVERIFY(log->waitFor(newsRoute, 3));
    QVERIFY(waitForTitles({u"r0"_s}));
}

void TestFaultMatrix::newsPicture(Kind kind, const QString &outcome)
{
    Answers answers;
    answers.good = answer(png(QSize(320, 180)), "image/png");
    answers.oversized = unbounded(answers.good.body, (qint64(32) << 20) + 4096, '\0', "image/png");
    answers.wrongShape = answer(R"({"img":"picture.png","width":320})", "image/png");
    answers.filler = '\0'; // a PNG reader stops at the end of the image

    inject(kind, pictureRoute, answers);
    m_server->setRoute(newsRoute, answer(newsList({u"p0"_s}, m_origin.url(pictureRoute))));
    m_window = makeWindow(m_env);
    const std::unique_ptr<ReplyLog> log = windowLog(m_window.get());
    QVERIFY(log);
    QVERIFY(log->waitFor(pictureRoute, 1));
    const QList<NewsCard *> cards = m_window->findChildren<NewsCard *>(u"newsCard"_s);
    QCOMPARE(titles(cards), QStringList{u"p0"_s});
    QCOMPARE(cards.first()->m_image.isNull(), outcome != u"pictured"_s);
    QCOMPARE(m_server->requestCount(pictureRoute), 0); // an https>http redirect is never followed

    // A later picture from the same origin arrives.
    const QString again = u"/img/again.png"_s;
    QVERIFY(recover(again, answer(png(QSize(64, 64)), "image/png")));
    m_server->setRoute(newsRoute, answer(newsList({u"p1"_s}, m_origin.url(again))));
    QMetaObject::invokeMethod(m_window.get(), "fetchNewsData");
    QVERIFY(log->waitFor(again, 1));
    QVERIFY(waitForTitles({u"p1"_s}));
    QVERIFY(!m_window->findChildren<NewsCard *>(u"newsCard"_s).first()->m_image.isNull());
}

void TestFaultMatrix::versionCheck(Kind kind, const QString &outcome, const QString &text)
{
    // The archive's address refuses at once, so a window that acts on the
    // answer ends in its failure box.
    const QString archiveUrl = FixtureServer::refusedUrl(u"/u.zip"_s);
    const QByteArray good = R"({"version":"1.2.0","download_url":")" + archiveUrl.toUtf8() + R"("})";
    Answers answers;
    answers.good = answer(good);
    answers.oversized = unbounded(good, (qint64(1) << 20) + 4096, ' ', "application/json");
    answers.wrongShape = answer('[' + good + ']');

    m_env.apiBase = m_origin.url();
    inject(kind, versionRoute, answers);
    const bool newer = outcome == u"offered"_s;

    // Asked directly and not silently: one signal with the reason.
    auto updater = std::make_unique<Updater>(m_env);
    QSignalSpy available(updater.get(), &Updater::updateAvailable);
    QSignalSpy none(updater.get(), &Updater::noUpdateAvailable);
    QSignalSpy failed(updater.get(), &Updater::updateCheckFailed);
    updater->checkForUpdates(false);
    QVERIFY(QTest::qWaitFor([&] { return available.count() + none.count() + failed.count() > 0; }, 20000));
    QCOMPARE(available.count() + none.count() + failed.count(), 1);
    if (newer) {
        QCOMPARE(available.count(), 1);
        QCOMPARE(available.first().first().toString(), u"1.2.0"_s);
    } else {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), expand(text, versionRoute));
    }
    QCOMPARE(m_server->requestCount(versionRoute), 0); // an https>http redirect is never followed

    // The window asks silently: a failed check shows nothing at all.
    ModalWatcher watcher;
    m_window = makeWindow(m_env);
    auto *windowUpdater = m_window->findChild<Updater *>();
    QVERIFY(windowUpdater);
    ReplyLog windowChecks(windowUpdater->findChild<QNetworkAccessManager *>());
    QVERIFY(windowChecks.waitFor(versionRoute, 1));
    if (newer) {
        QVERIFY(QTest::qWaitFor([&watcher] { return !watcher.boxes.isEmpty() && !QApplication::activeModalWidget(); },
                                20000));
        QCOMPARE(watcher.boxes.size(), 1);
        QCOMPARE(watcher.boxes.first().title + u'|' + watcher.boxes.first().text,
                 updateFailed + u"Connection refused"_s);
    } else {
        // A dialog or box would have opened inside the reply's handler, which has run.
        QVERIFY(watcher.boxes.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!m_window->findChild<StyledProgressDialog *>());
    }
    QVERIFY(watcher.stuck.isEmpty());
    bool posted = false;
    QMetaObject::invokeMethod(m_window.get(), [&posted] { posted = true; }, Qt::QueuedConnection);
    QVERIFY(QTest::qWaitFor([&posted] { return posted; }, 5000));

    // A later check gets through.
    QVERIFY(recover(versionRoute, answers.good));
    available.clear();
    updater->checkForUpdates(false);
    QVERIFY(available.wait(20000));
    QCOMPARE(available.first().first().toString(), u"1.2.0"_s);
}

void TestFaultMatrix::updateArchive(Kind kind, const QString &outcome, const QString &text)
{
    const QByteArray archive = kind == Kind::Oversized ? m_largeArchive : m_archive;
    Answers answers;
    answers.good = answer(archive, "application/zip");
    answers.oversized = answers.good;
    answers.wrongShape = answer(htmlPage, "text/html");
    answers.filler = '\0';
    QFile::remove(m_archiveRecord);

    inject(kind, archiveRoute, answers);
    m_server->setJson(versionRoute, R"({"version":"1.2.0","download_url":")" + m_origin.url(archiveRoute).toUtf8()
                                        + R"(","sha256":")" + sha256Hex(archive) + R"("})");
    Updater updater(m_env);
    QSignalSpy available(&updater, &Updater::updateAvailable);
    updater.checkForUpdates(false);
    QVERIFY(available.wait(20000));

    QSignalSpy finished(&updater, &Updater::downloadFinished);
    QSignalSpy failed(&updater, &Updater::downloadFailed);
    updater.downloadUpdate(updater.downloadUrl());
    QVERIFY(QTest::qWaitFor([&] { return finished.count() + failed.count() > 0; }, 20000));
    QCOMPARE(finished.count() + failed.count(), 1);
    QCOMPARE(m_server->requestCount(archiveRoute), 0); // an https>http redirect is never followed
    const QString stored = m_env.tempFolder + u'/' + archiveName;
    if (outcome == u"installed"_s) {
        QCOMPARE(finished.first().first().toString(), stored);
        QVERIFY(readAll(stored) == archive);
        updater.installUpdate(stored);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(m_quits, 1);
        QVERIFY(QTest::qWaitFor([this] { return QFile::exists(m_archiveRecord); }, 10000));
        QCOMPARE(UpdateFixture::readLines(m_archiveRecord).value(0),
                 QDir(m_env.tempFolder + u'/' + extractionName).canonicalPath() + u"/setup.exe"_s);
        QCOMPARE(tempEntries(), QStringList{extractionName});
    } else {
        QCOMPARE(failed.first().first().toString(), expand(text, archiveRoute));
        // Nothing under the final name, and no temporary beside it.
        // The temporary goes with the reply, which is released after the signal.
        QVERIFY(QTest::qWaitFor([this] { return tempEntries().isEmpty(); }, 5000));
        QVERIFY(!QFile::exists(m_archiveRecord));
    }

    // A later download gets through.
    QVERIFY(recover(archiveRoute, answers.good));
    finished.clear();
    failed.clear();
    updater.downloadUpdate(updater.downloadUrl());
    QVERIFY(QTest::qWaitFor([&] { return finished.count() + failed.count() > 0; }, 20000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(readAll(stored) == archive);
}

void TestFaultMatrix::clientInstaller(Kind kind, const QString &outcome, const QString &text)
{
    const QString record = m_dir->filePath(u"installer started"_s);
    const QByteArray script = UpdateFixture::installerScript(record) + "exit 0\n";
    Answers answers;
    answers.good = answer(script + QByteArray(64 * 1024, '#'), "application/octet-stream");
    answers.oversized = answer(script + QByteArray(8 << 20, '#'), "application/octet-stream");
    answers.wrongShape = answer(htmlPage, "text/html");
    answers.filler = '\0';
    const Response served = faulty(kind, answers);

    m_env.clientInstallerUrl = m_origin.url(installerRoute);
    inject(kind, installerRoute, answers);
    m_window = makeWindow(m_env);
    ModalWatcher watcher;
    const auto download = [this, &watcher] {
        watcher.addStep([](QWidget *modal) {
            if (!modal || modal->objectName() != QLatin1String("clientMissingDialog"))
                return false;
            ModalWatcher::clickLater(modal->findChild<QPushButton *>(u"downloadClientButton"_s));
            return true;
        });
        ModalWatcher::clickLater(m_window->findChild<QPushButton *>(u"playButton"_s));
    };
    const auto boxLines = [&watcher] {
        QStringList lines;
        for (const ModalWatcher::Box &box : std::as_const(watcher.boxes))
            lines << box.title + u'|' + box.text;
        return lines;
    };

    QStringList expected;
    if (outcome == u"box"_s)
        expected << installerFailed + expand(text, installerRoute);
    else
        expected << installerStarting;
    if (outcome == u"unstartable"_s)
        expected << expand(text, installerRoute);

    download();
    QVERIFY(QTest::qWaitFor(
        [&] { return watcher.stepsDone() && watcher.boxes.size() >= expected.size() && !QApplication::activeModalWidget(); },
        20000));
    QCOMPARE(boxLines(), expected);
    QVERIFY(watcher.stuck.isEmpty());
    QCOMPARE(m_server->requestCount(installerRoute), 0); // an https>http redirect is never followed
    const QString saved = m_env.tempFolder + u'/' + installerName;
    if (outcome == u"box"_s) {
        // Nothing under the final name, and no temporary beside it.
        QCOMPARE(tempEntries(), QStringList());
        QVERIFY(!QFile::exists(record));
    } else {
        QCOMPARE(tempEntries(), QStringList{installerName});
        QVERIFY(readAll(saved) == served.body);
        if (outcome == u"started"_s) {
            QVERIFY(QTest::qWaitFor([&record] { return QFile::exists(record); }, 10000));
            QCOMPARE(UpdateFixture::readLines(record), QStringList{saved});
        }
    }

    // Play again: the dialog is offered anew and a healthy download starts its installer.
    QFile::remove(record);
    QVERIFY(recover(installerRoute, answers.good));
    const qsizetype shownBefore = watcher.boxes.size();
    download();
    QVERIFY(QTest::qWaitFor(
        [&] { return watcher.stepsDone() && watcher.boxes.size() > shownBefore && !QApplication::activeModalWidget(); },
        20000));
    QCOMPARE(boxLines().mid(shownBefore), QStringList{installerStarting});
    QVERIFY(QTest::qWaitFor([&record] { return QFile::exists(record); }, 10000));
    QVERIFY(readAll(saved) == answers.good.body);
    QCOMPARE(tempEntries(), QStringList{installerName});
}

QTEST_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
