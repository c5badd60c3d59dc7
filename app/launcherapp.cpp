#include "app/launcherapp.h"

#include "app/crashreport.h"
#include "app/exitdeadline.h"
#include "app/instancechannel.h"
#include "app/launcherservices.h"
#include "app/logfile.h"
#include "config/launcherenvironment.h"
#include "config/logging.h"
#include "config/platform.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/theme.h"
#include "update/startrecord.h"

#include <QApplication>
#include <QLocalSocket>
#include <QMessageBox>
#include <QProcess>
#include <QSslSocket>
#include <QSysInfo>
#include <QTimer>
#include <future>
#include <sodium.h>

#ifdef VELOR_LATENESS_PROBE
#include "app/latenessprobe.h"
#endif
#ifdef VELOR_CRASH_WAYS
#include "app/crashways.h"
#endif

namespace {
// The installer's check of a new version before it keeps it: the platform
// plugin, the widgets, the TLS backend, libsodium and the resources load, with
// no window and no network. 0 when all is there.
int healthCheck(char *program)
{
    int toolkitArgc = 1;
    char *toolkitArgv[] = {program, nullptr};
    QApplication app(toolkitArgc, toolkitArgv);
    QWidget widget;
    widget.ensurePolished();
    const char *missing = nullptr;
    if (!QSslSocket::supportsSsl())
        missing = "TLS backend";
    else if (sodium_init() < 0)
        missing = "libsodium";
    else if (!QFile::exists(QStringLiteral(":/images/logo.png")))
        missing = "resources";
#ifdef VELOR_TEST_FAIL_HEALTH_CHECK
    missing = "test build";
#endif
    if (!missing)
        return 0;
    QCoreApplication::setApplicationName(QString::fromUtf8(Velor::applicationName));
    QCoreApplication::setOrganizationName(QString::fromUtf8(Velor::organizationName));
    LogFile log(LauncherEnvironment::compiledIn().logFolder);
    log.install();
    qCWarning(lcUpdate) << "version" << VelorConfig::version << "failed its health check:" << missing;
    return 1;
}

QtMessageHandler logHandler = nullptr;

// The fatal message reaches the log first, then the crash report.
void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (logHandler)
        logHandler(type, context, message);
    if (type == QtFatalMsg)
        CrashReport::fatalMessage();
}

