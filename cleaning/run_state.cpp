#include "cleaning/run_state.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <ranges>

#include "anonymity/http_download.hpp"
#include "cleaning/kept_record.hpp"
#include "cleaning/run_context.hpp"
#include "cleaning/step_tools.hpp"
#include "core/text_rules.hpp"
#include "deletion/entry_rules.hpp"
#include "deletion/secure_delete.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/text.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::cleaning {

namespace {

// Program, library, driver and configuration files are never cleaned.
constexpr std::array<std::string_view, 7> kProtectedEndings = {".cfg", ".ini", ".dll", ".sys",
                                                               ".exe", ".com", ".bin"};

// The integer part, held inside the range of the target type: an absurd
// stored value must not wrap around into another meaning.
template <typename T>
T integerPart(double value) {
    if (!std::isfinite(value))
        return 0;
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

bool RunContext::engineOn(const settings::SettingKey& key) const {
    return chosen(key) && engineNumber(appSettings(), key) > 0;
}

void loadDeletionSettings(RunState& state, const settings::AppSettings& options) {
    auto& s = state.settings;
    s.security = options.readBool(settings::keys::Security, settings::Reader::Engine);
    if (!s.security)
        return;
    s.deleteN = integerPart<std::int16_t>(engineNumber(options, settings::keys::DeleteN));
    s.deleteIt = options.readBool(settings::keys::DeleteIt, settings::Reader::Engine);
    s.deleteValue =
        integerPart<std::uint8_t>(std::round(engineNumber(options, settings::keys::DeleteValue)));
    s.encrypt = options.readBool(settings::keys::Encrypt, settings::Reader::Engine);
}

void setExceptionPatterns(RunState& state, const std::vector<std::string>& lines) {
    auto& patterns = state.exceptionPatterns;
    patterns.clear();
    for (const auto& line : lines)
        patterns.push_back(platform::LikePattern::compile(platform::vbLCase(line)));
}

void loadExceptionPatterns(RunState& state) {
    std::vector<std::string> lines;
    const std::string path = AddBackslash(settings::GetPrivatePath()) + "alist.txt";
    fsys::FileAccess files;
    if (files.Exists(path)) {
        lines = splitLines(files.ReadText(path));
    }
    setExceptionPatterns(state, lines);
}

bool matchesException(const RunState& state, std::string_view lowerText) {
    for (const auto& pattern : state.exceptionPatterns)
        if (pattern && pattern->matches(lowerText))
            return true;
    return false;
}

namespace {

enum class KeepReason { None, Ini, Pattern };

// Why the kept check keeps a path: whenever patterns exist, a path holding
// ".ini" is kept untouched; otherwise the first matching pattern keeps it.
KeepReason keepReason(const RunState& state, std::string_view path) {
    if (state.exceptionPatterns.empty())
        return KeepReason::None;
    const std::string lowered = platform::vbLCase(path);
    if (lowered.find(".ini") != std::string::npos)
        return KeepReason::Ini;
    return matchesException(state, lowered) ? KeepReason::Pattern : KeepReason::None;
}

// What the tag of a new entry keeps of the path as given: nothing when its
// folder's spelling is on record and its name is the text's, the name when
// only that differs, the whole path when the folder is on record under
// another spelling (two folders that differ only in case).
std::string spellingTag(RunState& state, std::string_view text, std::string_view path) {
    const auto textSlash = text.rfind('\\');
    const auto pathSlash = path.rfind('\\');
    if (textSlash == std::string_view::npos || pathSlash == std::string_view::npos)
        return text == path ? std::string() : std::string(path);
    const std::string_view folderText = text.substr(0, textSlash);
    const std::string_view folderPath = path.substr(0, pathSlash);
    if (const auto known = state.foldersOnDisk.find(folderText);
        known == state.foldersOnDisk.end()) {
        state.foldersOnDisk.emplace(folderText, folderPath);
    } else if (known->second != folderPath) {
        return std::string(path);
    }
    const std::string_view name = path.substr(pathSlash + 1);
    return name == text.substr(textSlash + 1) ? std::string() : std::string(name);
}

}  // namespace

bool wouldKeep(const RunState& state, std::string_view path) {
    return keepReason(state, path) != KeepReason::None;
}

bool keptCheck(const RunContext& run, std::string_view path) {
    auto& state = run.state;
    const KeepReason reason = keepReason(state, path);
    if (reason != KeepReason::Pattern)
        return reason == KeepReason::Ini;
    std::string kept(path);
    if (!state.keptPaths.insert(kept).second)
        return true;  // hidden already
    // Only a file of its own is hidden: the mode and attributes of a linked
    // or hard-linked one belong to its other names as well, outside the
    // cleaned folders perhaps. Kept it is all the same.
    if (!deletion::ownedByThisName(run.machine, kept))
        return true;
    // What the file had before, so that the end of the run gives it back
    // instead of leaving a read-only or hidden file of the user's plain;
    // recorded first, so that a run that never reaches its end leaves it
    // for the next start to give back.
    const auto before = platform::files::attributes(run.machine, kept);
    const std::uint32_t own = before ? (*before & platform::fileattr::Settable) : 0;
    if (!recordKeptFile(state.keptFiles.size(), kept, own))
        return true;
    state.keptFiles.push_back({kept, own});
    (void)platform::files::setAttributes(run.machine, kept, kKeptAttributes);
    return true;
}

bool addFilter(const RunContext& run, std::string_view path) {
    std::string lowered = platform::vbLCase(path);
    if (lowered.size() >= 4) {
        const std::string_view ending = std::string_view(lowered).substr(lowered.size() - 4);
        if (std::ranges::find(kProtectedEndings, ending) != kProtectedEndings.end())
            return false;
    }
    if (matchesException(run.state, lowered))
        return false;
    auto item = run.found.add(std::move(lowered));
    // The entry shows the lower-cased path; the deletion takes the spelling
    // on disk, which needs no case-insensitive search of every folder on the
    // way and names exactly the file that was found.
    if (auto tag = spellingTag(run.state, item->text, path); !tag.empty())
        item->setTag(std::move(tag));
    return true;
}

std::string spelledPath(const RunState& state, const platform::ui::ListItem& item) {
    const std::string& tag = item.tag();
    if (tag.find('\\') != std::string::npos)
        return tag;
    const std::string& text = item.text;
    const auto slash = text.rfind('\\');
    const auto folder = slash == std::string::npos
                            ? state.foldersOnDisk.end()
                            : state.foldersOnDisk.find(std::string_view(text).substr(0, slash));
    if (folder == state.foldersOnDisk.end())
        return text;
    return folder->second + "\\" + (tag.empty() ? text.substr(slash + 1) : tag);
}

void restoreKeptFiles(const RunContext& run) {
    auto& state = run.state;
    // Latest first: should one file have been kept under two spellings of
    // its path, the record taken while it was still its own comes last.
    for (auto kept = state.keptFiles.rbegin(); kept != state.keptFiles.rend(); ++kept) {
        try {
            (void)platform::files::setAttributes(run.machine, kept->path, kept->attributes);
        } catch (const std::exception&) {
            // the machine went away: nothing left to restore on
        }
    }
    if (!state.keptFiles.empty())
        forgetKeptRecords();
    state.keptFiles.clear();
    state.keptPaths.clear();
    // What a run ended by a crash left hidden comes back now too.
    (void)restoreAbandonedKeptFiles(run.machine);
}

deletion::DeleteResult deleteForRun(const RunContext& run, std::string_view path) {
    const auto& state = run.state;
    const auto& s = state.settings;
    const deletion::DeleteRequest request{std::string(path), s.security,    s.encrypt,
                                          s.deleteN,         s.deleteValue, s.deleteIt};
    auto result = !state.gutmannForRun
                      ? deletion::deleteInStoredMode(run.deletion, run.appSettings(), request)
                      : deletion::deleteTheFileAs(run.deletion,
                                                  *state.gutmannForRun ? deletion::WipeMode::Gutmann
                                                                       : deletion::WipeMode::Plain,
                                                  request);
    (void)recordDeletion(run.state, result);
    return result;
}

double deleteWithRunSettings(const RunContext& run, std::string_view path) {
    return deleteForRun(run, path).bytesFreed();
}

double recordDeletion(RunState& state, const deletion::DeleteResult& result) {
    if (result.outcome == deletion::DeleteOutcome::DeferredIndexFile)
        state.deferredIndexFiles.push_back(result.indexFile);
    return result.bytesFreed();
}

}  // namespace kx::cleaning
