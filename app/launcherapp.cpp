#include "app/launcherapp.h"

#include "app/instancechannel.h"
#include "config/launcherenvironment.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLocalSocket>
#include <QMessageBox>

#ifdef VELOR_LATENESS_PROBE
#include "app/latenessprobe.h"
#endif

int runLauncher(int argc, char *argv[], const StartupHooks &hooks)
{
    QApplication app(argc, argv);
#ifdef VELOR_LATENESS_PROBE
    LatenessProbe latenessProbe; // benchmark builds: how long start-up blocks the GUI thread
#endif
    QCoreApplication::setApplicationName(QString::fromUtf8(Velor::applicationName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(Velor::applicationVersion));
    QCoreApplication::setOrganizationName(QString::fromUtf8(Velor::organizationName));
    if (hooks.applicationReady)
        hooks.applicationReady(app);

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString link = InstanceChannel::launchLinkFrom(arguments);

    InstanceChannel channel(hooks.channelName.isEmpty() ? QString::fromUtf8(Velor::ipcServerName) : hooks.channelName);
    if (hooks.channelContended)
        QObject::connect(&channel, &InstanceChannel::contended, hooks.channelContended);
    QLocalSocket socket;
    const InstanceChannel::Role role = channel.claim(socket);
    if (role == InstanceChannel::Role::Second) {
        if (link.isEmpty()) {
            QMessageBox::warning(nullptr, QString::fromUtf8(Velor::applicationName),
                QStringLiteral("Лаунчер уже запущен!"), QMessageBox::Ok, QMessageBox::NoButton);
        } else {
            socket.write(link.toUtf8());
            socket.waitForBytesWritten(1000);
        }
        socket.close();
        return 0;
    }
    socket.close();

    LauncherEnvironment environment = LauncherEnvironment::compiledIn();
    if (hooks.adjustEnvironment)
        hooks.adjustEnvironment(environment);

    MainWindow window(environment);
    // Nothing the first frame does not need runs before it. A copy that starts
    // meanwhile finds the lock taken and waits for the channel.
    QObject::connect(&window, &MainWindow::servicesStarted, &window, [&channel, &window, role] {
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Akrobat-Bold.ttf"));
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Akrobat-ExtraBold.ttf"));
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Akrobat-Regular.ttf"));
        // Only the lock holder may take over the channel's name: a copy that
        // runs on its own must not remove the name of a live first copy.
        if (role == InstanceChannel::Role::First) {
            QObject::connect(&channel, &InstanceChannel::activated, &window, &MainWindow::activate);
            channel.listen();
        }
    });
    window.show();
    if (hooks.windowShown)
        hooks.windowShown(window);
    if (!link.isEmpty())
        QMetaObject::invokeMethod(&window, "handleUrlLaunch", Qt::QueuedConnection, Q_ARG(QString, link));
    return QApplication::exec();
}
