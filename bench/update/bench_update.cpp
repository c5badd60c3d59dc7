// The launcher's self-update against curl + unzip: both fetch the same update
// archive (a large file stored uncompressed beside an installer script) from a
// loopback server in another process and unpack it. The launcher's clock runs
// from the version answer to the installer's start; its memory is the peak
// resident size of the download above the idle size just before it. The
// answer comes plain, with the archive's SHA-256, and signed as well (by a key
// the signing tool makes for the run, handed to the launcher's environment).
//   bench_update <server executable> [runs] [payload size in MiB]
#include "benchreport.h"
#include "config/launcherenvironment.h"
#include "update/updater.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {
bool run(const QString &program, const QStringList &arguments, const QString &folder = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

/// The archive: a payload of incompressible bytes stored as it is, and setup.exe,
/// which notes its arguments in startedPath.
bool makeArchive(const QString &folder, qint64 payloadBytes, const QString &startedPath, const QString &zipPath)
{
    const QString stage = folder + QStringLiteral("/stage");
    QDir().mkpath(stage);
    QFile payload(stage + QStringLiteral("/payload.bin"));
    if (!payload.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1048576, Qt::Uninitialized);
    for (qint64 written = 0; written < payloadBytes; written += chunk.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
        if (payload.write(chunk.constData(), qMin<qint64>(chunk.size(), payloadBytes - written)) < 0)
            return false;
    }
    payload.close();
    QFile setup(stage + QStringLiteral("/setup.exe"));
    if (!setup.open(QIODevice::WriteOnly))
        return false;
    setup.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + startedPath.toUtf8() + "'\n");
    setup.close();
    setup.setPermissions(setup.permissions() | QFileDevice::ExeOwner);
    const bool zipped = run(QStringLiteral("zip"),
        {QStringLiteral("-q"), QStringLiteral("-0"), zipPath, QStringLiteral("setup.exe"),
            QStringLiteral("payload.bin")},
        stage);
    QDir(stage).removeRecursively();
    return zipped;
}

struct LauncherRun
{
    double seconds = -1;
    double downloadSeconds = -1;
    double peakAboveIdleMiB = -1;
    QString failure;
};

/// One update through the launcher's Updater, from the version check to the
/// installer's start.
LauncherRun updateOnce(LauncherEnvironment env)
{
    // Settings of each run's own: the updater records every installer it starts,
    // and gives a version up after two that did not install it.
    const QTemporaryDir settings;
    env.settingsLocation = settings.filePath(QStringLiteral("Launcher.conf"));
    LauncherRun result;
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 idleKb = -1;
    qint64 peakKb = -1;
    bool peakReset = false;
    env.quitApplication = [&] {
        result.seconds = double(clock.nsecsElapsed()) / 1e9;
        loop.quit();
    };
    QNetworkAccessManager manager;
    Updater updater(env, &manager);
    // The download starts as the update is announced.
    QObject::connect(&updater, &Updater::updateStarted, &loop, [&] {
        idleKb = statusKb("VmRSS");
        peakReset = resetPeak();
        clock.start();
    });
    QObject::connect(&updater, &Updater::installing, &loop, [&] {
        peakKb = statusKb("VmHWM");
        result.downloadSeconds = double(clock.nsecsElapsed()) / 1e9;
    });
    const auto fail = [&](const Updater::Failure &failure) {
        result.failure = QStringLiteral("failure %1 %2").arg(int(failure.kind)).arg(failure.networkError);
        loop.quit();
    };
    QObject::connect(&updater, &Updater::updateFailed, &loop, fail);
    QObject::connect(&updater, &Updater::checkFailed, &loop, fail);
    QObject::connect(&updater, &Updater::upToDate, &loop, [&] {
        result.failure = QStringLiteral("no update announced");
        loop.quit();
    });
    updater.checkForUpdates(false);
    loop.exec();
    if (peakReset && peakKb >= 0)
        result.peakAboveIdleMiB = double(peakKb - idleKb) / 1024.0;
    return result;
}

