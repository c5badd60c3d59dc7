#pragma once

#include "feed/newssource.h"
#include "feed/statuspoller.h"
#include "launch/playflow.h"
#include "net/networkmanager.h"
#include "ui/mainwindow.h"
#include "ui/widgetprompts.h"
#include "update/updater.h"

struct LauncherEnvironment;

/**
 * The launcher's network manager and the features its window shows, in the
 * order they depend on each other: the manager first, so that it goes last,
 * after every feature that sends requests through it. Building them starts
 * nothing; the window starts them once its first frame is out. The play
 * action asks its questions through prompts that show over the window it is
 * handed to.
 */
class LauncherServices final
{
public:
    explicit LauncherServices(const LauncherEnvironment &environment);
    LauncherServices(const LauncherServices &) = delete;
    LauncherServices &operator=(const LauncherServices &) = delete;

    /// What the window is handed.
    MainWindow::Features features();

    NetworkManager network;
    StatusPoller status;
    NewsSource news;
    Updater updater;
    WidgetPrompts prompts;
    PlayFlow play;
};
