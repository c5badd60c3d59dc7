// One download streamed to a file: what is left on disk after each way it can end,
// and a transfer that breaks and resumes. These run under Wine too.
#include "config/platform.h"
#include "net/filedownload.h"
#include "testsupport.h"

#include <QNetworkAccessManager>
#include <QtTest>
#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#endif

using Kind = FileDownload::Outcome::Kind;

class TestDownload final : public QObject
{
    Q_OBJECT

private slots:
    void download_data();
    void download();
};

void TestDownload::download_data()
{
    const QByteArray ranges = "Accept-Ranges: bytes\r\nETag: \"v1\"\r\n";
    const int saved = int(Kind::Saved);
    QTest::addColumn<Fault>("fault"); // held: cancelled, or dropped, once asked for
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("commitFailures");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<int>("kind"); // -1: dropped, it reports nothing
    QTest::addColumn<int>("ranges"); // asked for: the whole file, then where each resume starts
    QTest::newRow("saved, with its progress") << Plain << ranges << 0 << false << saved << 1;
    QTest::newRow("no length: no progress") << NoLength << ranges << 0 << false << saved << 1;
    QTest::newRow("a scanner holds the file a moment") << Plain << ranges << 3 << false << saved << 1;
    QTest::newRow("the file stays held") << Plain << ranges << 99 << false << int(Kind::SaveFailed) << 1;
    QTest::newRow("cancelled") << Held << ranges << 0 << false << int(Kind::Canceled) << 1;
    QTest::newRow("dropped while it runs") << Held << ranges << 0 << false << -1 << 1;
    QTest::newRow("cut half-way: the rest") << CutOnce << ranges << 0 << false << saved << 2;
    QTest::newRow("cut, ranges ignored: all again")
        << CutOnce << QByteArray("ETag: \"v1\"\r\n") << 0 << false << saved << 2;
    QTest::newRow("cut every time, the rest without a length: three resumes")
        << ShortBody << ranges << 0 << false << int(Kind::Cut) << 4;
    QTest::newRow("cut, a part that starts early: all again") << Early << ranges << 0 << false << saved << 2;
    QTest::newRow("cut, a part that ends short: all again") << Partial << ranges << 0 << false << saved << 2;
    QTest::newRow("cut, the rest refused without a body: all again")
        << Unsatisfiable << QByteArray("ETag: \"v1\"\r\n") << 0 << false << saved << 2;
#ifndef Q_OS_WIN
    QTest::newRow("disk full") << Plain << ranges << 0 << true << int(Kind::SaveFailed) << 1;
#endif
}

void TestDownload::download()
{
    QFETCH(Fault, fault);
    QFETCH(QByteArray, headers);
    QFETCH(int, commitFailures);
    QFETCH(int, kind);
    QFETCH(int, ranges);
    const QTemporaryDir scratch;
    const QByteArray body(500000, 'x');
    const QString target = writeFile(scratch.filePath("setup.exe"), "old");
    writeFile(scratch.filePath("setup.exe.0badc0de.part"), "left by a killed launcher");
    FixtureServer server;
    server.routes["/setup.exe"] = Route{200, body, fault, headers};
    QNetworkAccessManager manager;
    auto download = std::make_unique<FileDownload>(&manager, 300);
    // One resume where a refusal follows it: starting over must not count as another.
    download->setResumeDelays(QList<int>(fault == Unsatisfiable ? 1 : 3, 10));
    int commits = 0;
    const auto commit = [&commits, commitFailures](const QString &from, const QString &to) {
        return ++commits > commitFailures && Platform::replaceFile(from, to);
    };
    download->setCommitPolicy(commit, 6, 10);
    QSignalSpy finished(download.get(), &FileDownload::finished);
    QSignalSpy progress(download.get(), &FileDownload::progress);
    if (fault == Held) {
        const auto end = [&download, kind] { kind < 0 ? download.reset() : download->cancel(); };
        connect(&server, &FixtureServer::requested, this, end, Qt::QueuedConnection);
    }
#ifndef Q_OS_WIN
    QFETCH(bool, diskFull);
    rlimit normal{};
    getrlimit(RLIMIT_FSIZE, &normal);
    const rlimit limit{diskFull ? 1000 : normal.rlim_cur, normal.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
#endif
    download->start(server.url("/setup.exe"), target);
    QVERIFY(kind < 0 ? QTest::qWaitFor([&download] { return !download; }) : finished.wait());
#ifndef Q_OS_WIN
    setrlimit(RLIMIT_FSIZE, &normal);
#endif
    const bool saved = kind == int(Kind::Saved);
    QCOMPARE(readFile(target), saved ? body : QByteArray("old")); // an earlier file survives
    QCOMPARE(QDir(scratch.path()).entryList(QDir::Files), QStringList{"setup.exe"}); // nothing left over
    QVERIFY(!finished.wait(50)); // reported once
    QCOMPARE(finished.size(), kind < 0 ? 0 : 1);
    // Qt itself may send a request again when a connection closes; a resume asks for a new range.
    QSet<QByteArray> asked;
    for (const QByteArray &head : server.heads)
        asked << head.mid(head.indexOf("Range: bytes="), 20);
    QCOMPARE(asked.size(), ranges);
    QVERIFY(ranges == 1 || server.heads.join().contains("If-Range: \"v1\""));
    QVERIFY(server.heads.constFirst().contains("Accept-Encoding: identity"));
    if (kind < 0)
        return;
    const auto outcome = finished.at(0).at(0).value<FileDownload::Outcome>();
    QCOMPARE(int(outcome.kind), kind);
    // Without a length the bar stays at 0, rather than jump to full at the close.
    const QList<QVariant> full{qint64(body.size()), qint64(body.size())};
    if (saved)
        QCOMPARE(progress.value(progress.size() - 1), fault == NoLength ? QList<QVariant>() : full);
}

QTEST_GUILESS_MAIN(TestDownload)
#include "tst_download.moc"
