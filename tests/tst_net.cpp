#include "net/filedownload.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;
using Kind = FileDownload::Outcome::Kind;

class TestNet final : public QObject
{
    Q_OBJECT

private slots:
    void download_data();
    void download();
    void droppedDownloadLeavesNothing();
};

void TestNet::download_data()
{
    QTest::addColumn<QByteArray>("path"); // "/held" is cancelled once asked for
    QTest::addColumn<int>("commitFailures");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<int>("kind");
    QTest::newRow("saved, with its progress") << QByteArray("/sized") << 0 << false << int(Kind::Saved);
    QTest::newRow("no length: no progress") << QByteArray("/unsized") << 0 << false << int(Kind::Saved);
    QTest::newRow("a scanner holds the file a moment") << QByteArray("/sized") << 3 << false << int(Kind::Saved);
    QTest::newRow("the file stays held") << QByteArray("/sized") << 99 << false << int(Kind::SaveFailed);
    QTest::newRow("cancelled") << QByteArray("/held") << 0 << false << int(Kind::Canceled);
#ifndef Q_OS_WIN
    QTest::newRow("disk full") << QByteArray("/sized") << 0 << true << int(Kind::SaveFailed);
#endif
}

void TestNet::download()
{
    QFETCH(QByteArray, path);
    QFETCH(int, commitFailures);
    QFETCH(bool, diskFull);
    QFETCH(int, kind);
    QTemporaryDir scratch;
    const QByteArray body(500000, 'x');
    const QString target = writeFile(scratch.filePath(u"setup.exe"_s), "old");
    FixtureServer server;
    server.routes[u"/sized"_s] = Route(200, body);
    server.routes[u"/unsized"_s] = Route(200, body, Fault::NoLength);
    server.routes[u"/held"_s] = Route(200, body, Fault::Held);
    QNetworkAccessManager manager;
    FileDownload download(&manager, 300);
    int commits = 0;
    const auto commit = [&commits, commitFailures](const QString &from, const QString &to) {
        return ++commits > commitFailures && QFile::remove(to) && QFile::rename(from, to);
    };
    download.setCommitPolicy(commit, 6, 10);
    QSignalSpy finished(&download, &FileDownload::finished), progress(&download, &FileDownload::progress);
    if (path == "/held")
        connect(&server, &FixtureServer::requested, &download, &FileDownload::cancel, Qt::QueuedConnection);
#ifndef Q_OS_WIN
    rlimit limit{}, saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = saved;
    limit.rlim_cur = diskFull ? 1000 : saved.rlim_cur;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
#endif
    download.start(server.url(QString::fromLatin1(path)), target, true);
    QVERIFY(finished.wait());
#ifndef Q_OS_WIN
    setrlimit(RLIMIT_FSIZE, &saved);
#endif
    const auto outcome = finished.at(0).at(0).value<FileDownload::Outcome>();
    QCOMPARE(int(outcome.kind), kind);
    const QByteArray file = kind == int(Kind::Saved) ? body : QByteArray("old"); // an earlier file survives
    QCOMPARE(readFile(target), file);
    QCOMPARE(QDir(scratch.path()).entryList(QDir::Files), QStringList{u"setup.exe"_s}); // nothing left over
    QCOMPARE(
        outcome.sha256, kind == int(Kind::Saved) ? QCryptographicHash::hash(body, QCryptographicHash::Sha256) : "");
    // Without a length the bar stays at 0, rather than jump to full at the close.
    const QList<QVariant> full{qint64(body.size()), qint64(body.size())};
    if (kind == int(Kind::Saved))
        QCOMPARE(progress.value(progress.size() - 1), path == "/unsized" ? QList<QVariant>() : full);
    QVERIFY(!download.isRunning() && !finished.wait(50)); // reported once
}

void TestNet::droppedDownloadLeavesNothing()
{
    QTemporaryDir scratch;
    FixtureServer server;
    server.routes[u"/f"_s] = Route(200, "x", Fault::Held);
    QNetworkAccessManager manager;
    auto download = std::make_unique<FileDownload>(&manager, 5000);
    QSignalSpy finished(download.get(), &FileDownload::finished), requested(&server, &FixtureServer::requested);
    download->start(server.url(u"/f"_s), scratch.filePath(u"f"_s));
    QVERIFY(requested.wait());
    download.reset();
    QVERIFY(!finished.wait(50));
    QVERIFY(QDir(scratch.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestNet)
#include "tst_net.moc"