bool waitForFile(const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(path)) {
        if (clock.elapsed() > 10000)
            return false;
        QThread::msleep(5);
    }
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: bench_update <server executable> [runs] [payload size in MiB]\n", stderr);
        return 2;
    }
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 5;
    const qint64 mebibytes = argc > 3 ? QByteArray(argv[3]).toLongLong() : 200;
    QStandardPaths::setTestModeEnabled(true);

    QTemporaryDir dir;
    const QString zipPath = dir.filePath(QStringLiteral("served.zip"));
    const QString started = dir.filePath(QStringLiteral("started.txt"));
    if (!dir.isValid() || !makeArchive(dir.path(), mebibytes * 1048576, started, zipPath)) {
        std::fputs("cannot make the archive\n", stderr);
        return 1;
    }
    QFile zip(zipPath);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!zip.open(QIODevice::ReadOnly) || !hash.addData(&zip)) {
        std::fputs("cannot hash the archive\n", stderr);
        return 1;
    }
    const QByteArray digest = hash.result().toHex();
    // The signature does not cover the address, so the tool may sign before the server runs.
    const QString key = dir.filePath(QStringLiteral("update.key"));
    QProcess tool;
    tool.start(QStringLiteral(VELOR_UPDATESIGN), {QStringLiteral("keygen"), key});
    tool.waitForFinished();
    const QByteArray publicKey = QByteArray::fromBase64(tool.readAllStandardOutput());
    tool.start(QStringLiteral(VELOR_UPDATESIGN),
        {QStringLiteral("sign"), key, zipPath, QStringLiteral("9.0.0"), QStringLiteral("https://cdn.invalid/u.zip")});
    tool.waitForFinished(600000);
    const QJsonObject signedAnswer = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    if (publicKey.size() != 32 || signedAnswer.value(QStringLiteral("sha256")).toString().toLatin1() != digest) {
        std::fputs("the signing tool failed\n", stderr);
        return 1;
    }

    QProcess server;
    server.start(QString::fromLocal8Bit(argv[1]),
        {zipPath, QString::fromLatin1(digest), signedAnswer.value(QStringLiteral("signature")).toString()});
    if (!server.waitForReadyRead(10000)) {
        std::fputs("the server did not start\n", stderr);
        return 1;
    }
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(QString::fromLatin1(server.readLine().trimmed()));
    const QString archiveUrl = origin + QStringLiteral("/files/update.zip");

    LauncherEnvironment env = LauncherEnvironment::compiledIn();
    env.tempFolder = dir.filePath(QStringLiteral("launcher"));
    QDir().mkpath(env.tempFolder);
    const QString curlZip = dir.filePath(QStringLiteral("curl.zip"));
    const QString curlFolder = dir.filePath(QStringLiteral("curl"));

    // curl + unzip of the same archive; with a digest, sha256sum checks it in between.
    const auto baselineOnce = [&](bool checked) {
        QFile::remove(curlZip);
        QDir(curlFolder).removeRecursively();
        QString script = QStringLiteral("curl -sf -o \"$1\" \"$2\"");
        if (checked)
            script += QStringLiteral(" && echo \"$4  $1\" | sha256sum -c --quiet -");
        script += QStringLiteral(" && unzip -o -q \"$1\" -d \"$3\"");
        QElapsedTimer clock;
        clock.start();
        const bool ok = run(QStringLiteral("sh"),
            {QStringLiteral("-c"), script, QStringLiteral("sh"), curlZip, archiveUrl, curlFolder,
                QString::fromLatin1(digest)});
        return ok ? double(clock.nsecsElapsed()) / 1e9 : -1.0;
    };

    // Plain, with sha256, signed; the signed answer is measured against the
    // same baseline as the checked one (a signature costs curl nothing).
    QVector<double> launcher[3], baseline[2], peak;
    const char *kinds[] = {"", " (sha256)", " (signed)"}, *paths[] = {"", "/checked", "/signed"};
    for (int i = 0; i < runs; ++i) {
        for (const int kind : {0, 1, 2}) {
            // Each update unpacks into a folder of its own, left to its installer.
            QDir(env.tempFolder).removeRecursively();
            QDir().mkpath(env.tempFolder);
            QFile::remove(started);
            env.apiBase = origin + QLatin1String(paths[kind]);
            env.updatePublicKeys = kind == 2 ? QList<QByteArray>{publicKey} : QList<QByteArray>();
            const LauncherRun update = updateOnce(env);
            if (!update.failure.isEmpty() || update.seconds < 0 || !waitForFile(started)) {
                std::fprintf(stderr, "launcher run %d%s failed: %s\n", i, kinds[kind], qPrintable(update.failure));
                return 1;
            }
            launcher[kind] << update.seconds;
            if (kind == 0 && update.peakAboveIdleMiB >= 0)
                peak << update.peakAboveIdleMiB;

            std::fprintf(stderr, "run %d%s: launcher %.2f s (download %.2f s), peak %.1f MiB above idle\n", i,
                kinds[kind], update.seconds, update.downloadSeconds, update.peakAboveIdleMiB);
            if (kind == 2)
                continue;
            const double curlSeconds = baselineOnce(kind == 1);
            if (curlSeconds < 0) {
                std::fprintf(stderr, "baseline run %d failed\n", i);
                return 1;
            }
            baseline[kind] << curlSeconds;
            std::fprintf(stderr, "run %d%s: curl + unzip %.2f s\n", i, kinds[kind], curlSeconds);
        }
    }
    server.kill();
    server.waitForFinished();

    const QString size = QString::number(mebibytes);
    reportBench(QStringLiteral("update %1 MiB: version answer to installer started").arg(size), QStringLiteral("s"),
        BenchStats::of(launcher[0]), QStringLiteral("curl + unzip"), BenchStats::of(baseline[0]),
        QStringLiteral("<= 1.3x baseline"));
    reportBench(QStringLiteral("update %1 MiB with sha256: version answer to installer started").arg(size),
        QStringLiteral("s"), BenchStats::of(launcher[1]), QStringLiteral("curl + sha256sum + unzip"),
        BenchStats::of(baseline[1]), QStringLiteral("<= 1.3x baseline"));
    reportBench(QStringLiteral("update %1 MiB with sha256, signed: version answer to installer started").arg(size),
        QStringLiteral("s"), BenchStats::of(launcher[2]), QStringLiteral("curl + sha256sum + unzip"),
        BenchStats::of(baseline[1]), QStringLiteral("<= 1.3x baseline"));
    if (!peak.isEmpty()) {
        reportBench(QStringLiteral("update %1 MiB download: peak RSS above idle").arg(size), QStringLiteral("MiB"),
            BenchStats::of(peak), QString(), BenchStats(), QStringLiteral("<= 32 MiB"));
    }
    return 0;
}
