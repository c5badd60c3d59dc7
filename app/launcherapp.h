#pragma once

#include <QString>
#include <functional>

class LauncherServices;
class MainWindow;
class QApplication;
struct LauncherEnvironment;

/// Points where a test harness may look into a real launcher process.
struct StartupHooks final
{
    std::function<void(QApplication &)> applicationReady;
    std::function<void()> channelContended;
    QString channelName; ///< empty: the launcher's own
    std::function<void(LauncherEnvironment &)> adjustEnvironment;
    std::function<void(MainWindow &, LauncherServices &)> windowShown;
};

/// The whole launcher process: identity, the single-instance decision, the
/// hand-over of a launch link, and the main window's event loop.
int runLauncher(int argc, char *argv[], const StartupHooks &hooks = {});
