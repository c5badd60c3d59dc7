// A download that breaks once at its middle, through FileDownload, against
// the same download unbroken, both over a slow line from a loopback server in
// another process: the bytes the broken one costs over the wire, and how long
// it takes. The line is slow enough that waiting a second before resuming is
// what a player's launcher would meet.
//   bench_resumed_download <server executable> [runs] [size in MiB] [line MiB/s]
#include "benchreport.h"
#include "config/launcherenvironment.h"
#include "net/filedownload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {
// Every 8 bytes hold their own offset, so that a part stitched in at the
// wrong place never passes for the file.
bool writeNumbered(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QVector<quint64> block(131072);
    for (qint64 at = 0; at < size; at += 8 * block.size()) {
        for (int i = 0; i < block.size(); ++i)
            block[i] = quint64(at) + 8 * quint64(i);
        const qint64 length = std::min<qint64>(8 * block.size(), size - at);
        if (file.write(reinterpret_cast<const char *>(block.constData()), length) != length)
            return false;
    }
    return file.flush();
}

bool sameContents(const QString &a, const QString &b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    while (!first.atEnd()) {
        if (first.read(1 << 20) != second.read(1 << 20))
            return false;
    }
    return true;
}

struct Transfer
{
    FileDownload::Outcome outcome;
    double seconds = 0;
};

Transfer download(QNetworkAccessManager *manager, const QString &url, const QString &path, int timeoutMs)
{
    const LauncherEnvironment shipped = LauncherEnvironment::compiledIn();
    FileDownload download(manager, shipped.downloadStallTimeoutMs);
    Transfer transfer;
    transfer.outcome = FileDownload::Outcome::failed(
        FileDownload::Outcome::Kind::NetworkError, QStringLiteral("no end within %1 s").arg(timeoutMs / 1000));
    QEventLoop loop;
    QObject::connect(&download, &FileDownload::finished, &loop, [&](const FileDownload::Outcome &outcome) {
        transfer.outcome = outcome;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    download.start(url, path);
    loop.exec();
    transfer.seconds = double(clock.nsecsElapsed()) / 1e9;
    return transfer;
}

// What the server has sent for one request target, headers included.
qint64 servedBytes(QNetworkAccessManager *manager, const QString &base, const QString &target)
{
    QNetworkReply *reply = manager->get(QNetworkRequest(QUrl(base + QStringLiteral("/served") + target)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->error() == QNetworkReply::NoError ? reply->readAll().toLongLong() : -1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: bench_resumed_download <server executable> [runs] [size in MiB] [line MiB/s]\n", stderr);
        return 2;
    }
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    const qint64 mebibytes = argc > 3 ? QByteArray(argv[3]).toLongLong() : 256;
    const qint64 lineMib = argc > 4 ? QByteArray(argv[4]).toLongLong() : 32;
    const qint64 size = mebibytes << 20;

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("served.exe"));
    if (!dir.isValid() || !writeNumbered(source, size)) {
        std::fputs("cannot write the served file\n", stderr);
        return 1;
    }
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QString::fromLocal8Bit(argv[1]), {source, QString::number(lineMib)});
    if (!server.waitForReadyRead(10000)) {
        std::fputs("the server did not start\n", stderr);
        return 1;
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(QString::fromLatin1(server.readLine().trimmed()));
    // Four times the line's time, and the stall time-out, before a download counts as hung.
    const int timeoutMs
        = int(4 * size * 1000 / (lineMib << 20)) + LauncherEnvironment::compiledIn().downloadStallTimeoutMs;

    QNetworkAccessManager manager;
    QVector<double> uncutSeconds, cutSeconds, wireRatios;
    QStringList failures;
    for (int run = 0; run < runs; ++run) {
        const QString saved = dir.filePath(QStringLiteral("saved.exe"));
        const Transfer uncut = download(&manager,
            base + QStringLiteral("/public/files/RAGEMultiplayer_Setup.exe?run=%1").arg(run), saved, timeoutMs);
        if (uncut.outcome.kind != FileDownload::Outcome::Kind::Saved || !sameContents(source, saved)) {
            std::fprintf(
                stderr, "run %d: the uncut download failed: %s\n", run, qPrintable(uncut.outcome.networkError));
            return 1;
        }
        QFile::remove(saved);
        uncutSeconds << uncut.seconds;

        const QString cutTarget = QStringLiteral("/cut/RAGEMultiplayer_Setup.exe?run=%1").arg(run);
        const Transfer cut = download(&manager, base + cutTarget, saved, timeoutMs);
        const qint64 wire = servedBytes(&manager, base, cutTarget);
        const bool kept = cut.outcome.kind == FileDownload::Outcome::Kind::Saved;
        if (!kept || !sameContents(source, saved)) {
            const QString why = kept                 ? QStringLiteral("the saved file differs from the served one")
                : cut.outcome.networkError.isEmpty() ? QStringLiteral("not saved")
                                                     : cut.outcome.networkError;
            std::fprintf(stderr,
                "run %d: uncut %.2f s; the cut download failed after %.2f s (%.2f of the file sent): %s\n", run,
                uncut.seconds, cut.seconds, double(wire) / double(size), qPrintable(why));
            failures << why;
            continue;
        }
        QFile::remove(saved);
        cutSeconds << cut.seconds;
        wireRatios << double(wire) / double(size);
        std::fprintf(stderr, "run %d: uncut %.2f s, cut %.2f s (%.2f x), %.3f x the file over the wire\n", run,
            uncut.seconds, cut.seconds, cut.seconds / uncut.seconds, wireRatios.last());
    }
    server.kill();
    server.waitForFinished();

    const QString name = QStringLiteral("download %1 MiB over a %2 MiB/s line, cut once at half: ")
                             .arg(QString::number(mebibytes), QString::number(lineMib));
    const QString wireName = name + QStringLiteral("bytes over the wire");
    const QString timeName = name + QStringLiteral("time");
    const QString uncutName = QStringLiteral("uncut download");
    if (!failures.isEmpty()) {
        failures.removeDuplicates();
        const QString why = QStringLiteral("%1 (%2 of %3 runs)")
                                .arg(failures.join(QStringLiteral("; ")))
                                .arg(runs - cutSeconds.size())
                                .arg(runs);
        reportFailure(wireName, QStringLiteral("× file size"), why, QString(), BenchStats(), QStringLiteral("≤ 1.05×"));
        reportFailure(timeName, QStringLiteral("s"), why, uncutName, BenchStats::of(uncutSeconds),
            QStringLiteral("≤ 1.2× uncut"));
        return 0;
    }
    reportBench(wireName, QStringLiteral("× file size"), BenchStats::of(wireRatios), QString(), BenchStats(),
        QStringLiteral("≤ 1.05×"));
    reportBench(timeName, QStringLiteral("s"), BenchStats::of(cutSeconds), uncutName, BenchStats::of(uncutSeconds),
        QStringLiteral("≤ 1.2× uncut"));
    return 0;
}