int runProcess(int argc, char *argv[], const StartupHooks &hooks)
{
    // The toolkit obeys options wherever they stand on its command line
    // (-platformpluginpath loads a library from any folder, -stylesheet reads
    // any file), and a link handed over unescaped can carry them: it gets the
    // program's name alone, and the launcher reads its arguments itself.
    int toolkitArgc = 1;
    char *toolkitArgv[] = {argv[0], nullptr};
    QApplication app(toolkitArgc, toolkitArgv);
#ifdef VELOR_LATENESS_PROBE
    LatenessProbe latenessProbe; // benchmark builds: how long start-up blocks the GUI thread
#endif
    QCoreApplication::setApplicationName(QString::fromUtf8(Velor::applicationName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(VelorConfig::version));
    QCoreApplication::setOrganizationName(QString::fromUtf8(Velor::organizationName));
    if (hooks.applicationReady)
        hooks.applicationReady(app);

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString link = InstanceChannel::launchLinkFrom(arguments);

    LauncherEnvironment environment = LauncherEnvironment::compiledIn();
    if (hooks.adjustEnvironment)
        hooks.adjustEnvironment(environment);
    Language::install(Language::stored(environment.settingsLocation));
    if (StartRecord::begin(environment)) {
        LogFile log(environment.logFolder);
        log.install();
        if (StartRecord::rollBack(environment) && QProcess::startDetached(environment.executable, arguments))
            return 0;
    }
#ifdef VELOR_TEST_CRASH_AT_START
    __builtin_trap();
#endif
    // Reading the typeface (and, with it, the system's font list) takes several
    // milliseconds: they pass beside the channel, the log and the crash
    // report's set-up, and the typeface is in place before the first widget.
    // It starts once the start has counted itself, so that nothing runs beside
    // a start that goes back to the previous launcher.
    std::future<QString> brandFont = std::async(std::launch::async, &Theme::addBrandFont);

    InstanceChannel channel(hooks.channelName.isEmpty() ? QString::fromUtf8(Velor::ipcServerName) : hooks.channelName);
    if (hooks.channelContended)
        QObject::connect(&channel, &InstanceChannel::contended, hooks.channelContended);
    QLocalSocket socket;
    const InstanceChannel::Role role = channel.claim(socket);
    if (role == InstanceChannel::Role::Second) {
        if (link.isEmpty()) {
            Theme::substituteBrandFont(brandFont.get());
            QMessageBox::warning(nullptr, QString::fromUtf8(Velor::applicationName),
                QCoreApplication::translate("LauncherApp", "Лаунчер уже запущен!"), QMessageBox::Ok,
                QMessageBox::NoButton);
        } else {
            Platform::letComeForward(socket);
            socket.write(link.toUtf8());
            socket.waitForBytesWritten(1000);
            // The running copy makes sure who is at this end before it takes
            // the link, and cannot once this copy is gone: it stays until the
            // other side is done with it.
            socket.waitForDisconnected(2000);
        }
        socket.close();
        StartRecord::settle(environment);
        return 0;
    }
    socket.close();

    LogFile log(environment.logFolder);
    log.install();
    qInfo().noquote() << Velor::applicationName << environment.version << "on Qt" << qVersion() << "and"
                      << QSysInfo::prettyProductName();
    const QString about
        = QStringLiteral("launcher: %1 %2\nqt: %3\nsystem: %4 (%5 %6)\n")
              .arg(QString::fromUtf8(Velor::applicationName), environment.version, QString::fromLatin1(qVersion()),
                  QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion());
    CrashReport::install(environment.crashFolder().toStdU16String(),
        (environment.logFolder + QStringLiteral("/launcher.log")).toStdU16String(), about.toStdString());
    logHandler = qInstallMessageHandler(&handleMessage);
    if (role == InstanceChannel::Role::Lone)
        qCWarning(lcChannel) << "no channel: later copies open windows of their own";

    Theme::substituteBrandFont(brandFont.get());
    // The features outlive the window that shows them, and the network
    // manager every feature.
    LauncherServices services(environment);
    MainWindow window(environment, services.features());
    // Nothing the first frame does not need runs before it. A copy that starts
    // meanwhile finds the lock taken and waits for the channel.
    QObject::connect(&window, &MainWindow::servicesStarted, &window, [&channel, &window, role] {
        CrashReport::refreshModules(); // the platform plugin and what it loaded
        // Only the lock holder may take over the channel's name: a copy that
        // runs on its own must not remove the name of a live first copy.
        if (role == InstanceChannel::Role::First) {
            QObject::connect(&channel, &InstanceChannel::activated, &window, &MainWindow::activate);
            channel.listen();
        }
    });
    window.show();
    QTimer::singleShot(environment.startSettledMs, &window, [&environment] { StartRecord::settle(environment); });
    if (hooks.windowShown)
        hooks.windowShown(window, services);
#ifdef VELOR_CRASH_WAYS
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("--crash=")))
            QMetaObject::invokeMethod(
                &window, [argument] { CrashWays::crash(argument.mid(8)); }, Qt::QueuedConnection);
    }
#endif
    if (!link.isEmpty()) {
        qCInfo(lcChannel) << "started with a launch link";
        QMetaObject::invokeMethod(
            &window, [&window] { window.activate(true); }, Qt::QueuedConnection);
    }
    // Once the window is gone for the player, a new start is a start of its
    // own, and nothing the way out waits for may keep the process for long.
    const auto leave = [&channel, &environment](int code) {
        channel.close();
        StartRecord::settle(environment);
        ExitDeadline::arm(environment.exitDeadlineMs, code);
    };
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &channel, [leave] { leave(0); });
    const int code = QApplication::exec();
    window.hide();
    leave(code);
    return code;
}
} // namespace

int runLauncher(int argc, char *argv[], const StartupHooks &hooks)
{
    if (argc == 2 && qstrcmp(argv[1], "--health-check") == 0)
        return healthCheck(argv[0]);
    ExitDeadline::install();
    return runProcess(argc, argv, hooks);
}
