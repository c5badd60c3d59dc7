#pragma once

#include "config/launcherenvironment.h"
#include "testsupport.h"

/// The suite's environment (folders, settings and client key under scratch,
/// addresses on a dead loopback port) with the launcher's own time-outs and
/// commit retries: the suite's short ones would fail transfers on a busy
/// machine and are not what a player's launcher runs with.
inline LauncherEnvironment benchEnvironment(const QString &scratch)
{
    LauncherEnvironment env = testEnvironment(scratch);
    const LauncherEnvironment shipped = LauncherEnvironment::compiledIn();
    env.requestTimeoutMs = shipped.requestTimeoutMs;
    env.downloadStallTimeoutMs = shipped.downloadStallTimeoutMs;
    env.commitAttempts = shipped.commitAttempts;
    env.commitRetryDelayMs = shipped.commitRetryDelayMs;
    return env;
}
