#include "fixtureserver.h"
#include "testenvironment.h"
#include "updatefixture.h"
#include "update/updater.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
const QString badFormat = QStringLiteral("Неверный формат ответа сервера");
const QString badData = QStringLiteral("Неверные данные обновления");
const QString saveFailed = QStringLiteral("Не удалось сохранить файл обновления");
const QString stalled = QStringLiteral("Загрузка прервана: сервер не присылал данных 1 с.");
const QString unpackFailed = QStringLiteral("Ошибка распаковки обновления");
const QString noInstaller = QStringLiteral("Инсталлер не найден в архиве");
const QString startFailed = QStringLiteral("Не удалось запустить установщик обновления");
const QString checksumFailed = QStringLiteral("Контрольная сумма обновления не совпадает");

const QString versionPath = QStringLiteral("/launcher/version");
const QString archivePath = QStringLiteral("/files/update.zip");

QByteArray answer(const QByteArray &version, const QByteArray &url, const QByteArray &more = QByteArray())
{
    return "{\"version\":\"" + version + "\",\"download_url\":\"" + url + "\"" + more + "}";
}

/// A body that arrives in pieces of chunk bytes, 20 ms apart.
FixtureServer::Response trickle(const QByteArray &body, int chunk, int status = 200)
{
    FixtureServer::Response response;
    response.status = status;
    response.body = body;
    response.behaviour = FixtureServer::Behaviour::Drip;
    response.dripChunk = chunk;
    response.dripIntervalMs = 20;
    return response;
}

QStringList strings(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}
} // namespace

class TestUpdater final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void versionCheck_data();
    void versionCheck();
    void silentCheckReportsNoFailure_data();
    void silentCheckReportsNoFailure();
    void oneCheckAtATime();
    void answerFieldsFollowEveryObjectAnswer();

    void download_data();
    void download();
    void unstorableArchive_data();
    void unstorableArchive();
    void untrustedDownloadUrlIsRefused();
    void secondDownloadIsIgnored();

    void install_data();
    void install();
    void staleFolderIsReplaced();
    void linkedFolderIsNotEmptied();
    void unpackOutlivingItsBound();
    void unpackProgramMissing();
    void installerThatCannotStart();
    void checksum_data();
    void checksum();

private:
    std::unique_ptr<Updater> makeUpdater();
    /// Waits until the updater's own request in flight has been handled.
    bool waitForReply(Updater &updater);
    /// Answers a newer version pointing at zipPath and downloads it; returns
    /// the stored archive, or an empty string.
    QString fetchArchive(Updater &updater, const QString &zipPath, const QByteArray &more = QByteArray());
    QString stagePath(const QString &relative) const
    {
        return m_scratch->filePath(QStringLiteral("stage/") + relative);
    }
    QString extractionFolder() const { return m_env.tempFolder + QStringLiteral("/VelorLauncher_Update"); }
    QString storedArchive() const { return m_env.tempFolder + QStringLiteral("/VelorRP_Launcher_Update.zip"); }
    QString zipOf(const QStringList &entries, const QString &name = QStringLiteral("update.zip"));

    std::unique_ptr<QTemporaryDir> m_scratch;
    std::unique_ptr<FixtureServer> m_server;
    LauncherEnvironment m_env;
    QString m_record;
    int m_quits = 0;
};

void TestUpdater::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestUpdater::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
    m_server = std::make_unique<FixtureServer>();
    QVERIFY(m_server->start());
    m_env = testEnvironment(m_scratch->path());
    m_env.apiBase = m_server->url();
    m_env.requestTimeoutMs = 300;
    m_env.downloadStallTimeoutMs = 300;
    m_env.unpackTimeoutMs = 20000;
    m_quits = 0;
    m_env.quitApplication = [this] { ++m_quits; };
    m_record = m_scratch->filePath(QStringLiteral("started.txt"));
    QVERIFY(QDir().mkpath(stagePath(QString())));
}

void TestUpdater::cleanup()
{
    m_server.reset();
    m_scratch.reset();
}

