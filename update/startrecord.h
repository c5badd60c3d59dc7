#pragma once

struct LauncherEnvironment;

/**
 * Gives a player back the launcher that worked when a new version never gets
 * its window up (a crash at start, a library this PC lacks): the update road
 * cannot mend that, since the launcher that would fetch the fix is the one
 * that does not start. Each start counts itself in the launcher's settings
 * before anything that can fail, and takes the count back once its window has
 * stayed up a while or it ends cleanly, so a player who closes it at once
 * causes nothing. A version whose last two starts never got there puts the
 * previous launcher, which the installer keeps beside it, back in its place,
 * and tells the updater not to install this version again by itself.
 */
namespace StartRecord {

/// Starts of one version that never got there, after which the next goes back.
inline constexpr int maxUnfinishedStarts = 2;

/// Counts this start. True when it must go back to the previous launcher now.
bool begin(const LauncherEnvironment &environment);

/// This start got there: the count goes.
void settle(const LauncherEnvironment &environment);

/// Records this version as failed for the updater and puts the previous
/// launcher in this one's place. False when it could not take the place.
bool rollBack(const LauncherEnvironment &environment);

} // namespace StartRecord
