// Downloads the client installer through the launcher's own play action (play,
// "Скачать RageMP", the progress dialog, the "Установка" box) from a loopback
// server in another process, alternating with curl fetching the same file.
//   bench_installer_download <server executable> [runs] [size in MiB]
#include "app/launcherservices.h"
#include "benchenvironment.h"
#include "benchreport.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {
bool makeInstaller(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Runs as a harmless program once started, like a real installer would.
    QByteArray chunk = "#!/bin/true\n";
    chunk += QByteArray(1048576 - chunk.size(), 'v');
    for (qint64 written = 0; written < size; written += chunk.size()) {
        if (file.write(chunk.left(int(qMin<qint64>(chunk.size(), size - written)))) < 0)
            return false;
        chunk.fill('w' + char(written / chunk.size() % 3));
    }
    return file.flush();
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: bench_installer_download <server executable> [runs] [size in MiB]\n", stderr);
        return 2;
    }
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 5;
    const qint64 mebibytes = argc > 3 ? QByteArray(argv[3]).toLongLong() : 256;
    const qint64 size = mebibytes * 1048576;

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("served.exe"));
    if (!dir.isValid() || !makeInstaller(source, size)) {
        std::fputs("cannot write the served file\n", stderr);
        return 1;
    }
    QProcess server;
    server.start(QString::fromLocal8Bit(argv[1]), {source});
    if (!server.waitForReadyRead(10000)) {
        std::fputs("the server did not start\n", stderr);
        return 1;
    }
    const QString url = QStringLiteral("http://127.0.0.1:%1/public/files/RAGEMultiplayer_Setup.exe")
                            .arg(QString::fromLatin1(server.readLine().trimmed()));

    // Settings, client key and folders stay in the scratch folder.
    LauncherEnvironment env = benchEnvironment(dir.path());
    env.clientInstallerUrl = url;
    const QString saved = env.tempFolder + QStringLiteral("/RAGEMultiplayer_Setup.exe");
    const QString curlTarget = dir.filePath(QStringLiteral("curl.exe"));

    LauncherServices services(env);
    MainWindow window(env, services.features());
    window.show();
    // Answers the dialogs of one play action: starts the clock at the download
    // button, stops it when the "Установка" box appears, and closes every box.
    ModalAnswerer answerer;
    QElapsedTimer clock;
    qint64 elapsedNs = -1;
    answerer.onDialog = [&](QDialog *dialog) {
        if (dialog->objectName() == QLatin1String("clientMissingDialog")) {
            auto *download = dialog->findChild<QPushButton *>(QStringLiteral("downloadClientButton"));
            QTimer::singleShot(0, download, [&clock, download] {
                clock.start();
                download->click();
            });
        } else if (qobject_cast<QMessageBox *>(dialog) && dialog->windowTitle() == QStringLiteral("Установка")) {
            elapsedNs = clock.nsecsElapsed();
        }
    };
    QPushButton *play = window.findChild<QPushButton *>(QStringLiteral("playButton"));

    // Let start-up settle (its requests fail at once on the closed port).
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    QVector<double> launcherMbps, curlMbps, peakAboveIdleMb;
    const double megabytes = double(size) / 1e6;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(saved);
        QCoreApplication::processEvents();
        const qint64 idleKb = statusKb("VmRSS");
        const bool peakReset = resetPeak();
        elapsedNs = -1;
        answerer.boxes.clear();
        play->click();
        // The play action goes on from the event loop: until its last box is answered.
        while (answerer.boxes.isEmpty() || QApplication::activeModalWidget())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const qint64 peakKb = peakReset ? statusKb("VmHWM") : -1;
        if (elapsedNs < 0 || QFileInfo(saved).size() != size || answerer.boxes.size() != 1) {
            std::fprintf(
                stderr, "launcher run %d failed: %s\n", run, qPrintable(answerer.boxes.join(QStringLiteral("; "))));
            return 1;
        }
        launcherMbps << megabytes / (double(elapsedNs) / 1e9);
        if (peakKb >= 0)
            peakAboveIdleMb << double(peakKb - idleKb) / 1024.0;

        QFile::remove(curlTarget);
        QProcess curl;
        QElapsedTimer clock;
        clock.start();
        curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), curlTarget, url});
        if (!curl.waitForFinished(120000) || curl.exitCode() != 0 || QFileInfo(curlTarget).size() != size) {
            std::fprintf(stderr, "curl run %d failed\n", run);
            return 1;
        }
        curlMbps << megabytes / (double(clock.nsecsElapsed()) / 1e9);
        std::fprintf(stderr, "run %d: launcher %.0f MB/s, curl %.0f MB/s, peak %.1f MiB above idle\n", run,
            launcherMbps.last(), curlMbps.last(), peakAboveIdleMb.isEmpty() ? -1.0 : peakAboveIdleMb.last());
    }
    server.kill();
    server.waitForFinished();

    const QString sizeText = QString::number(mebibytes);
    reportBench(QStringLiteral("installer download %1 MiB, loopback").arg(sizeText), QStringLiteral("MB/s"),
        BenchStats::of(launcherMbps), QStringLiteral("curl -o"), BenchStats::of(curlMbps),
        QStringLiteral(">= 0.9x curl"));
    if (!peakAboveIdleMb.isEmpty()) {
        reportBench(QStringLiteral("installer download %1 MiB, peak RSS above idle").arg(sizeText),
            QStringLiteral("MiB"), BenchStats::of(peakAboveIdleMb), QString(), BenchStats(),
            QStringLiteral("<= 32 MiB"));
    }
    return 0;
}