std::unique_ptr<Updater> TestUpdater::makeUpdater()
{
    return std::make_unique<Updater>(m_env);
}

bool TestUpdater::waitForReply(Updater &updater)
{
    // The manager reports a reply in the same emission that runs the updater's handler.
    QSignalSpy finished(updater.findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished);
    return finished.wait(10000);
}

QString TestUpdater::zipOf(const QStringList &entries, const QString &name)
{
    const QString zipPath = m_scratch->filePath(name);
    QFile::remove(zipPath);
    return UpdateFixture::makeZip(stagePath(QString()), entries, zipPath) ? zipPath : QString();
}

QString TestUpdater::fetchArchive(Updater &updater, const QString &zipPath, const QByteArray &more)
{
    FixtureServer::Response archive;
    archive.filePath = zipPath;
    archive.contentType = "application/zip";
    m_server->setRoute(archivePath, archive);
    m_server->setJson(versionPath, answer("1.2.0", m_server->url(archivePath).toUtf8(), more));
    QSignalSpy available(&updater, &Updater::updateAvailable);
    QSignalSpy finished(&updater, &Updater::downloadFinished);
    QSignalSpy failed(&updater, &Updater::downloadFailed);
    updater.checkForUpdates(false);
    if (!available.wait(10000))
        return QString();
    QEventLoop loop;
    connect(&updater, &Updater::downloadFinished, &loop, &QEventLoop::quit);
    connect(&updater, &Updater::downloadFailed, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    updater.downloadUpdate(updater.downloadUrl());
    if (finished.isEmpty() && failed.isEmpty())
        loop.exec();
    return finished.isEmpty() ? QString() : finished.first().first().toString();
}

void TestUpdater::versionCheck_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QString>("outcome"); // "available", "none", or the failure text
    QTest::addColumn<QString>("changelog");

    using B = FixtureServer::Behaviour;
    const int normal = int(B::Normal);
    // $ stands for the fixture server's address.
    const QByteArray url = "$/files/update.zip";
    const QString available = QStringLiteral("available");
    const QString none = QStringLiteral("none");
    const QByteArray digest(64, 'a');

    QTest::newRow("newer, with changelog") << answer("1.2.0", url, ",\"changelog\":\"Исправления\"") << 200 << normal
                                           << available << QStringLiteral("Исправления");
    QTest::newRow("same version") << answer("1.1.9", url) << 200 << normal << none << QString();
    QTest::newRow("no changelog") << answer("2", url) << 200 << normal << available << QString();
    QTest::newRow("changelog not a string") << answer("2", url, ",\"changelog\":[1]") << 200 << normal << available
                                            << QString();
    QTest::newRow("unknown keys ignored") << answer("2", url, ",\"size\":5,\"x\":{}") << 200 << normal << available
                                          << QString();
    QTest::newRow("very long version") << answer(QByteArray("1.1.9") + QByteArray(".0").repeated(100000) + ".1", url)
                                       << 200 << normal << available << QString();
    QTest::newRow("part past 32 bits") << answer("1.1.4294967305", url) << 200 << normal << none << QString();
    QTest::newRow("non-ASCII digits") << answer("\xd9\xa2.\xd9\xa0", url) << 200 << normal << none << QString();

    QTest::newRow("version is a number") << QByteArray("{\"version\":1.2,\"download_url\":\"" + url + "\"}") << 200
                                         << normal << badData << QString();
    QTest::newRow("version missing") << QByteArray("{\"download_url\":\"" + url + "\"}") << 200 << normal << badData
                                     << QString();
    QTest::newRow("download_url empty") << answer("1.2.0", "") << 200 << normal << badData << QString();
    QTest::newRow("download_url is an object") << QByteArray("{\"version\":\"1.2.0\",\"download_url\":{}}") << 200
                                               << normal << badData << QString();
    QTest::newRow("plain http on another host") << answer("1.2.0", "http://updates.example.com/u.zip") << 200
                                                << normal << badData << QString();
    QTest::newRow("plain http on localhost") << answer("1.2.0", "http://localhost:9/u.zip") << 200 << normal
                                             << available << QString();
    QTest::newRow("https on another host") << answer("1.2.0", "https://updates.example.com/u.zip") << 200 << normal
                                           << available << QString();
    QTest::newRow("ftp") << answer("1.2.0", "ftp://updates.example.com/u.zip") << 200 << normal << badData
                         << QString();
    QTest::newRow("local file") << answer("1.2.0", "file:///tmp/u.zip") << 200 << normal << badData << QString();
    QTest::newRow("relative address") << answer("1.2.0", "files/u.zip") << 200 << normal << badData << QString();
    QTest::newRow("sha256 given") << answer("1.2.0", url, ",\"sha256\":\"" + digest + "\"") << 200 << normal
                                  << available << QString();
    QTest::newRow("sha256 empty") << answer("1.2.0", url, ",\"sha256\":\"\"") << 200 << normal << available
                                  << QString();
    QTest::newRow("sha256 null") << answer("1.2.0", url, ",\"sha256\":null") << 200 << normal << available
                                 << QString();
    QTest::newRow("sha256 too short") << answer("1.2.0", url, ",\"sha256\":\"abc\"") << 200 << normal << badData
                                      << QString();
    QTest::newRow("sha256 not hex") << answer("1.2.0", url, ",\"sha256\":\"" + QByteArray(64, 'g') + "\"") << 200
                                    << normal << badData << QString();
    QTest::newRow("sha256 a number") << answer("1.2.0", url, ",\"sha256\":12") << 200 << normal << badData
                                     << QString();

    QTest::newRow("invalid JSON") << QByteArray("{\"version\":") << 200 << normal << badFormat << QString();
    QTest::newRow("JSON string") << QByteArray("\"2.0\"") << 200 << normal << badFormat << QString();
    QTest::newRow("empty body") << QByteArray() << 200 << normal << badFormat << QString();
    QTest::newRow("many megabytes") << QByteArray(8 * 1024 * 1024, ' ') << 200 << normal << badFormat << QString();
    QTest::newRow("many megabytes, no length") << QByteArray(8 * 1024 * 1024, ' ') << 200 << int(B::NoContentLength)
                                               << badFormat << QString();
    QTest::newRow("object of many megabytes")
        << answer("1.2.0", url, ",\"changelog\":\"" + QByteArray(4 * 1024 * 1024, 'x') + "\"") << 200 << normal
        << badFormat << QString();

    QTest::newRow("stalls after headers") << answer("1.2.0", url) << 200 << int(B::StallAfterHeaders)
                                          << QStringLiteral("Operation canceled")
                                          << QString();
}

