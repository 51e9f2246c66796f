#pragma once
// Crash trials of file changes: with KOLVANEX_KILL_AFTER_FILE_CHANGES=N in
// the environment, the process kills itself (SIGKILL, as kill -9 would)
// just before the N-th change it makes to a file through the file layer: a
// write call, a cut, a rename, a removal, a mode or attribute change. A test
// ends a run at every point at which the files change, placed by what was
// written rather than by time. Without the variable nothing is changed.

namespace kx::platform::files {

/// Counts one change about to be made; the N-th kills the process.
void beforeFileChange();

}  // namespace kx::platform::files
