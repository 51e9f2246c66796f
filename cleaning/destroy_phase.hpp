#pragma once
// The second phase of a cleaning run: deletes every listed file with the
// run's deletion settings, then works through the browser, registry and
// system steps the settings switch on, and ends with the summary line, the
// statistics and the closing of the progress window. Kept files get their
// attributes back however the phase ends.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/translation.hpp"

namespace kx::cleaning {

struct RunContext;

/// What the summary line reported.
struct RunSummary {
    std::size_t count = 0;   // files cleaned (RunState::filesCleaned)
    double bytes = 0;        // freed by the deletions
    bool cancelled = false;  // gbBreak ended the phase early
};

/// The line that tells a run was cancelled, before its summary line (shown
/// through platform::tr).
inline constexpr std::string_view kCancelledLine = platform::trMark("Bereinigung abgebrochen");

/// KXDelete. Answers the summary, or nothing when the phase ended without
/// one (cancelled before it began, or while the virus scanner ran).
std::optional<RunSummary> runDestroyPhase(const RunContext& run);

/// The steps besides the file deletions that the present settings switch on,
/// in the order the phase runs them, each said plainly in the user's language
/// ("Papierkörbe geleert"): what a preview announces.
struct PlannedStep {
    std::string what;
    /// The files it rewrites and the folders it empties, as Windows paths.
    std::vector<std::string> paths;
};
std::vector<PlannedStep> plannedSteps(const RunContext& run);

/// "Es wurden <count> Dateien bereinigt bzw. entfernt. Dabei wurde ca. <MB>
/// MB Speicherplatz frei." with MB = bytes / 1024 / 1024 in four decimals,
/// in the user's language.
std::string summaryLine(std::size_t count, double bytes);

}  // namespace kx::cleaning
