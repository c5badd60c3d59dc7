// Every network-facing path against every kind of server failure: a table of
// kind -> expected outcome, printed as a matrix at the end of the run.
#include "feed/newspictureloader.h"
#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "net/filedownload.h"
#include "testsupport.h"
#include "update/updater.h"

#include <QBuffer>
#include <QImage>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
enum Path { Status, News, Picture, Version, Archive, Installer, PathCount };
enum Kind {
    Fine,
    Refused,
    Reset,
    NotFound,
    ServerError,
    ErrorWithValidBody,
    HttpsToHttp,
    Stall,
    StallAfterHeaders,
    Drip,
    ShortBody,
    NoLength,
    Oversized,
    WrongShape,
    KindCount
};
const char *const pathNames[]
    = {"status poll", "news list", "news picture", "version check", "update archive", "client installer"};
const char *const kindNames[] = {"fine", "refused", "reset mid-body", "HTTP 404", "HTTP 500", "valid body, HTTP 500",
    "https>http", "stall", "stall after headers", "slow drip", "short body", "no length", "oversized", "wrong shape"};
const QString stalled = u"box: Загрузка прервана: сервер не присылал данных 1 с."_s;

QString expected(int path, int kind)
{
    const bool download = path == Archive || path == Installer;
    // Downloads have no size cap, and any bytes may be an installer.
    const bool fine = kind == Fine || kind == Drip || kind == NoLength || (download && kind == Oversized)
        || (path == Installer && kind == WrongShape);
    if (fine)
        return QString::fromLatin1(path == Archive ? "installed" : path == Installer ? "saved" : "shown");
    if (download && (kind == Stall || kind == StallAfterHeaders))
        return stalled;
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
    void cleanupTestCase();

private:
    QString run(int path, const QString &url);
    QTemporaryDir m_scratch;
    QNetworkAccessManager m_manager;
    QByteArray m_valid[PathCount], m_wrongShape[PathCount], m_oversized[PathCount];
    QString m_outcomes[PathCount][KindCount];
};