void TestUpdater::versionCheck()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, behaviour);
    QFETCH(QString, outcome);
    QFETCH(QString, changelog);

    FixtureServer::Response response;
    response.status = status;
    response.body = body.replace("$", m_server->url().toUtf8());
    response.behaviour = FixtureServer::Behaviour(behaviour);
    m_server->setRoute(versionPath, response);

    auto updater = makeUpdater();
    QSignalSpy available(updater.get(), &Updater::updateAvailable);
    QSignalSpy none(updater.get(), &Updater::noUpdateAvailable);
    QSignalSpy failed(updater.get(), &Updater::updateCheckFailed);
    updater->checkForUpdates(false);
    QVERIFY(waitForReply(*updater));

    QCOMPARE(available.count() + none.count() + failed.count(), 1);
    if (outcome == QLatin1String("available")) {
        QCOMPARE(available.count(), 1);
        const QString version = QJsonDocument::fromJson(body).object().value(QLatin1String("version")).toString();
        QCOMPARE(available.first().at(0).toString(), version);
        QCOMPARE(available.first().at(1).toString(), changelog);
    } else if (outcome == QLatin1String("none")) {
        QCOMPARE(none.count(), 1);
    } else {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), outcome);
    }
    // Qt itself may resend a request whose connection broke.
    if (FixtureServer::Behaviour(behaviour) == FixtureServer::Behaviour::Normal)
        QCOMPARE(m_server->requestCount(versionPath), 1);
}

