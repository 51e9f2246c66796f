#pragma once
// What the steps of a cleaning run share among themselves: the engine's
// reading of numeric settings, running a statement with its
// faults caught, splitting file text into lines, the profiles' "prefs.js"
// files, the exception test on a whole file, starting a program without
// waiting, and the downloaded program files that the History step runs.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/keys.hpp"

namespace kx::cleaning {

struct RunContext;
struct RunState;

/// A stored setting as the engine's own steps read it, taken as a number
/// (0 for text that is none).
double engineNumber(const settings::AppSettings& options, const settings::SettingKey& key);

/// What a statement of a step raised: a runtime error's number and
/// description, or 0 and the message of any other exception.
struct StepFault {
    std::int32_t number = 0;
    std::string description;
};
/// Runs one statement of a step; answers its fault, nothing when it ran
/// through. Each caller decides what a fault means for its run.
std::optional<StepFault> faultOf(const std::function<void()>& statement);

/// The elements of `text` between line feeds, as a split at "\n" gives them:
/// "a\nb\n" -> {"a", "b", ""}; "" -> {}.
std::vector<std::string> splitAtLineFeeds(std::string_view text);

/// The same elements, each without a carriage return at its end: the lines
/// of a file written with either line end.
std::vector<std::string> splitLines(std::string_view text);

/// The "prefs.js" of every Netscape/Mozilla/Firefox profile, lower-cased.
std::vector<std::string> profileFiles();

/// True when an exception pattern covers the file's lower-cased path: such a
/// file is left exactly as it is by every step.
bool protectedByException(const RunState& state, std::string_view path);

/// Starts a command line without waiting for it, as a program is started
/// from a shell. `started` is true when the program could be started; a
/// built-in system program has run to its end by then and `exitCode` holds
/// its status (for other programs it stays 0).
struct StartResult {
    bool started = false;
    bool builtin = false;
    std::uint32_t exitCode = 0;
};
StartResult startProgram(const std::string& commandLine, std::uint16_t showWindow);

/// Unregisters and deletes the downloaded program files (the ActiveX cache
/// folders named in the registry) after running the disk clean-up.
void removeDownloadedProgramFiles(const RunContext& run);

}  // namespace kx::cleaning
