// Start-up of the launcher against a bare frameless window of the same size,
// both started as fresh processes of this very executable, so that loading the
// libraries costs both the same. Measured to the window mapped (its first
// expose) and to the first painted frame, for a later start (user folders a
// previous run filled) and a first start (empty user folders); and where a
// later start's time goes, and when the first requests start and arrive.
//
//   bench_startup [runs]                          measure, print result lines
//   bench_startup --child bare                    one bare-window start
//   bench_startup --child launcher <api> [plain]  one launcher start against the API at <api>;
//                                                 plain skips every style sheet
//
// A child prints its checkpoints as "mark <name> <ns>" on CLOCK_MONOTONIC,
// which the parent shares and reads at the spawn.
#include "app/launcherapp.h"
#include "app/launcherservices.h"
#include "benchreport.h"
#include "config/launcherenvironment.h"
#include "config/platform.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

qint64 nowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// What a child saw, printed when it ends.
struct ChildLog final
{
    std::vector<std::pair<const char *, qint64>> marks;
    qint64 styleSheetNs = 0;
    bool plain = false;
    QHash<const QObject *, qint64> replyCreated; ///< a network manager's new children
    std::vector<std::pair<qint64, QString>> requests; ///< when each answered request started

    // Notes a checkpoint the first time it is reached; returns whether this was the first.
    bool mark(const char *name)
    {
        for (const auto &seen : marks) {
            if (std::strcmp(seen.first, name) == 0)
                return false;
        }
        marks.emplace_back(name, nowNs());
        return true;
    }

    void print() const
    {
        for (const auto &[name, ns] : marks)
            std::printf("mark %s %lld\n", name, static_cast<long long>(ns));
        std::printf("sheets %lld\n", static_cast<long long>(styleSheetNs));
        for (const auto &[ns, path] : requests)
            std::printf("request %s %lld\n", qPrintable(path), static_cast<long long>(ns));
        std::fflush(stdout);
    }
} childLog;

// Qt's own definition of a function this executable interposes.
template <typename Function> Function qtDefinition(const char *symbol)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
}

} // namespace

// This executable defines two of Qt's functions, so that the launcher's calls
// reach them first (the launcher's code is linked in statically) and they pass
// on to Qt's. They time what no start-up hook reaches: the style sheets, which
// a child may also skip to measure their whole share, and the end of the
// window's construction, which show() follows at once.
void QWidget::setStyleSheet(const QString &styleSheet)
{
    static const auto qt = qtDefinition<void (*)(QWidget *, const QString &)>("_ZN7QWidget13setStyleSheetERK7QString");
    if (childLog.plain)
        return;
    const qint64 start = nowNs();
    qt(this, styleSheet);
    childLog.styleSheetNs += nowNs() - start;
}

void QWidget::show()
{
    static const auto qt = qtDefinition<void (*)(QWidget *)>("_ZN7QWidget4showEv");
    const bool first = isWindow() && childLog.mark("built");
    qt(this);
    if (first)
        childLog.mark("shown");
}

namespace {

// Notes the window mapped (its first expose), the first frame out (the first
// paint of a window, once it is back in the event loop and so flushed), and
// the start of each request (its reply joins the network manager).
class FrameWatch final : public QObject
{
public:
    explicit FrameWatch(std::function<void()> frameOut)
        : m_frameOut(std::move(frameOut))
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && watched->isWindowType() && static_cast<QWindow *>(watched)->isExposed())
            childLog.mark("mapped");
        if (event->type() == QEvent::Paint && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()
            && childLog.mark("paint")) {
            QTimer::singleShot(0, this, [this] {
                childLog.mark("frame");
                m_frameOut();
            });
        }
        if (event->type() == QEvent::ChildAdded && qobject_cast<QNetworkAccessManager *>(watched))
            childLog.replyCreated.insert(static_cast<QChildEvent *>(event)->child(), nowNs());
        return false;
    }

private:
    std::function<void()> m_frameOut;
};

int bareChild(int argc, char *argv[])
{
    QApplication app(argc, argv);
    childLog.mark("app");
    FrameWatch watch([] { QCoreApplication::exit(0); });
    app.installEventFilter(&watch);
    childLog.mark("claimed"); // a bare window has no instance channel to claim
    QMainWindow window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.setAttribute(Qt::WA_TranslucentBackground);
    window.setFixedSize(1081, 659);
    window.show();
    return QApplication::exec();
}

