#include "app/downloadsink.h"
#include "app/networkrequest.h"
#include "fixtureserver.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestDownloadSink final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void outcomes_data();
    void outcomes();
    void largeBodyIsStreamedWhole();
    void unwritableFolderFails();
    void redirects_data();
    void redirects();

private:
    struct Outcome
    {
        bool replyOk = false;
        bool committed = false;
        bool sinkFailed = false;
    };
    Outcome download(const QString &url, const QString &target);

    FixtureServer *m_server = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    QTemporaryDir *m_dir = nullptr;
};

void TestDownloadSink::cleanupTestCase()
{
    delete m_dir;
    m_dir = nullptr;
}

void TestDownloadSink::init()
{
    delete m_server;
    delete m_manager;
    delete m_dir;
    m_server = new FixtureServer(this);
    QVERIFY(m_server->start());
    m_manager = new QNetworkAccessManager(this);
    m_dir = new QTemporaryDir;
}

TestDownloadSink::Outcome TestDownloadSink::download(const QString &url, const QString &target)
{
    QNetworkReply *reply = m_manager->get(makeGetRequest(url, 2000));
    auto *sink = new DownloadSink(reply, target, reply);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    Outcome outcome;
    if (!finished.wait(10000))
        return outcome;
    outcome.sinkFailed = sink->failed();
    outcome.replyOk = reply->error() == QNetworkReply::NoError;
    if (outcome.replyOk && !outcome.sinkFailed)
        outcome.committed = sink->commit() == DownloadSink::Result::Saved;
    reply->deleteLater();
    return outcome;
}

void TestDownloadSink::outcomes_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("committed");

    using B = FixtureServer::Behaviour;
    QTest::newRow("whole body") << int(B::Normal) << 200 << true;
    QTest::newRow("no length") << int(B::NoContentLength) << 200 << true;
    QTest::newRow("drip") << int(B::Drip) << 200 << true;
    QTest::newRow("HTTP 404") << int(B::Normal) << 404 << false;
    QTest::newRow("HTTP 500") << int(B::Normal) << 500 << false;
    QTest::newRow("reset mid-body") << int(B::ResetMidBody) << 200 << false;
    QTest::newRow("shorter than its length") << int(B::ShortBody) << 200 << false;
    QTest::newRow("stall after headers") << int(B::StallAfterHeaders) << 200 << false;
}

void TestDownloadSink::outcomes()
{
    QFETCH(int, behaviour);
    QFETCH(int, status);
    QFETCH(bool, committed);

    const QByteArray body = FixtureServer::generatedBytes(0, 3000);
    FixtureServer::Response response;
    response.status = status;
    response.body = body;
    response.behaviour = FixtureServer::Behaviour(behaviour);
    response.dripChunk = 1000;
    response.dripIntervalMs = 5;
    m_server->setRoute(QStringLiteral("/file"), response);

    // An earlier download of the same name must survive every failure.
    const QString target = m_dir->filePath(QStringLiteral("setup.exe"));
    {
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
    }

    const Outcome outcome = download(m_server->url(QStringLiteral("/file")), target);
    QFile result(target);
    QCOMPARE(outcome.committed, committed);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.readAll(), committed ? body : QByteArray("earlier"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("setup.exe")});
}

void TestDownloadSink::largeBodyIsStreamedWhole()
{
    FixtureServer::Response response;
    response.generatedSize = 8 * 1024 * 1024 + 17;
    m_server->setRoute(QStringLiteral("/big"), response);
    const QString target = m_dir->filePath(QStringLiteral("big.zip"));
    QVERIFY(download(m_server->url(QStringLiteral("/big")), target).committed);
    QFile result(target);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(result.size(), response.generatedSize);
    QCOMPARE(result.readAll(), FixtureServer::generatedBytes(0, response.generatedSize));
}

void TestDownloadSink::unwritableFolderFails()
{
    m_server->setJson(QStringLiteral("/file"), QByteArray(5000, 'x'));
    const Outcome outcome =
        download(m_server->url(QStringLiteral("/file")), m_dir->filePath(QStringLiteral("missing/dir/setup.exe")));
    QVERIFY(outcome.sinkFailed);
    QVERIFY(!outcome.committed);
}

void TestDownloadSink::redirects_data()
{
    QTest::addColumn<bool>("fromHttps");
    QTest::addColumn<bool>("toHttps");
    QTest::addColumn<bool>("followed");
    QTest::newRow("https to https") << true << true << true;
    QTest::newRow("http to http") << false << false << true;
    QTest::newRow("http to https") << false << true << true;
    QTest::newRow("https to http is refused") << true << false << false;
}

void TestDownloadSink::redirects()
{
    QFETCH(bool, fromHttps);
    QFETCH(bool, toHttps);
    QFETCH(bool, followed);
    FixtureServer::trustFixtureCertificate();

    FixtureServer origin;
    FixtureServer target;
    QVERIFY(fromHttps ? origin.startTls() : origin.start());
    QVERIFY(toHttps ? target.startTls() : target.start());
    target.setJson(QStringLiteral("/setup.exe"), QByteArray("installer"));
    origin.setRedirect(QStringLiteral("/setup.exe"), target.url(QStringLiteral("/setup.exe")));

    const QString path = m_dir->filePath(QStringLiteral("setup.exe"));
    const Outcome outcome = download(origin.url(QStringLiteral("/setup.exe")), path);
    QCOMPARE(outcome.committed, followed);
    QCOMPARE(target.requestCount(QStringLiteral("/setup.exe")), followed ? 1 : 0);
    QCOMPARE(QFile::exists(path), followed);
}

QTEST_GUILESS_MAIN(TestDownloadSink)
#include "tst_downloadsink.moc"
