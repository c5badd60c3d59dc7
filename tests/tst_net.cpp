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

using Kind = FileDownload::Outcome::Kind;
Q_DECLARE_METATYPE(Route)

class TestNet final : public QObject
{
    Q_OBJECT

private slots:
    void download_data();
    void download();
    void progressOnlyWithALength();
    void droppedDownloadLeavesNothing();
};

void TestNet::download_data()
{
    QTest::addColumn<Route>("route");
    QTest::addColumn<int>("commitFailures");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("file"); // what the target holds afterwards; "old" was there before

    const QByteArray body(300000, 'x');
    QTest::newRow("saved whole") << Route {200, body} << 0 << false << false << int(Kind::Saved) << body;
    QTest::newRow("failure keeps the earlier file")
        << Route {404, "gone"} << 0 << false << false << int(Kind::Failed) << QByteArray("old");
    QTest::newRow("a scanner holds the file a moment")
        << Route {200, body} << 3 << false << false << int(Kind::Saved) << body;
    QTest::newRow("the file stays held") << Route {200, body} << 99 << false << false << int(Kind::SaveFailed)
                                         << QByteArray("old");
    QTest::newRow("cancelled") << Route {200, body, Fault::StallAfterHeaders} << 0 << true << false
                               << int(Kind::Canceled) << QByteArray("old");
#ifndef Q_OS_WIN
    QTest::newRow("disk full") << Route {200, body} << 0 << false << true << int(Kind::SaveFailed) << QByteArray("old");
#endif
}

void TestNet::download()
{
    QFETCH(Route, route);
    QFETCH(int, commitFailures);
    QFETCH(bool, cancel);
    QFETCH(bool, diskFull);
    QFETCH(int, kind);
    QFETCH(QByteArray, file);

    QTemporaryDir scratch;
    const QString target = writeFile(scratch.filePath(QStringLiteral("setup.exe")), "old");
    FixtureServer server;
    server.routes[QStringLiteral("/f")] = route;
    QNetworkAccessManager manager;
    FileDownload download(&manager, 300);
    int commits = 0;
    download.setCommitPolicy(
        [&commits, commitFailures](const QString &from, const QString &to) {
            return ++commits > commitFailures && QFile::remove(to) && QFile::rename(from, to);
        },
        6, 10);
    QSignalSpy finished(&download, &FileDownload::finished);
    if (cancel)
        connect(&server, &FixtureServer::requested, &download, &FileDownload::cancel, Qt::QueuedConnection);
#ifndef Q_OS_WIN
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    if (diskFull) {
        std::signal(SIGXFSZ, SIG_IGN);
        limit.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
#endif
    download.start(server.url(QStringLiteral("/f")), target, true);
    QVERIFY(finished.wait());
#ifndef Q_OS_WIN
    setrlimit(RLIMIT_FSIZE, &saved);
#endif

    const auto outcome = finished.at(0).at(0).value<FileDownload::Outcome>();
    QCOMPARE(int(outcome.kind), kind);
    QCOMPARE(readFile(target), file);
    QCOMPARE(QDir(scratch.path()).entryList(QDir::Files), QStringList {QStringLiteral("setup.exe")});
    if (outcome.kind == Kind::Saved)
        QCOMPARE(outcome.sha256, QCryptographicHash::hash(file, QCryptographicHash::Sha256));
    QVERIFY(!download.isRunning());
    QVERIFY(!finished.wait(50)); // reported once
}

void TestNet::progressOnlyWithALength()
{
    QTemporaryDir scratch;
    FixtureServer server;
    server.routes[QStringLiteral("/sized")] = Route {200, QByteArray(500000, 'x')};
    server.routes[QStringLiteral("/unsized")] = Route {200, QByteArray(500000, 'x'), Fault::NoLength};
    QNetworkAccessManager manager;
    for (const QString &path : {QStringLiteral("/sized"), QStringLiteral("/unsized")}) {
        FileDownload download(&manager, 300);
        QSignalSpy progress(&download, &FileDownload::progress);
        QSignalSpy finished(&download, &FileDownload::finished);
        download.start(server.url(path), scratch.filePath(path.mid(1)));
        QVERIFY(finished.wait());
        QCOMPARE(finished.at(0).at(0).value<FileDownload::Outcome>().kind, Kind::Saved);
        if (path == QLatin1String("/sized"))
            QCOMPARE(progress.constLast(), (QList<QVariant> {qint64(500000), qint64(500000)}));
        else
            QCOMPARE(progress.count(), 0);
    }
}

void TestNet::droppedDownloadLeavesNothing()
{
    QTemporaryDir scratch;
    FixtureServer server;
    server.routes[QStringLiteral("/f")] = Route {200, "x", Fault::StallAfterHeaders};
    QNetworkAccessManager manager;
    auto download = std::make_unique<FileDownload>(&manager, 5000);
    QSignalSpy finished(download.get(), &FileDownload::finished);
    QSignalSpy requested(&server, &FixtureServer::requested);
    download->start(server.url(QStringLiteral("/f")), scratch.filePath(QStringLiteral("f")));
    QVERIFY(requested.wait());
    download.reset();
    QTest::qWait(0);
    QCOMPARE(finished.count(), 0);
    QVERIFY(QDir(scratch.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestNet)
#include "tst_net.moc"
