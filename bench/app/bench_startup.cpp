// Start-up to the first painted frame: the launcher against a bare frameless
// window of the same size, both started as fresh processes of this very
// executable so that loading the libraries costs both the same.
//
//   bench_startup [runs]            measure, print result lines
//   bench_startup --child launcher  one launcher start; prints "frame" and exits
//   bench_startup --child bare      one bare-window start; prints "frame" and exits
#include "app/launcherapp.h"
#include "benchreport.h"
#include "config/launcherenvironment.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

// Reports once the first paint of the watched window has returned to the event loop.
class FirstFrameWatch final : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, qApp, [] {
                std::puts("frame");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

int bareChild(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.setFixedSize(1081, 659);
    FirstFrameWatch watch;
    window.installEventFilter(&watch);
    window.show();
    return QApplication::exec();
}

int launcherChild(int argc, char *argv[])
{
    FirstFrameWatch watch;
    StartupHooks hooks;
    hooks.adjustEnvironment = [](LauncherEnvironment &env) {
        // Nothing listens here: the requests fail at once, as offline.
        env.apiBase = QStringLiteral("http://127.0.0.1:9");
    };
    hooks.windowShown = [&watch](MainWindow &window) { window.installEventFilter(&watch); };
    return runLauncher(argc, argv, hooks);
}

double timeChild(const QString &mode, const QString &cacheHome)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
    child.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode});
    if (!child.waitForFinished(30000))
        return -1;
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    return child.readAllStandardOutput().contains("frame") ? elapsed : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return std::strcmp(argv[2], "bare") == 0 ? bareChild(argc, argv) : launcherChild(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? QByteArray(argv[1]).toInt() : 15;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb"));
    // Each copy gets its own home, settings, temporary and runtime folders, so
    // no lock or instance channel is shared with a running launcher and
    // nothing reaches the user's own settings.
    QTemporaryDir scratch;
    const QString runtime = scratch.filePath(QStringLiteral("run"));
    if (!scratch.isValid() || !QDir().mkdir(runtime)
        || !QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        std::fputs("cannot make the scratch folders\n", stderr);
        return 1;
    }
    for (const char *variable : {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qputenv(variable, scratch.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());

    // Later starts find the decoded pictures in the launcher's cache; the very
    // first start of a user (a cold cache) decodes the originals.
    const QString warmCache = scratch.filePath(QStringLiteral("warm"));
    timeChild(QStringLiteral("bare"), warmCache); // warm the file cache once
    timeChild(QStringLiteral("launcher"), warmCache);
    QVector<double> bare;
    QVector<double> launcher;
    QVector<double> firstStart;
    for (int i = 0; i < runs; ++i) {
        bare << timeChild(QStringLiteral("bare"), warmCache);
        launcher << timeChild(QStringLiteral("launcher"), warmCache);
        firstStart << timeChild(QStringLiteral("launcher"), scratch.filePath(QStringLiteral("cold%1").arg(i)));
    }
    if (bare.contains(-1) || launcher.contains(-1) || firstStart.contains(-1)) {
        std::fputs("a child did not paint its first frame\n", stderr);
        return 1;
    }
    reportBench(QStringLiteral("start-up to first frame (%1)").arg(platform), QStringLiteral("ms"),
        BenchStats::of(launcher), QStringLiteral("bare frameless window"), BenchStats::of(bare),
        QStringLiteral("≤ 1.5× bare (Xvfb)"));
    reportBench(QStringLiteral("first start, empty picture cache (%1)").arg(platform), QStringLiteral("ms"),
        BenchStats::of(firstStart), QStringLiteral("bare frameless window"), BenchStats::of(bare),
        QStringLiteral("(reported)"));
    return 0;
}
