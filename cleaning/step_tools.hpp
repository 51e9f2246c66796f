#pragma once
// What the destroy steps share among themselves: splitting file text into
// lines, the exception test on a whole file, starting a program without
// waiting, and the downloaded program files that the History step runs.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kx::cleaning {

struct RunContext;
struct RunState;

/// The elements of `text` between line feeds, as a split at "\n" gives them:
/// "a\nb\n" -> {"a", "b", ""}; "" -> {}.
std::vector<std::string> splitAtLineFeeds(std::string_view text);

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
