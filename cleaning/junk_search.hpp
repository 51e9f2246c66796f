#pragma once
// The weekly search of every fixed drive for leftovers of editors,
// installers and crashed programs (backup copies, temporary files, dumps,
// help indexes, the temporary name of an interrupted secure deletion). It
// runs inside discovery on the first run ever and then on the first run of
// every Friday, never twice on one day once a run has deleted what it found;
// what it finds goes through the add filter like any other track.
#include <array>
#include <string_view>

#include "fsys/dir_scanner.hpp"
#include "settings/keys.hpp"

namespace kx::cleaning {

struct RunContext;

/// The file-name patterns, in the order they are searched.
inline constexpr std::array<std::string_view, 19> kJunkPatterns = {
    "*.old", "*.bak", "*.b~k", "*.syd", "*.s~d", "~*.*",  "*.tmp", "*.$$$", "$$@$$.del",    "*.~??",
    "*.?~?", "*.??~", "*.dmp", "*.gid", "*.fts", "*.---", "*.-",   "*._",   "*MSCREATE.DIR"};

/// True when the search is due today ("JunkCleaned", "JunkCleanedDate" and
/// the calendar of platform::today()).
bool junkSearchDue(const settings::AppSettings& options);

/// Searches every fixed drive with `scanner`, adding what the patterns find
/// to the found list. False when gbBreak stopped it.
bool searchJunk(const RunContext& run, fsys::DirScanner& scanner);

/// Discovery's junk step: when due, searches. Unless `keepMarkers` asks to
/// leave the store alone, "JunkCleaned" goes back to 0 for the time until
/// the junk is deleted (a run that never gets that far searches again on
/// its next start, whatever the day), and a search not cancelled is left
/// for the destroy phase to record as done. False when gbBreak stopped it.
bool weeklyJunkSearch(const RunContext& run, fsys::DirScanner& scanner, bool keepMarkers);

/// The destroy phase, once it has deleted the listed files: records a
/// search of the last discovery as done today.
void stampJunkSearch(const RunContext& run);

}  // namespace kx::cleaning
