#pragma once

#include <filesystem>
#include <string>

/**
 * What a crash leaves behind for support: a short text report in the crash
 * folder beside the logs (the time, the launcher's, the toolkit's and the
 * system's versions, the exception or signal with its address, and each frame
 * of the crashing thread as module + offset, which tools/symbolize.sh turns
 * into function, file and line), on Windows also a minidump of the same name,
 * and a line in launcher.log. At most keptReports reports are kept.
 *
 * Nothing here uses the toolkit: a crash may leave it in any state. On Windows
 * a thread made at start writes the report while the crashed thread waits, so
 * that even an overflowed stack gets one; elsewhere a signal handler writes it
 * with nothing but system calls, on a stack of its own.
 */
namespace CrashReport {

inline constexpr int keptReports = 5;

/// Call once, from the main thread, as early as the folders are known. about
/// holds the report's first lines (launcher, toolkit and system versions).
/// Removes the oldest reports so that a new one makes keptReports at most.
void install(const std::filesystem::path &folder, const std::filesystem::path &logFile, const std::string &about);

/// Call once the first frame is out: takes in the libraries loaded since
/// install(), so that their frames get their names too (the platform plugin,
/// for one); on Windows readies the dump library, off the start's way.
void refreshModules();

/// A fatal message of the toolkit, which is about to end the process. On
/// Windows it does so without raising an exception any handler would see, so
/// the report is written here; elsewhere the abort that follows writes it.
void fatalMessage();

} // namespace CrashReport
