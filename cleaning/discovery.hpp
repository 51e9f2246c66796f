#pragma once
// The first phase of a cleaning run: walks the folders and files that the
// settings enable and fills the found list with the tracks the destroy phase
// will remove. It deletes nothing; files an exception keeps are hidden until
// the run ends.
#include <cstddef>

namespace kx::cleaning {

struct RunContext;

struct DiscoveryOptions {
    /// A preview collects exactly what a run would, but leaves the machine
    /// as it was: no dialer check (it may ask the user to remove entries)
    /// and no weekly-junk markers (the real run must still search).
    bool preview = false;
};

/// Items scanned between two yields to the message loop.
inline constexpr std::size_t kYieldEvery = 128;

/// KXStart: resets the run, loads the exceptions and collects the tracks.
/// A fault in one step shows a "KXStart: " warning and the next step runs;
/// gbBreak ends it early with the list collected so far.
void runDiscovery(const RunContext& run, const DiscoveryOptions& options = {});

}  // namespace kx::cleaning