void TestFaultMatrix::initTestCase()
{
    FixtureServer::trust();
    QImage image(320, 180, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer jpeg(&m_valid[Picture]);
    jpeg.open(QIODevice::WriteOnly);
    image.save(&jpeg, "JPEG");
    writeRecorder(m_scratch.filePath(u"stage/setup.exe"_s), m_scratch.filePath(u"installer.log"_s));
    m_valid[Archive] = zipOf(m_scratch.filePath(u"stage"_s));
    QByteArray noise(40 << 20, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    writeFile(m_scratch.filePath(u"stage/noise.bin"_s), noise);
    m_oversized[Archive] = zipOf(m_scratch.filePath(u"stage"_s));
    m_oversized[Installer] = noise;
    m_valid[Installer] = "installer";
    m_valid[Status] = R"([{"online":5}])";
    m_valid[News] = R"([{"title":"t"}])";
    m_valid[Version] = R"({"version":"9.0","download_url":"https://u.test/u.zip"})";
    m_wrongShape[Status] = R"({"online":5})";
    m_wrongShape[News] = R"({"data":5})";
    m_wrongShape[Picture] = m_wrongShape[Archive] = m_wrongShape[Installer] = "<html>not this</html>";
    m_wrongShape[Version] = "[]";
    // Past each answer's cap, sent without a length so that only the bytes
    // can tell: spaces inside valid JSON, junk after a picture.
    const qint64 caps[] = {16 << 20, 16 << 20, 32 << 20, 1 << 20};
    for (int path : {Status, News, Version})
        m_oversized[path] = m_valid[path].left(1) + QByteArray(caps[path] + 1, ' ') + m_valid[path].mid(1);
    m_oversized[Picture] = m_valid[Picture] + QByteArray(caps[Picture] + 1, '\0');
}

void TestFaultMatrix::cell_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<int>("kind");
    for (int path = 0; path < PathCount; ++path) {
        for (int kind = 0; kind < KindCount; ++kind)
            QTest::addRow("%s: %s", pathNames[path], kindNames[kind]) << path << kind;
    }
}

void TestFaultMatrix::cell()
{
    QFETCH(int, path);
    QFETCH(int, kind);
    FixtureServer server, tls(true);
    const QString route = path == Version ? u"/launcher/version"_s : u"/r"_s;
    const QByteArray valid = m_valid[path];
    const Route routes[KindCount] = {Route(200, valid), {}, Route(200, valid, Fault::Reset),
        Route(404, "<html>404</html>"), Route(500, "<html>500</html>"), Route(500, valid), {},
        Route(200, valid, Fault::Stall), Route(200, valid, Fault::StallAfterHeaders), Route(200, valid, Fault::Drip),
        Route(200, valid, Fault::ShortBody), Route(200, valid, Fault::NoLength),
        Route(200, m_oversized[path], Fault::NoLength), Route(200, m_wrongShape[path])};
    server.routes[route] = kind == HttpsToHttp ? Route(200, valid) : routes[kind];
    tls.routes[route] = Route(302, {}, Fault::None, "Location: " + server.url(route).toUtf8() + "\r\n");
    const QString url = kind == Refused ? FixtureServer::refusedUrl(route)
        : kind == HttpsToHttp           ? tls.url(route)
                                        : server.url(route);
    const QString outcome = run(path, url);
    m_outcomes[path][kind] = outcome;
    QVERIFY2(outcome.startsWith(expected(path, kind)), qPrintable(outcome));
}

QString TestFaultMatrix::run(int path, const QString &url)
{
    constexpr int silenceMs = 300;
    QString outcome;
    QSignalSpy done(&m_manager, &QNetworkAccessManager::finished);
    const auto settle = [&done] { return done.wait(10000) ? u"nothing"_s : u"hung"_s; };
    switch (path) {
    case Status: {
        StatusPoller poller(&m_manager, url, 3600000, silenceMs);
        QSignalSpy shown(&poller, &StatusPoller::onlineChanged);
        poller.start();
        outcome = settle();
        return shown.isEmpty() ? outcome : u"shown"_s;
    }
    case News: {
        NewsSource source(&m_manager, url, silenceMs);
        QSignalSpy shown(&source, &NewsSource::newsReady);
        source.fetch();
        outcome = settle();
        return shown.isEmpty() ? outcome : u"shown"_s;
    }
    case Picture: {
        NewsPictureLoader loader(&m_manager, silenceMs);
        QSignalSpy shown(&loader, &NewsPictureLoader::pictureReady);
        loader.load(this, url, 1.0);
        outcome = settle();
        return shown.isEmpty() ? outcome : u"shown"_s;
    }
    case Version:
    case Archive: {
        LauncherEnvironment env = testEnvironment(m_scratch.filePath(u"env"_s));
        env.apiBase = url.chopped(int(qstrlen("/launcher/version")));
        env.quitApplication = [&outcome] { outcome = u"installed"_s; };
        Updater updater(env);
        connect(&updater, &Updater::updateAvailable, this, [&outcome] { outcome = u"shown"_s; });
        connect(&updater, &Updater::updateCheckFailed, this, [&outcome] { outcome = u"nothing"_s; });
        connect(&updater, &Updater::downloadFinished, &updater, &Updater::installUpdate);
        connect(
            &updater, &Updater::downloadFailed, this, [&outcome](const QString &why) { outcome = u"box: "_s + why; });
        path == Version ? updater.checkForUpdates(false) : updater.downloadUpdate(url);
        return QTest::qWaitFor([&outcome] { return !outcome.isEmpty(); }, 10000) ? outcome : u"hung"_s;
    }
    default: {
        FileDownload download(&m_manager, silenceMs);
        QSignalSpy finished(&download, &FileDownload::finished);
        download.start(url, m_scratch.filePath(u"setup.exe"_s));
        if (!finished.wait(10000))
            return u"hung"_s;
        const auto result = finished.at(0).at(0).value<FileDownload::Outcome>();
        return result.kind == FileDownload::Outcome::Kind::Saved ? u"saved"_s : u"box: "_s + result.reason;
    }
    }
}

void TestFaultMatrix::cleanupTestCase()
{
    QString table = u"\n%1"_s.arg(QString(), -22);
    for (const char *path : pathNames)
        table += u"| %1"_s.arg(QLatin1String(path), -18);
    for (int kind = 0; kind < KindCount; ++kind) {
        table += u"\n%1"_s.arg(QLatin1String(kindNames[kind]), -22);
        for (int path = 0; path < PathCount; ++path)
            table += u"| %1"_s.arg(m_outcomes[path][kind].left(17), -18);
    }
    qInfo().noquote() << table;
}

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
