// A real launcher process for the tests, with the test environment under
// $VELOR_SCRATCH. It reports its window, dialogs and boxes on standard output
// ("window", "dialog <name>", "box <title>|<text>"), answers boxes with OK,
// closes dialogs, and quits when its standard input closes.
#include "app/launcherapp.h"
#include "testsupport.h"

#include <QApplication>
#include <QDialog>
#include <cstdio>
#include <thread>

namespace {
void report(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<ModalAnswerer> answerer;
    StartupHooks hooks;
    hooks.applicationReady = [&answerer](QApplication &app) {
        answerer = std::make_unique<ModalAnswerer>();
        answerer->onDialog = [&answerer](QDialog *dialog) {
            if (qobject_cast<QMessageBox *>(dialog))
                return report(QStringLiteral("box ") + answerer->boxes.constLast());
            report(QStringLiteral("dialog ") + dialog->objectName());
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        };
        // A thread, since Windows cannot watch a pipe from the event loop.
        std::thread([&app] {
            while (std::fgetc(stdin) != EOF) { }
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        }).detach();
    };
    hooks.channelContended = [] { report(QStringLiteral("contended")); };
    hooks.channelName = qEnvironmentVariable("VELOR_CHANNEL");
    hooks.adjustEnvironment
        = [](LauncherEnvironment &env) { env = testEnvironment(qEnvironmentVariable("VELOR_SCRATCH")); };
    hooks.windowShown = [](MainWindow &) { report(QStringLiteral("window")); };
    const int code = runLauncher(argc, argv, hooks);
    answerer.reset();
    return code;
}
