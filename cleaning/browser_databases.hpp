#pragma once
// Today's browsers in the machine: Firefox profiles below application data
// ("Mozilla\Firefox\Profiles\<name>", its cache below local application
// data under the same name) and Chromium or Chrome profiles ("Chromium\User
// Data\<name>", "Google\Chrome\User Data\<name>" below local application
// data, the cache a Linux host keeps apart under "Cache\<name>" beside
// "User Data"). Their cache and session files go through the run's found list like
// every other track; their cookies, history and form entries are rows of
// SQLite databases, deleted row by row (the cookies of excepted sites stay,
// bookmarked places stay) and the files vacuumed afterwards, so that no
// page of the old rows stays readable. A profile whose browser runs is left
// alone, as is a database of a layout other than the browser's.
#include <string>
#include <vector>

namespace kx::platform {
class Machine;
}

namespace kx::cleaning {

struct RunContext;

struct BrowserProfile {
    enum class Kind { Firefox, Chromium };
    Kind kind = Kind::Firefox;
    /// Windows path of the profile folder, no trailing backslash.
    std::string folder;
    /// The folder where the profile's disk cache may live apart from it
    /// (it may be missing).
    std::string localFolder;
};

/// The profiles of today's browsers in the machine, Firefox first.
std::vector<BrowserProfile> todaysBrowserProfiles(platform::Machine& machine);

/// The profiles a run may clean: those whose browser runs are left out,
/// each with a status line saying so.
std::vector<BrowserProfile> profilesToClean(const RunContext& run);

/// What of a profile discovery lists as files.
enum class BrowserTrack {
    Cache,     // disk caches, code caches, page thumbnails
    Sessions,  // the windows and tabs kept for the next start
};
/// The files and folders of a profile that hold a track, those there now.
std::vector<std::string> browserTrackPaths(platform::Machine& machine,
                                           const BrowserProfile& profile, BrowserTrack track);

/// The database files of today's browsers whose rows the settings ask to
/// delete, as they are now (what the preview names).
std::vector<std::string> browserDatabaseFiles(const RunContext& run);

/// Deletes the rows of the profiles' databases as the settings ask:
/// "Cookies" the cookies (keeping those of excepted sites), "Recent" the
/// history (keeping bookmarks), "AutoFillOff" the form entries.
void cleanBrowserDatabases(const RunContext& run);

}  // namespace kx::cleaning
