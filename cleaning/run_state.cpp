#include "cleaning/run_state.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "anonymity/http_download.hpp"
#include "deletion/secure_delete.hpp"
#include "frame/utilities.hpp"
#include "fsys/file_access.hpp"
#include "platform/files.hpp"
#include "platform/text.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::cleaning {

namespace {

// Program, library, driver and configuration files are never cleaned.
constexpr std::array<std::string_view, 7> kProtectedEndings = {".cfg", ".ini", ".dll", ".sys",
                                                               ".exe", ".com", ".bin"};

// Attributes that keep a file out of every deletion of the run.
constexpr std::uint32_t kKeptAttributes =
    platform::fileattr::ReadOnly | platform::fileattr::Hidden | platform::fileattr::System;

double engineNumber(const settings::SettingKey& key) {
    return numericValue(settings::read(key, settings::Reader::Engine));
}

// The integer part, held inside the range of the target type: an absurd
// stored value must not wrap around into another meaning.
template <typename T>
T integerPart(double value) {
    if (!std::isfinite(value)) return 0;
    const double whole = std::trunc(value);
    return static_cast<T>(std::clamp(whole, static_cast<double>(std::numeric_limits<T>::min()),
                                     static_cast<double>(std::numeric_limits<T>::max())));
}

}  // namespace

RunState& runState() {
    thread_local RunState state;
    return state;
}

void resetRunState() {
    runState() = RunState{};
}

platform::ui::ListView& foundList() {
    return *mainForm().lvFiles;
}

void loadDeletionSettings() {
    auto& s = runState().settings;
    s.security = settings::readBool(settings::keys::Security, settings::Reader::Engine);
    if (!s.security) return;
    s.deleteN = integerPart<std::int16_t>(engineNumber(settings::keys::DeleteN));
    s.deleteIt = settings::readBool(settings::keys::DeleteIt, settings::Reader::Engine);
    s.deleteValue = integerPart<std::uint8_t>(std::round(engineNumber(settings::keys::DeleteValue)));
    s.encrypt = settings::readBool(settings::keys::Encrypt, settings::Reader::Engine);
}

void setExceptionPatterns(const std::vector<std::string>& lines) {
    auto& patterns = runState().exceptionPatterns;
    patterns.clear();
    for (const auto& line : lines) patterns.push_back(platform::LikePattern::compile(platform::lower(line)));
}

void loadExceptionPatterns() {
    std::vector<std::string> lines;
    const std::string path = AddBackslash(settings::GetPrivatePath()) + "alist.txt";
    fsys::FileAccess files;
    if (files.Exists(path)) {
        const std::string text = files.ReadText(path);
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
            start = end + 1;
        }
    }
    setExceptionPatterns(lines);
}

bool matchesException(std::string_view lowerText) {
    for (const auto& pattern : runState().exceptionPatterns)
        if (pattern && pattern->matches(lowerText)) return true;
    return false;
}

bool keptCheck(std::string_view path) {
    auto& state = runState();
    if (state.exceptionPatterns.empty()) return false;
    const std::string lowered = platform::lower(path);
    if (lowered.find(".ini") != std::string::npos) return true;
    if (!matchesException(lowered)) return false;
    state.keptFiles.emplace_back(path);
    (void)platform::files::setAttributes(path, kKeptAttributes);
    return true;
}

bool addFilter(std::string_view path) {
    std::string lowered = platform::lower(path);
    if (lowered.size() >= 4) {
        const std::string_view ending = std::string_view(lowered).substr(lowered.size() - 4);
        if (std::ranges::find(kProtectedEndings, ending) != kProtectedEndings.end()) return false;
    }
    if (matchesException(lowered)) return false;
    foundList().add(std::move(lowered));
    return true;
}

void restoreKeptFiles() {
    for (const auto& path : runState().keptFiles) (void)platform::files::setAttributes(path, 0);
}

double deleteWithRunSettings(std::string_view path) {
    const auto& s = runState().settings;
    return deletion::DeleteTheFile(path, s.security, s.encrypt, s.deleteN, s.deleteValue, s.deleteIt);
}

}  // namespace kx::cleaning
