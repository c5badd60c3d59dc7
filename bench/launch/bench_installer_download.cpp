// Downloads the client installer through the launcher's own play action (play,
// "Скачать RageMP", the progress dialog, the "Установка" box) from a loopback
// server in another process, alternating with curl fetching the same file.
//   bench_installer_download <server executable> [runs] [size in MiB]
#include "benchreport.h"
#include "config/launcherenvironment.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {
/// Answers the dialogs of one play action: starts the clock at the download
/// button, stops it when the "Установка" box appears, and closes every box.
class Driver final : public QObject
{
public:
    QElapsedTimer clock;
    qint64 elapsedNs = -1;
    QStringList unexpected;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        if (watched->objectName() == QLatin1String("clientMissingDialog")) {
            auto *download = watched->findChild<QPushButton *>(QStringLiteral("downloadClientButton"));
            QTimer::singleShot(0, download, [this, download] {
                clock.start();
                download->click();
            });
        } else if (auto *box = qobject_cast<QMessageBox *>(watched)) {
            if (box->windowTitle() == QStringLiteral("Установка"))
                elapsedNs = clock.nsecsElapsed();
            else
                unexpected << box->windowTitle() + QLatin1Char(' ') + box->text();
            QMetaObject::invokeMethod(box->button(QMessageBox::Ok), "click", Qt::QueuedConnection);
        }
        return false;
    }
};

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

    LauncherEnvironment env = LauncherEnvironment::compiledIn();
    env.apiBase = QStringLiteral("http://127.0.0.1:9");
    env.clientInstallerUrl = url;
    env.neighbourClientFolder = dir.filePath(QStringLiteral("no client"));
    env.fixedClientFolders.clear();
    env.tempFolder = dir.filePath(QStringLiteral("launcher"));
    env.ipcServerName.clear();
    QDir().mkpath(env.tempFolder);
    const QString saved = env.tempFolder + QStringLiteral("/RAGEMultiplayer_Setup.exe");
    const QString curlTarget = dir.filePath(QStringLiteral("curl.exe"));

    QStandardPaths::setTestModeEnabled(true); // the remembered folder stays out of the user's settings
    MainWindow window(env);
    window.show();
    Driver driver;
    app.installEventFilter(&driver);
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
        driver.elapsedNs = -1;
        play->click(); // returns once the download and its box are done
        const qint64 peakKb = peakReset ? statusKb("VmHWM") : -1;
        if (driver.elapsedNs < 0 || QFileInfo(saved).size() != size || !driver.unexpected.isEmpty()) {
            std::fprintf(stderr, "launcher run %d failed: %s\n", run, qPrintable(driver.unexpected.join(QStringLiteral("; "))));
            return 1;
        }
        launcherMbps << megabytes / (double(driver.elapsedNs) / 1e9);
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