void TestUpdater::silentCheckReportsNoFailure_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("HTTP 500") << QByteArray() << 500;
    QTest::newRow("invalid JSON") << QByteArray("{") << 200;
    QTest::newRow("invalid data") << answer("1.2.0", "") << 200;
}

void TestUpdater::silentCheckReportsNoFailure()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    m_server->setJson(versionPath, body, status);
    auto updater = makeUpdater();
    QSignalSpy failed(updater.get(), &Updater::updateCheckFailed);
    QSignalSpy none(updater.get(), &Updater::noUpdateAvailable);
    updater->checkForUpdates(true);
    QVERIFY(waitForReply(*updater));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(none.count(), 0);

    // Success is reported in silent mode too.
    m_server->setJson(versionPath, answer("1.1.9", "https://updates.example.com/u.zip"));
    updater->checkForUpdates(true);
    QVERIFY(waitForReply(*updater));
    QCOMPARE(none.count(), 1);
}

void TestUpdater::oneCheckAtATime()
{
    m_server->setRoute(versionPath, trickle("{}", 1, 500));

    auto updater = makeUpdater();
    QSignalSpy failed(updater.get(), &Updater::updateCheckFailed);
    updater->checkForUpdates(true);
    // The second call sends nothing, but its flag decides how the running check reports.
    updater->checkForUpdates(false);
    QVERIFY(waitForReply(*updater));
    QCOMPARE(m_server->requestCount(versionPath), 1);
    QCOMPARE(failed.count(), 1);

    // Once that check is over, a new one goes out.
    updater->checkForUpdates(false);
    QVERIFY(waitForReply(*updater));
    QCOMPARE(m_server->requestCount(versionPath), 2);
}

void TestUpdater::answerFieldsFollowEveryObjectAnswer()
{
    auto updater = makeUpdater();
    const QString first = QStringLiteral("https://updates.example.com/1.zip");
    m_server->setJson(versionPath, answer("1.2.0", first.toUtf8()));
    updater->checkForUpdates(false);
    QVERIFY(waitForReply(*updater));
    QCOMPARE(updater->downloadUrl(), first);

    // An object with unusable data still replaces what the last answer said...
    const QString second = QStringLiteral("http://updates.example.com/2.zip");
    m_server->setJson(versionPath, answer("1.3.0", second.toUtf8()));
    updater->checkForUpdates(false);
    QVERIFY(waitForReply(*updater));
    QCOMPARE(updater->downloadUrl(), second);

    // ...but an answer that is no object at all leaves it alone.
    m_server->setJson(versionPath, "[]");
    updater->checkForUpdates(false);
    QVERIFY(waitForReply(*updater));
    QCOMPARE(updater->downloadUrl(), second);
}

void TestUpdater::download_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("failure"); // empty: stored

    using B = FixtureServer::Behaviour;
    QTest::newRow("whole body") << int(B::Normal) << 200 << QString();
    QTest::newRow("no length") << int(B::NoContentLength) << 200 << QString();
    QTest::newRow("slow but steady") << int(B::Drip) << 200 << QString();
    QTest::newRow("stalls after headers") << int(B::StallAfterHeaders) << 200 << stalled;
}

