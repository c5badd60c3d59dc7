// Renders the main window headless, once the online count and every news
// picture have arrived, into a PNG:  velor_screenshot <output.png>
// Run it against the demo backend (tools/screenshot.sh does).
#include "app/launcherservices.h"
#include "config/launcherenvironment.h"
#include "ui/mainwindow.h"
#include "ui/newscard.h"
#include "ui/theme.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fputs("usage: velor_screenshot <output.png>\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    LauncherEnvironment env = LauncherEnvironment::compiledIn();
    env.tempFolder = scratch.path();
    env.settingsLocation = scratch.filePath(QStringLiteral("Launcher.conf"));
    env.clientKeyLocation = scratch.filePath(QStringLiteral("RAGE-MP.conf"));
    Theme::registerFonts();
    LauncherServices services(env);
    MainWindow window(env, services.features());
    window.show();

    const QString output = QString::fromLocal8Bit(argv[1]);
    const QDeadlineTimer deadline(20000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto *online = window.findChild<QLabel *>(QStringLiteral("onlineLabel"));
        const QList<NewsCard *> cards = window.findChildren<NewsCard *>();
        bool pictured = !cards.isEmpty();
        for (const NewsCard *card : cards)
            pictured = pictured && (!card->isVisible() || card->hasPicture());
        const bool ready = online && online->text() != QStringLiteral("0") && pictured;
        if (!ready && !deadline.hasExpired())
            return;
        poll.stop();
        const bool saved = window.grab().save(output);
        std::fprintf(
            stderr, "%s %s\n", ready ? "ready:" : "timed out waiting for data:", saved ? "saved" : "could not save");
        QCoreApplication::exit(ready && saved ? 0 : 1);
    });
    poll.start(100);
    return QApplication::exec();
}