int launcherChild(int argc, char *argv[], const QString &apiBase)
{
    bool frameOut = false;
    bool answered = false;
    const auto quitWhenDone = [&] {
        if (frameOut && answered)
            QCoreApplication::exit(0);
    };
    FrameWatch watch([&] {
        frameOut = true;
        quitWhenDone();
    });
    StartupHooks hooks;
    hooks.applicationReady = [&watch](QApplication &app) {
        childLog.mark("app");
        app.installEventFilter(&watch);
    };
    hooks.adjustEnvironment = [&apiBase](LauncherEnvironment &env) {
        env.apiBase = apiBase;
        childLog.mark("claimed");
    };
    hooks.windowShown = [&](MainWindow &shown, LauncherServices &services) {
        // Stays until the status, news and version answers are in, so that
        // the parent sees all three requests; a few seconds at most.
        MainWindow *window = &shown;
        QNetworkAccessManager *network = &services.network;
        QObject::connect(window, &MainWindow::servicesStarted, window, [&, window, network] {
            auto unanswered = std::make_shared<QStringList>(
                QStringList{QStringLiteral("/servers"), QStringLiteral("/news"), QStringLiteral("/launcher/version")});
            const auto done = [&] {
                answered = true;
                quitWhenDone();
            };
            QObject::connect(network, &QNetworkAccessManager::finished, window, [=](QNetworkReply *reply) {
                if (!unanswered->removeAll(reply->url().path()))
                    return;
                childLog.requests.emplace_back(childLog.replyCreated.value(reply), reply->url().path());
                if (unanswered->isEmpty())
                    done();
            });
            QTimer::singleShot(5000, window, done);
        });
    };
    return runLauncher(argc, argv, hooks);
}

// The launcher children's API: notes when each path is first asked for and
// answers 404 at once.
class RequestLog final : public QObject
{
public:
    RequestLog()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    if (!socket->canReadLine())
                        return;
                    const QString path = QString::fromLatin1(socket->readLine().split(' ').value(1));
                    if (std::none_of(
                            arrivals.cbegin(), arrivals.cend(), [&](const auto &a) { return a.first == path; }))
                        arrivals.append({path, nowNs()});
                    socket->disconnect(this);
                    socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
            }
        });
    }

    bool listening() const { return m_server.isListening(); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

    QVector<QPair<QString, qint64>> arrivals; ///< the first request for each path, in order

private:
    QTcpServer m_server;
};

// A child's checkpoints, in the order it reaches them.
const char *const checkpoints[] = {"main", "app", "claimed", "built", "shown", "mapped", "paint", "frame"};

// One child's start, in ms after the parent started the process.
struct Start final
{
    QHash<QByteArray, double> at; ///< checkpoints, "spawn" at 0
    double styleSheetMs = 0;
    QVector<QPair<double, QString>> requests; ///< started, in order
    QVector<QPair<QString, double>> arrivals; ///< at the API, in order

    double phase(const char *from, const char *to) const { return at.value(to) - at.value(from); }
};

std::optional<Start> start(const QStringList &arguments, const QProcessEnvironment &folders, RequestLog &api)
{
    if (folders.isEmpty())
        return std::nullopt;
    QProcess child;
    child.setProcessEnvironment(folders);
    QEventLoop loop;
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&child, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    api.arrivals.clear();
    const qint64 spawn = nowNs();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    loop.exec();
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished();
    }

    Start result;
    result.at.insert("spawn", 0);
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && fields[0] == "mark")
            result.at.insert(fields[1], double(fields[2].toLongLong() - spawn) / 1e6);
        else if (fields.size() == 2 && fields[0] == "sheets")
            result.styleSheetMs = double(fields[1].toLongLong()) / 1e6;
        else if (fields.size() == 3 && fields[0] == "request")
            result.requests.append({double(fields[2].toLongLong() - spawn) / 1e6, QString::fromUtf8(fields[1])});
    }
    const bool allMarks = std::all_of(
        std::begin(checkpoints), std::end(checkpoints), [&](const char *mark) { return result.at.contains(mark); });
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || !allMarks) {
        std::fprintf(stderr, "%s did not reach its first frame: %s\n", qPrintable(arguments.join(QLatin1Char(' '))),
            child.readAllStandardError().constData());
        return std::nullopt;
    }
    std::sort(result.requests.begin(), result.requests.end());
    for (const auto &[path, ns] : api.arrivals)
        result.arrivals.append({path, double(ns - spawn) / 1e6});
    return result;
}

