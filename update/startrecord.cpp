#include "update/startrecord.h"

#include "config/launcherenvironment.h"
#include "config/logging.h"
#include "config/platform.h"
#include "update/updater.h"

#include <QFileInfo>
#include <QSettings>

namespace {
const QString startGroup = QStringLiteral("start");
const QString startVersionKey = QStringLiteral("start/version");
const QString startCountKey = QStringLiteral("start/unfinished");
} // namespace

bool StartRecord::begin(const LauncherEnvironment &environment)
{
    const auto settings = Platform::openSettings(environment.settingsLocation);
    const int unfinished = settings->value(startVersionKey).toString() == environment.version
        ? settings->value(startCountKey).toInt()
        : 0;
    if (unfinished >= maxUnfinishedStarts && QFileInfo(environment.previousExecutable).isFile())
        return true;
    settings->setValue(startVersionKey, environment.version);
    settings->setValue(startCountKey, unfinished + 1);
    return false;
}

void StartRecord::settle(const LauncherEnvironment &environment)
{
    Platform::openSettings(environment.settingsLocation)->remove(startGroup);
}

bool StartRecord::rollBack(const LauncherEnvironment &environment)
{
    qCWarning(lcUpdate).noquote() << "version" << environment.version << "did not get its window up on its last"
                                  << maxUnfinishedStarts << "starts; going back to the previous launcher";
    // Recorded first: a launcher put back without it would install this
    // version again, and the player would lose it every third start.
    const auto settings = Platform::openSettings(environment.settingsLocation);
    Updater::recordFailed(*settings, environment.version);
    settings->remove(startGroup);
    settings->sync();
    if (settings->status() == QSettings::NoError
        && Platform::replaceRunningProgram(environment.previousExecutable, environment.executable))
        return true;
    qCWarning(lcUpdate).noquote() << "the previous launcher could not take the place of" << environment.executable;
    return false;
}
