#include "cleaning/step_tools.hpp"

#include "cleaning/run_state.hpp"
#include "platform/processes/process.hpp"
#include "platform/runtime/text.hpp"

namespace kx::cleaning {

std::vector<std::string> splitAtLineFeeds(std::string_view text) {
    if (text.empty())
        return {};
    const auto pieces = platform::splitAt(text, "\n");
    return {pieces.begin(), pieces.end()};
}

bool protectedByException(const RunState& state, std::string_view path) {
    return matchesException(state, platform::lower(path));
}

StartResult startProgram(const std::string& commandLine, std::uint16_t showWindow) {
    platform::ProcessStart start;
    start.commandLine = commandLine;
    start.showWindow = showWindow;
    const auto started = platform::CreateProcessA(start);
    StartResult result;
    if (!started)
        return result;
    result.started = true;
    // A built-in has already ended; its handle holds the status. A real
    // program runs on; the process layer reaps it once it ends.
    result.builtin = started->dwProcessId == 0;
    if (result.builtin) {
        platform::DWORD code = 0;
        if (platform::GetExitCodeProcess(started->hProcess, &code))
            result.exitCode = code;
    }
    platform::CloseHandle(started->hProcess);
    return result;
}

}  // namespace kx::cleaning