// A user's own folders under root, all empty at first: home, settings, data,
// cache (fontconfig's too), state, temporary files, and a private runtime
// folder, so that the instance channel and its lock are this copy's alone.
QProcessEnvironment userFolders(const QString &root)
{
    const QString runtime = root + QStringLiteral("/run");
    if (!QDir().mkpath(runtime) || !QDir().mkpath(root + QStringLiteral("/tmp"))
        || !QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return {};
    // The launcher falls back to a folder shared with the user's real launcher
    // when the runtime folder does not qualify: never here.
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    if (!Platform::channelAddress(QStringLiteral("x")).startsWith(runtime + QLatin1Char('/')))
        return {};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), root);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), root + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), root + QStringLiteral("/.local/state"));
    env.insert(QStringLiteral("TMPDIR"), root + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return env;
}

BenchStats statsOf(const QVector<Start> &starts, const std::function<double(const Start &)> &figure)
{
    QVector<double> samples;
    for (const Start &s : starts)
        samples << figure(s);
    return BenchStats::of(samples);
}

std::function<double(const Start &)> phase(const char *from, const char *to)
{
    return [from, to](const Start &s) { return s.phase(from, to); };
}

} // namespace

int main(int argc, char *argv[])
{
    childLog.mark("main");
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
        // The launcher and the bare window see none of the bench's own arguments.
        childLog.plain = argc >= 5 && std::strcmp(argv[4], "plain") == 0;
        const int code = std::strcmp(argv[2], "bare") == 0 ? bareChild(1, argv)
            : argc >= 4                                    ? launcherChild(1, argv, QString::fromLocal8Bit(argv[3]))
                                                           : 2;
        if (code == 0)
            childLog.print();
        return code;
    }

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? QByteArray(argv[1]).toInt() : 15;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb"));
    const QString on
        = QStringLiteral(" (%1)").arg(platform == QLatin1String("xcb") ? QStringLiteral("Xvfb") : platform);
    QTemporaryDir scratch;
    RequestLog api;
    const QProcessEnvironment later = userFolders(scratch.filePath(QStringLiteral("later")));
    if (!scratch.isValid() || !api.listening() || later.isEmpty()) {
        std::fputs("cannot make the scratch folders or the loopback API\n", stderr);
        return 1;
    }
    int firstStarts = 0;
    const auto emptyFolders = [&] { return userFolders(scratch.filePath(QString::number(firstStarts++))); };
    const QStringList bare{QStringLiteral("--child"), QStringLiteral("bare")};
    const QStringList launcher{QStringLiteral("--child"), QStringLiteral("launcher"), api.base()};
    const QStringList plain = launcher + QStringList{QStringLiteral("plain")};

    // A first run of each leaves what a player's earlier run leaves in the
    // later start's folders, and warms the file cache.
    QVector<Start> bareLater, launcherLater, bareFirst, launcherFirst, plainLater;
    const auto measured = [&](QVector<Start> &into, const QStringList &arguments, const QProcessEnvironment &folders) {
        const std::optional<Start> started = start(arguments, folders, api);
        if (started)
            into << *started;
        return started.has_value();
    };
    QVector<Start> warmUp;
    bool ok = measured(warmUp, bare, later) && measured(warmUp, launcher, later);
    for (int i = 0; ok && i < runs; ++i) {
        ok = measured(bareLater, bare, later) && measured(launcherLater, launcher, later)
            && measured(bareFirst, bare, emptyFolders()) && measured(launcherFirst, launcher, emptyFolders())
            && measured(plainLater, plain, later);
    }
    if (!ok)
        return 1;

    const QString bareName = QStringLiteral("bare frameless window");
    const auto at = [](const char *mark) { return phase("spawn", mark); };
    struct Target
    {
        const char *name;
        const QVector<Start> &launcher;
        const QVector<Start> &bare;
        const char *mark;
        const char *target;
    };
    const Target targets[] = {
        {"later start to first frame", launcherLater, bareLater, "frame", "≤ 1.3× bare"},
        {"later start to window mapped", launcherLater, bareLater, "mapped", "≤ 1.5× bare"},
        {"first start, empty user folders, to first frame", launcherFirst, bareFirst, "frame", "≤ 1.3× bare"},
        {"first start, empty user folders, to window mapped", launcherFirst, bareFirst, "mapped", "≤ 1.5× bare"},
    };
    for (const Target &t : targets) {
        reportBench(QString::fromUtf8(t.name) + on, QStringLiteral("ms"), statsOf(t.launcher, at(t.mark)), bareName,
            statsOf(t.bare, at(t.mark)), QString::fromUtf8(t.target));
    }

    // Where a later start's time goes, phase by phase, against the same
    // phase of the bare window where it has one.
    struct Phase
    {
        const char *name;
        const char *from;
        const char *to;
        bool bareHasIt;
    };
    const Phase phases[] = {
        {"process start → main", "spawn", "main", true},
        {"QApplication", "main", "app", true},
        {"instance channel claim", "app", "claimed", false},
        {"widgets (window construction)", "claimed", "built", true},
        {"show() (native window, polish)", "built", "shown", true},
        {"show() → window mapped", "shown", "mapped", true},
        {"first paint (mapped → frame out)", "mapped", "frame", true},
    };
    for (const Phase &p : phases) {
        reportBench(QStringLiteral("later start, ") + QString::fromUtf8(p.name) + on, QStringLiteral("ms"),
            statsOf(launcherLater, phase(p.from, p.to)), p.bareHasIt ? bareName : QString(),
            statsOf(bareLater, phase(p.from, p.to)), QStringLiteral("(reported)"));
    }
    // What a first start adds to each phase: the folders and files it makes
    // before its window maps show here.
    for (const Phase &p : phases) {
        reportBench(QStringLiteral("first start, ") + QString::fromUtf8(p.name) + on, QStringLiteral("ms"),
            statsOf(launcherFirst, phase(p.from, p.to)), QStringLiteral("later start"),
            statsOf(launcherLater, phase(p.from, p.to)), QStringLiteral("(reported)"));
    }
    // The style sheets: the time inside setStyleSheet, and their whole share
    // from the construction to the first frame (parsing, polish, sizing and
    // painting), against the same window built with setStyleSheet skipped,
    // which draws with the platform style instead.
    reportBench(QStringLiteral("later start, style sheets: setStyleSheet calls") + on, QStringLiteral("ms"),
        statsOf(launcherLater, [](const Start &s) { return s.styleSheetMs; }), QString(), {},
        QStringLiteral("(reported)"));
    QVector<double> styleSheetShare;
    for (int i = 0; i < runs; ++i)
        styleSheetShare << launcherLater[i].phase("claimed", "frame") - plainLater[i].phase("claimed", "frame");
    reportBench(QStringLiteral("later start, style sheets: widgets → first frame, with − without") + on,
        QStringLiteral("ms"), BenchStats::of(styleSheetShare), QString(), {}, QStringLiteral("(reported)"));

    // The first requests: each starts within the first second after the
    // process start, in the order status, news, version, and reaches the API.
    const QStringList paths{QStringLiteral("/servers"), QStringLiteral("/news"), QStringLiteral("/launcher/version")};
    const QVector<Start> launchers = launcherLater + launcherFirst;
    const auto ofStarts
        = [&](qsizetype seen) { return QStringLiteral(" (%1 of %2 starts)").arg(seen).arg(launchers.size()); };
    double inOrder = 0;
    QHash<QString, QVector<double>> started;
    QVector<double> allArrived;
    for (const Start &s : launchers) {
        QStringList order;
        for (const auto &[ms, path] : s.requests) {
            order << path;
            started[path] << ms;
        }
        inOrder += order == paths;
        QVector<double> arrived;
        for (const auto &[path, ms] : s.arrivals) {
            if (paths.contains(path))
                arrived << ms;
        }
        if (arrived.size() == paths.size())
            allArrived << arrived.last();
    }
    for (const QString &path : paths) {
        reportBench(
            QStringLiteral("request %1 starts, after process start").arg(path) + ofStarts(started[path].size()) + on,
            QStringLiteral("ms"), BenchStats::of(started[path]), QString(), {}, QStringLiteral("≤ 1000"));
    }
    reportBench(
        QStringLiteral("all three requests reached the API, after process start") + ofStarts(allArrived.size()) + on,
        QStringLiteral("ms"), BenchStats::of(allArrived), QString(), {}, QStringLiteral("≤ 1000"));
    reportBench(QStringLiteral("requests started in the order status, news, version") + on,
        QStringLiteral("of %1 starts").arg(launchers.size()), {inOrder, inOrder, inOrder}, QString(), {},
        QStringLiteral("all"));
    return 0;
}
