#pragma once

#include "config/launcherenvironment.h"

#include <QString>

/// A launcher environment that reaches nothing outside the test: every address
/// points at a loopback port on which nothing listens unless the test says so,
/// the client folders are the test's own, and the desktop services are inert.
LauncherEnvironment testEnvironment(const QString &scratchFolder);

/// Builds a file with the given contents, creating its folder; returns its path.
QString writeFile(const QString &path, const QByteArray &contents, bool executable = false);
