// A real launcher process for the tests, with the test environment under
// $VELOR_SCRATCH. It reports its window, dialogs and boxes on standard output
// ("window", "dialog <name>", "box <title>|<text>"), answers boxes with OK,
// closes dialogs, and quits when its standard input closes.
#include "app/launcherapp.h"
#include "testsupport.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

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
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, [input] {
            char buffer[64];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                input->setEnabled(false);
                QCoreApplication::quit();
            }
        });
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
