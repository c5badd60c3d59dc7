#pragma once

class QString;

/// Test builds only (VELOR_CRASH_WAYS): "--crash=<way>" makes the launcher
/// crash in one of the ways a crash report must survive.
namespace CrashWays {

/// Crashes by way: accessViolation, stackOverflow, illegalInstruction, abort,
/// terminate, pureVirtualCall or fatalMessage. Returns for any other word.
void crash(const QString &way);

} // namespace CrashWays