void TestUpdater::download()
{
    QFETCH(int, behaviour);
    QFETCH(int, status);
    QFETCH(QString, failure);

    FixtureServer::Response response;
    response.status = status;
    response.body = FixtureServer::generatedBytes(0, 300 * 1024);
    response.behaviour = FixtureServer::Behaviour(behaviour);
    response.dripChunk = 64 * 1024;
    response.dripIntervalMs = 50; // well inside the stall bound
    m_server->setRoute(archivePath, response);

    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::downloadFinished);
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    QSignalSpy progress(updater.get(), &Updater::downloadProgress);
    updater->downloadUpdate(m_server->url(archivePath));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + failed.count(), 1, 10000);

    if (failure.isEmpty()) {
        QCOMPARE(finished.first().first().toString(), storedArchive());
        QFile stored(storedArchive());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), response.body);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toLongLong(), qint64(response.body.size()));
    } else {
        QCOMPARE(failed.first().first().toString(), failure);
        QVERIFY(!QFile::exists(storedArchive()));
    }
    // Nothing half-written is left beside the archive either.
    QTRY_COMPARE(QDir(m_env.tempFolder).entryList(QDir::Files).size(), failure.isEmpty() ? 1 : 0);
}

void TestUpdater::unstorableArchive_data()
{
    QTest::addColumn<bool>("folderMissing");
    QTest::newRow("temporary folder missing") << true;
    QTest::newRow("a folder holds the archive's name") << false;
}

void TestUpdater::unstorableArchive()
{
    QFETCH(bool, folderMissing);
    if (folderMissing)
        m_env.tempFolder = m_scratch->filePath(QStringLiteral("gone"));
    else
        QVERIFY(QDir().mkpath(storedArchive()));
    m_server->setJson(archivePath, QByteArray(1024, 'z'));

    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::downloadFinished);
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    updater->downloadUpdate(m_server->url(archivePath));
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.first().first().toString(), saveFailed);
    QCOMPARE(finished.count(), 0);
}

void TestUpdater::untrustedDownloadUrlIsRefused()
{
    auto updater = makeUpdater();
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    updater->downloadUpdate(QStringLiteral("http://updates.example.com/u.zip"));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), badData);
}

void TestUpdater::secondDownloadIsIgnored()
{
    m_server->setRoute(archivePath, trickle(QByteArray(4096, 'q'), 1024));

    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::downloadFinished);
    updater->downloadUpdate(m_server->url(archivePath));
    updater->downloadUpdate(m_server->url(QStringLiteral("/other.zip")));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().toString(), storedArchive());
    QCOMPARE(m_server->requests(), QStringList{archivePath});
}

void TestUpdater::install_data()
{
    // Files of the archive; a name ending in ".exe" (any case) becomes an
    // installer script, anything else a text file.
    QTest::addColumn<QStringList>("files");
    // "name=target": a symbolic link; a target starting with "/" lies outside.
    QTest::addColumn<QStringList>("links");
    // Installer entries whose names zip itself would refuse; $ is the scratch folder.
    QTest::addColumn<QStringList>("hostile");
    QTest::addColumn<QByteArray>("rawArchive"); // instead of packing the files
    QTest::addColumn<QStringList>("failures");  // accepted failure texts; empty: must succeed
    QTest::addColumn<QString>("started");       // below the folder, on success; empty: must fail

    const QStringList none;
    QTest::newRow("installer at the top") << strings({"setup.exe", "readme.txt"}) << none << none << QByteArray()
                                          << none << QStringLiteral("setup.exe");
    QTest::newRow("installer in a subfolder") << strings({"bin/inner/setup.exe"}) << none << none << QByteArray()
                                              << none << QStringLiteral("bin/inner/setup.exe");
    QTest::newRow("several installers") << strings({"sub/a.exe", "z.exe", "setup.exe"}) << none << none
                                        << QByteArray() << none << QStringLiteral("setup.exe");
    QTest::newRow("upper-case name") << strings({"SETUP.EXE"}) << none << none << QByteArray() << none
                                     << QStringLiteral("SETUP.EXE");
    QTest::newRow("no installer") << strings({"readme.txt", "data/setup.dll"}) << none << none << QByteArray()
                                  << QStringList{noInstaller} << QString();
    QTest::newRow("corrupt archive") << none << none << none << QByteArray("PK\x03\x04 this is not a zip")
                                     << QStringList{unpackFailed} << QString();
    QTest::newRow("empty archive") << none << none << none << UpdateFixture::emptyZip()
                                   << QStringList{unpackFailed, noInstaller} << QString();
    // unzip drops the "../" and unpacks the entry inside; refusing it would do as well.
    QTest::newRow("entry climbing out of the folder") << none << none << strings({"../evil.exe"}) << QByteArray()
                                                      << QStringList{unpackFailed} << QStringLiteral("evil.exe");
    QTest::newRow("entry with an absolute path") << none << none << strings({"$/abs/evil.exe"}) << QByteArray()
                                                 << QStringList{unpackFailed} << QStringLiteral("$/abs/evil.exe");
    QTest::newRow("link to an installer outside") << none << strings({"setup.exe=/outside/evil.exe"}) << none
                                                  << QByteArray() << QStringList{noInstaller} << QString();
    QTest::newRow("link to a folder outside") << strings({"readme.txt"}) << strings({"bin=/outside"}) << none
                                              << QByteArray() << QStringList{noInstaller} << QString();
    QTest::newRow("link outside beside a real installer")
        << strings({"deep/setup.exe"}) << strings({"a.exe=/outside/evil.exe"}) << none << QByteArray() << none
        << QStringLiteral("deep/setup.exe");
}

