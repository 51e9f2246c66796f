#pragma once
// Crash trials of the databases: with KOLVANEX_KILL_AFTER_WRITES=N in the
// environment, the process kills itself (SIGKILL, as kill -9 would) just
// before its N-th write to any database file, so a test can end a registry
// import or a settings write at every point at which the files change.
// Without the variable nothing is changed.

namespace kx::platform::storage {

/// Installs the write counter once per process when the variable asks for
/// it; called before a database is opened.
void armCrashTrialFromEnvironment();

}  // namespace kx::platform::storage
