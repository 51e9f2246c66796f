#pragma once
// Ctrl+C in the console host. The signal handler may do almost nothing
// safely, so it only raises a flag; the engine takes the flag from its
// message loop (a loop source it registers) and cancels there, on its own
// thread, as the progress window's close button does.
//
// A second Ctrl+C that arrives before the first was taken means the engine
// is not yielding (stuck in a blocking call): the handler then gives the
// signal its default action back and raises it again, so the user can always
// stop the program.

namespace kx::platform::ui {

/// Installs the SIGINT handler; false when the system refused. Installing
/// twice keeps one handler.
bool installInterruptHandler();
/// Gives SIGINT back the action it had before installInterruptHandler().
void removeInterruptHandler();
/// Raises the flag as the signal does (for hosts with other ways to cancel,
/// and for tests).
void requestInterrupt();
/// True when an interrupt arrived since the last call; clears the flag.
bool takeInterrupt();

}  // namespace kx::platform::ui