void TestUpdater::install()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, links);
    QFETCH(QStringList, hostile);
    QFETCH(QByteArray, rawArchive);
    QFETCH(QStringList, failures);
    QFETCH(QString, started);
    started.replace(QLatin1Char('$'), m_scratch->path().mid(1));

    // A trap outside the folder: it would record its own start like any installer.
    const QString outside = m_scratch->filePath(QStringLiteral("outside"));
    QVERIFY(
        !writeFile(outside + QStringLiteral("/evil.exe"), UpdateFixture::installerScript(m_record), true).isEmpty());

    QString zipPath = m_scratch->filePath(QStringLiteral("update.zip"));
    if (!rawArchive.isEmpty()) {
        QVERIFY(!writeFile(zipPath, rawArchive).isEmpty());
    } else {
        QStringList entries;
        for (const QString &file : files) {
            const bool installer = file.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive);
            const QByteArray contents = installer ? UpdateFixture::installerScript(m_record) : QByteArray("text\n");
            QVERIFY(!writeFile(stagePath(file), contents, installer).isEmpty());
            entries << file.section(QLatin1Char('/'), 0, 0);
        }
        for (const QString &link : links) {
            const QString name = link.section(QLatin1Char('='), 0, 0);
            const QString target = link.section(QLatin1Char('='), 1);
            QVERIFY(QFile::link(target.startsWith(QLatin1Char('/')) ? m_scratch->path() + target : target,
                                stagePath(name)));
            entries << name;
        }
        // Packed under a harmless name of the same length, renamed afterwards.
        QList<QPair<QByteArray, QByteArray>> renames;
        for (QString name : hostile) {
            name.replace(QLatin1Char('$'), m_scratch->path());
            const QString stand = QString(name.size() - 4, QLatin1Char('y')) + QStringLiteral(".exe");
            QVERIFY(!writeFile(stagePath(stand), UpdateFixture::installerScript(m_record), true).isEmpty());
            entries << stand;
            renames.append({stand.toUtf8(), name.toUtf8()});
        }
        entries.removeDuplicates();
        zipPath = zipOf(entries);
        QVERIFY(!zipPath.isEmpty());
        for (const auto &rename : renames)
            QVERIFY(UpdateFixture::renameEntry(zipPath, rename.first, rename.second));
    }

    auto updater = makeUpdater();
    const QString stored = fetchArchive(*updater, zipPath);
    QCOMPARE(stored, storedArchive());
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    updater->installUpdate(stored);

    if (failed.isEmpty()) {
        QVERIFY2(!started.isEmpty(), "an archive that must fail was installed");
        QCOMPARE(m_quits, 1);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_record), 10000);
        // Whatever an archive holds, what starts lies inside the folder.
        const QStringList record = UpdateFixture::readLines(m_record);
        QCOMPARE(record.value(0), QDir(extractionFolder()).canonicalPath() + QLatin1Char('/') + started);
        QCOMPARE(record.mid(1), strings({"/VERYSILENT", "/CLOSEAPPLICATIONS", "/RESTARTAPPLICATIONS"}));
        QVERIFY(!QFile::exists(stored));
        QVERIFY(QFileInfo(extractionFolder()).isDir());
    } else {
        QCOMPARE(failed.count(), 1);
        const QString error = failed.first().first().toString();
        QVERIFY2(failures.contains(error), qPrintable(error));
        QCOMPARE(m_quits, 0);
        QVERIFY(!QFile::exists(m_record));
        QVERIFY(QFile::exists(stored)); // kept for another try
    }
    // Nothing landed beside the folder or at an absolute entry's own path.
    const QStringList expectedEntries{QStringLiteral("VelorLauncher_Update"),
                                      QStringLiteral("VelorRP_Launcher_Update.zip")};
    const QStringList entries
        = QDir(m_env.tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &entry : entries)
        QVERIFY2(expectedEntries.contains(entry), qPrintable(entry));
    QVERIFY(!QFile::exists(m_scratch->filePath(QStringLiteral("abs/evil.exe"))));
}

