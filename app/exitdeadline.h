#pragma once

/**
 * Ends the process at the latest a set time after its window has gone. What
 * is left to do by then is tearing down, and the toolkit waits for its
 * threads while it does: a picture still decoding, a proxy discovery or a
 * name lookup to which the system gives tens of seconds, none of which can be
 * interrupted. Meanwhile the player, who sees no window, cannot start the
 * launcher again. So past the deadline the process ends as it stands: the log
 * already holds every line (it writes each at once), and nothing else of the
 * launcher's is written at the exit.
 */
namespace ExitDeadline {

/// Call first thing in main: the deadline then also covers the toolkit's
/// teardown after main returns, which runs before this call's own end.
void install();

/// Starts the clock, once: the process ends with code at the latest ms from now.
void arm(int ms, int code);

} // namespace ExitDeadline
