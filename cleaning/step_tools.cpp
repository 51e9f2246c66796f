#include "cleaning/step_tools.hpp"

#include <exception>

#include "cleaning/run_state.hpp"
#include "core/text_rules.hpp"
#include "platform/processes/process.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/variant.hpp"
#include "settings/locations.hpp"

namespace kx::cleaning {

double engineNumber(const settings::AppSettings& options, const settings::SettingKey& key) {
    return numericValue(options.read(key, settings::Reader::Engine));
}

std::optional<StepFault> faultOf(const std::function<void()>& statement) {
    try {
        statement();
        return std::nullopt;
    } catch (const platform::RuntimeError& e) {
        return StepFault{e.number, e.description};
    } catch (const std::exception& e) {
        return StepFault{0, e.what()};
    }
}

std::vector<std::string> splitAtLineFeeds(std::string_view text) {
    if (text.empty())
        return {};
    const auto pieces = platform::splitAt(text, "\n");
    return {pieces.begin(), pieces.end()};
}

std::vector<std::string> splitLines(std::string_view text) {
    auto lines = splitAtLineFeeds(text);
    for (auto& line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    return lines;
}

std::vector<std::string> profileFiles() {
    platform::CollectionRef profiles;
    settings::NetscapeAndMozillaGetProfileFilesMulti(profiles);
    std::vector<std::string> out;
    if (profiles)
        for (const auto& item : profiles->items)
            out.push_back(platform::vbLCase(platform::toText(item)));
    return out;
}

bool protectedByException(const RunState& state, std::string_view path) {
    return matchesException(state, platform::vbLCase(path));
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