void TestUpdater::staleFolderIsReplaced()
{
    // A shallower installer from an earlier attempt would be chosen if it stayed.
    QVERIFY(!writeFile(extractionFolder() + QStringLiteral("/a.exe"), UpdateFixture::installerScript(m_record), true)
                 .isEmpty());
    QVERIFY(!writeFile(stagePath(QStringLiteral("sub/setup.exe")), UpdateFixture::installerScript(m_record), true)
                 .isEmpty());
    const QString zipPath = zipOf({QStringLiteral("sub")});
    auto updater = makeUpdater();
    updater->installUpdate(fetchArchive(*updater, zipPath));
    QCOMPARE(m_quits, 1);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_record), 10000);
    QCOMPARE(UpdateFixture::readLines(m_record).value(0),
             QDir(extractionFolder()).canonicalPath() + QStringLiteral("/sub/setup.exe"));
    QVERIFY(!QFile::exists(extractionFolder() + QStringLiteral("/a.exe")));
}

void TestUpdater::linkedFolderIsNotEmptied()
{
    // A link in the folder's place goes; what it points to stays as it was.
    const QString kept = m_scratch->filePath(QStringLiteral("kept"));
    QVERIFY(!writeFile(kept + QStringLiteral("/precious.txt"), "mine").isEmpty());
    QVERIFY(QFile::link(kept, extractionFolder()));
    QVERIFY(!writeFile(stagePath(QStringLiteral("setup.exe")), UpdateFixture::installerScript(m_record), true)
                 .isEmpty());
    const QString zipPath = zipOf({QStringLiteral("setup.exe")});
    auto updater = makeUpdater();
    updater->installUpdate(fetchArchive(*updater, zipPath));
    QCOMPARE(m_quits, 1);
    QVERIFY(!QFileInfo(extractionFolder()).isSymLink());
    QCOMPARE(QDir(kept).entryList(QDir::Files), QStringList{QStringLiteral("precious.txt")});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_record), 10000);
}

void TestUpdater::unpackOutlivingItsBound()
{
    m_env.unpackTimeoutMs = 200;
    QVERIFY(!writeFile(stagePath(QStringLiteral("setup.exe")), UpdateFixture::installerScript(m_record), true)
                 .isEmpty());
    const QString zipPath = zipOf({QStringLiteral("setup.exe")});
    auto updater = makeUpdater();
    updater->setUnpackCommand([](const QString &, const QString &) {
        return Platform::Command{QStringLiteral("sleep"), {QStringLiteral("60")}};
    });
    const QString stored = fetchArchive(*updater, zipPath);
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    QElapsedTimer clock;
    clock.start();
    updater->installUpdate(stored);
    QVERIFY(clock.elapsed() < 30000);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), unpackFailed);
    QCOMPARE(m_quits, 0);
    QVERIFY(QFile::exists(stored));
}

