#pragma once
// The state of a cleaning run, kept per thread because a run lives on the
// thread that started it. Steps of the run (and the routines they call) put
// here what a later step of the same run picks up. For now that is the list
// of Internet Explorer index files the secure deletion could not delete
// while the browser held them; the run empties them afterwards instead. The
// cleaning run will add its own per-run state here.
#include <string>
#include <vector>

namespace kx::cleaning {

struct RunState {
    /// Lower-cased full paths of the "index.dat" files handed to the secure
    /// deletion, in the order they came; one entry per hand-over (a path
    /// handed twice is listed twice, the step emptying them does it once).
    std::vector<std::string> deferredIndexFiles;
};

/// The calling thread's run state.
RunState& runState();

/// Starts the calling thread's run state afresh (at the start of a run, and
/// in tests).
void resetRunState();

}  // namespace kx::cleaning
