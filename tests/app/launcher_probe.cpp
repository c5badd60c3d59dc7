// The real launcher process with a window onto it for tests: it reports shown
// windows and message boxes on standard output, answers message boxes with OK,
// and quits when its standard input closes.
#include "app/launcherapp.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
void report(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char *argv[])
{
    StartupHooks hooks;
    hooks.applicationReady = [](QApplication &app) {
        auto *timer = new QTimer(&app);
        QObject::connect(timer, &QTimer::timeout, [] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible())
                    continue;
                report(QStringLiteral("messagebox\t%1\t%2\t%3")
                           .arg(box->windowTitle(), box->text())
                           .arg(box->buttons().size()));
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer->start(20);
        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(input, &QSocketNotifier::activated, [input] {
            char buffer[64];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                input->setEnabled(false);
                QCoreApplication::quit();
            }
        });
    };
    hooks.windowShown = [](MainWindow &) { report(QStringLiteral("window")); };
    return runLauncher(argc, argv, hooks);
}