void TestUpdater::unpackProgramMissing()
{
    auto updater = makeUpdater();
    updater->setUnpackCommand([](const QString &, const QString &) {
        return Platform::Command{QStringLiteral("/nonexistent/unzip"), {}};
    });
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    updater->installUpdate(m_scratch->filePath(QStringLiteral("whatever.zip")));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), unpackFailed);
}

void TestUpdater::installerThatCannotStart()
{
    QVERIFY(!writeFile(stagePath(QStringLiteral("setup.exe")), "#!/nonexistent/interpreter\n", true).isEmpty());
    const QString zipPath = zipOf({QStringLiteral("setup.exe")});
    auto updater = makeUpdater();
    const QString stored = fetchArchive(*updater, zipPath);
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    updater->installUpdate(stored);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), startFailed);
    QCOMPARE(m_quits, 0);
}

void TestUpdater::checksum_data()
{
    QTest::addColumn<QByteArray>("digestOverride"); // empty: the archive's own
    QTest::addColumn<bool>("upperCase");
    // Installs the downloaded archive (0), a copy of it elsewhere (1), or another archive (2).
    QTest::addColumn<int>("installed");
    QTest::newRow("matches") << QByteArray() << false << 0;
    QTest::newRow("matches, upper-case hex") << QByteArray() << true << 0;
    QTest::newRow("differs") << QByteArray(64, '0') << false << 0;
    QTest::newRow("copy of the archive, checked from disk") << QByteArray() << false << 1;
    QTest::newRow("another archive, checked from disk") << QByteArray() << false << 2;
}

void TestUpdater::checksum()
{
    QFETCH(QByteArray, digestOverride);
    QFETCH(bool, upperCase);
    QFETCH(int, installed);
    const bool matches = digestOverride.isEmpty() && installed != 2;

    QVERIFY(!writeFile(stagePath(QStringLiteral("setup.exe")), UpdateFixture::installerScript(m_record), true)
                 .isEmpty());
    // Incompressible and large enough to arrive in many pieces, each hashed as it comes.
    QByteArray noise(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    QVERIFY(!writeFile(stagePath(QStringLiteral("data.bin")), noise).isEmpty());
    const QString zipPath = zipOf({QStringLiteral("setup.exe"), QStringLiteral("data.bin")});
    QFile zip(zipPath);
    QVERIFY(zip.open(QIODevice::ReadOnly));
    QByteArray digest = QCryptographicHash::hash(zip.readAll(), QCryptographicHash::Sha256).toHex();
    if (!digestOverride.isEmpty())
        digest = digestOverride;
    if (upperCase)
        digest = digest.toUpper();

    auto updater = makeUpdater();
    QSignalSpy failed(updater.get(), &Updater::downloadFailed);
    QString stored = fetchArchive(*updater, zipPath, ",\"sha256\":\"" + digest + "\"");
    if (!digestOverride.isEmpty()) {
        // Caught as the download ends, before anything is unpacked.
        QCOMPARE(stored, QString());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), checksumFailed);
        QVERIFY(!QFile::exists(storedArchive()));
        QVERIFY(!QFileInfo::exists(extractionFolder()));
        return;
    }
    QCOMPARE(stored, storedArchive());
    if (installed == 1) {
        const QString copy = m_scratch->filePath(QStringLiteral("copy.zip"));
        QVERIFY(QFile::copy(stored, copy));
        stored = copy;
    } else if (installed == 2) {
        stored = zipOf({QStringLiteral("setup.exe")}, QStringLiteral("other.zip"));
        QVERIFY(!stored.isEmpty());
    }
    updater->installUpdate(stored);
    if (matches) {
        QCOMPARE(failed.count(), 0);
        QCOMPARE(m_quits, 1);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_record), 10000);
    } else {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), checksumFailed);
        QCOMPARE(m_quits, 0);
        QVERIFY(!QFile::exists(stored));
        QVERIFY(!QFileInfo::exists(extractionFolder())); // nothing was unpacked
    }
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
