#pragma once
// What one deletion works with: the machine whose files it destroys, the
// sink of its status lines, the cancel flag, the random source of the
// Gutmann passes and the scrambler. The public class builds it from what the
// component keeps per thread (facade/run_contexts.hpp) and hands it down;
// nothing in the deletion routine looks any of these up itself. Tests build
// their own.
#include <functional>
#include <string>

#include "deletion/random_source.hpp"
#include "deletion/wipe_io.hpp"
#include "platform/machine/machine.hpp"
#include "services/progress.hpp"

namespace kx::deletion {

/// Scrambles a file in place (its own blocks), answering false on failure.
using Scrambler = std::function<bool(const std::string& windowsPath)>;

struct DeletionContext {
    platform::Machine& machine;
    /// Where the routine's status lines go.
    ProgressSink& progress;
    /// Raised by whoever cancels the running operation (the public class's
    /// cancel handler, a test): the Gutmann wiper stops before its next write
    /// once it is up, and lowers it at the start of each operation, so only a
    /// cancel while it runs stops it.
    bool& cancel;
    /// The draws of the Gutmann wiper's random passes.
    RandomSource& random;
    /// The cipher component's scramble with a 128-bit random key; without
    /// one a scramble asked for fails.
    Scrambler scramble;
    /// The files as the wipes write them; null means the machine's own.
    WipeIo* files = nullptr;
    /// Told as each overwrite pass over a file begins: the pass (from 1),
    /// the passes in all and what it writes, "random" or the pattern as six
    /// hex digits ("f6f6f6"), the way shred -v names its passes.
    std::function<void(int pass, int passes, const std::string& pattern)> passBegins = {};
};

}  // namespace kx::deletion
