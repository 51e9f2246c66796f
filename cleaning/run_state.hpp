#pragma once
// The state of a cleaning run, kept per thread because a run lives on the
// thread that started it: the exception patterns of "alist.txt", the files
// they keep (hidden until the run ends), the index files the secure deletion
// left for the run to empty, the bytes freed and the deletion settings.
// The found list itself is `lvFiles` of the hidden main window.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "deletion/delete_result.hpp"
#include "platform/runtime/wildcard.hpp"
#include "platform/ui/controls.hpp"
#include "settings/keys.hpp"

namespace kx::cleaning {

struct RunContext;

/// How every file of a run is deleted. Before the first load of a thread
/// they give a plain rename-and-remove.
struct DeletionSettings {
    bool security = false;
    std::int16_t deleteN = 0;
    bool deleteIt = false;
    std::uint8_t deleteValue = 0;
    bool encrypt = false;
};

/// A file an exception keeps, with the attributes it had before it was
/// hidden, which it gets back when the run ends.
struct KeptFile {
    std::string path;
    std::uint32_t attributes = 0;
};

/// Hashes text of any string type alike, so that a map keyed by strings is
/// searched with a view and no copy of the key.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

struct RunState {
    /// Lower-cased full paths of the "index.dat" files handed to the secure
    /// deletion, in the order they came; one entry per hand-over (a path
    /// handed twice is listed twice, the step emptying them does it once).
    std::vector<std::string> deferredIndexFiles;
    /// The lines of "alist.txt", lower-cased, in file order, compiled
    /// (a line that is no valid pattern matches nothing).
    std::vector<std::optional<platform::LikePattern>> exceptionPatterns;
    /// Files an exception matched; they carry read-only + hidden + system
    /// until the run ends. Each path once, with its own attributes from
    /// before: a second match of the same path must not take the hiding
    /// for the file's own state.
    std::vector<KeptFile> keptFiles;
    std::unordered_set<std::string> keptPaths;
    /// The spelling on disk of the folders the add filter listed files of,
    /// by their lower-cased form (the first spelling met for each). An entry
    /// of a file in such a folder carries in its tag only what the folder
    /// does not tell (see addFilter); spelledPath puts the path together.
    std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> foldersOnDisk;
    /// Bytes freed by the deletions of the current destroy phase.
    double byteTotal = 0;
    /// Files the current destroy phase has cleaned: listed files it removed
    /// (a link or one name of a file counts as removed) and index files it
    /// blanked. A file left in place, refused, kept or not reached because
    /// of a cancel does not count.
    std::size_t filesCleaned = 0;
    DeletionSettings settings;
    /// The weekly junk search listed its files in the last discovery; it is
    /// recorded as done once a destroy phase has deleted the listed files.
    bool junkSearchToStamp = false;
    /// The "Gutmann" setting as the destroy phase read it at its start, so
    /// that the store is not asked once per file; unset outside a destroy
    /// phase, where every deletion reads it itself.
    std::optional<bool> gutmannForRun;
};

/// The calling thread's run state: kept between the calls of a run, read
/// only where the public class builds a run's context.
RunState& runState();

/// Starts the calling thread's run state afresh (in tests).
void resetRunState();

/// The found list (`lvFiles` of the hidden main window).
platform::ui::ListView& foundList();

/// The entry the History step of discovery adds in place of the lists it
/// clears later.
inline constexpr std::string_view kHistoryMarker =
    "Listen der zuletzt geöffneten Dateien / Verlauf im Browser";

/// Reads the five deletion settings; with "Security" off the other four
/// keep the values they had.
void loadDeletionSettings(RunState& state, const settings::AppSettings& options);

/// Replaces the exception patterns by the lines of "alist.txt" in the
/// private folder (none when the file is missing).
void loadExceptionPatterns(RunState& state);

/// Replaces the exception patterns by these lines (lower-cased here).
void setExceptionPatterns(RunState& state, const std::vector<std::string>& lines);

/// True when `lowerText` as a whole fits one of the exception patterns.
bool matchesException(const RunState& state, std::string_view lowerText);

/// The kept check: true for a path an exception protects. A matching file
/// of its own (no link, no other hard link) is recorded, added to the kept
/// files and hidden; a path containing ".ini" counts as kept (untouched)
/// whenever patterns exist.
bool keptCheck(const RunContext& run, std::string_view path);

/// The kept check's answer without its effects (nothing is hidden or
/// remembered): what a preview shows as kept.
bool wouldKeep(const RunState& state, std::string_view path);

/// The add filter: lists the lower-cased path unless it names a program,
/// library, driver or configuration file or an exception matches it. The
/// entry keeps the path as given, as short as it can: its folder's spelling
/// once per folder in RunState::foldersOnDisk, the tag holding the file's
/// name when that differs from the text's, or the whole path when the
/// folder is known under another spelling.
bool addFilter(const RunContext& run, std::string_view path);

/// The path an entry of the found list names in its spelling on disk: the
/// tag when it holds a path, else the folder from RunState::foldersOnDisk
/// with the tag's name or the text's; an entry of no such folder is its text.
std::string spelledPath(const RunState& state, const platform::ui::ListItem& item);

/// Gives every kept file the attributes it had before it was hidden
/// (errors ignored) and forgets it: a second call changes nothing. Files a
/// run of an ended process left hidden get theirs back as well
/// (cleaning/kept_record.hpp).
void restoreKeptFiles(const RunContext& run);

/// Deletes a file securely with the run's settings and records what it
/// leaves to the run; answers what the deletion did.
deletion::DeleteResult deleteForRun(const RunContext& run, std::string_view path);

/// The same; answers the bytes freed (the caller decides whether they count
/// towards the byte total).
double deleteWithRunSettings(const RunContext& run, std::string_view path);

/// Takes what a secure deletion leaves to the run: an "index.dat" file it
/// deferred joins the deferred index files. Answers the bytes it freed.
double recordDeletion(RunState& state, const deletion::DeleteResult& result);

}  // namespace kx::cleaning
