#include "app/launcherservices.h"

#include "config/launcherenvironment.h"

LauncherServices::LauncherServices(const LauncherEnvironment &environment)
    : network(environment.proxyLookup, environment.proxyExitWaitMs)
    , status(&network, environment.serversUrl(), environment.statusIntervalMs, environment.requestTimeoutMs)
    , news(&network, environment.newsUrl(), environment.requestTimeoutMs)
    , updater(environment, &network)
    , play(environment, &network, prompts)
{
}

MainWindow::Features LauncherServices::features()
{
    return {network, status, news, updater, play, prompts};
}
