#include "cleaning/browser_databases.hpp"

#include <array>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "cleaning/run_context.hpp"
#include "cleaning/step_tools.hpp"
#include "platform/browser/profile_lock.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/machine/shell_folders.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/storage/sqlite_database.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::cleaning {
namespace {

namespace pf = platform;
namespace db = platform::storage;
using Kind = BrowserProfile::Kind;

// How long a database held by another program is waited for.
constexpr std::chrono::milliseconds kBusyWait{2000};

std::string below(std::string_view folder, std::string_view name) {
    return std::string(folder) + "\\" + std::string(name);
}

std::optional<pf::EntryKind> entryKind(pf::Machine& machine, const std::string& path) {
    const auto entry = pf::files::info(machine, path);
    return entry ? std::optional(entry->kind) : std::nullopt;
}

bool isLink(pf::EntryKind kind) {
    return kind == pf::EntryKind::Link || kind == pf::EntryKind::FolderLink;
}

// The profile folders below `parent`: its own folders and the host folders
// linked there. A link someone else put there leads outside the machine and
// is no profile.
std::vector<std::string> profileFolders(pf::Machine& machine, const std::string& parent,
                                        std::string_view marker = {}) {
    std::set<std::string> names;
    if (const auto entries = pf::files::list(machine, parent))
        for (const auto& entry : *entries)
            if (entry.kind == pf::EntryKind::Folder)
                names.insert(entry.name);
    for (const auto& link : machine.linkedFoldersBelow(parent))
        if (link.relative.size() == 1)
            names.insert(link.relative.front());
    std::vector<std::string> out;
    for (const auto& name : names) {
        const std::string folder = below(parent, name);
        if (marker.empty() || pf::files::exists(machine, below(folder, marker)))
            out.push_back(folder);
    }
    return out;
}

bool profileInUse(pf::Machine& machine, const BrowserProfile& profile) {
    const auto host = machine.resolve(profile.folder);
    if (!host)
        return false;
    // Chromium locks the user data folder that holds its profiles.
    return profile.kind == Kind::Firefox ? pf::browser::firefoxProfileInUse(*host)
                                         : pf::browser::chromiumUserDataInUse(host->parent_path());
}

enum class Setting { Cookies, History, Forms };

// A table emptied with the others when the database has it.
struct ExtraTable {
    std::string_view table;
    std::string_view statement;
};

// One database of a browser's profile and what the settings delete in it.
struct DatabaseRule {
    Kind browser;
    Setting setting;
    std::vector<std::string_view> files;  // below the profile folder, each there cleaned
    // Prepared first: fails on a database of another layout.
    std::string_view probe;
    // Every row the setting removes.
    std::string_view deleteAll;
    std::vector<ExtraTable> extras;
    // Cookies: their fields as a line of a cookie file (host, path, secure,
    // expiry, name, value, after the row's id), and the deletion of one.
    std::string_view cookieRows;
    const char* deleteCookie = nullptr;
};

constexpr std::string_view kFirefoxCookieRows =
    "SELECT id, host, path, isSecure, expiry, name, value FROM moz_cookies";
constexpr std::string_view kChromiumCookieRows =
    "SELECT rowid, host_key, path, is_secure, expires_utc / 1000000 - 11644473600, name, value "
    "FROM cookies";

const std::vector<DatabaseRule>& databaseRules() {
    static const std::vector<DatabaseRule> rules = {
        {Kind::Firefox,
         Setting::Cookies,
         {"cookies.sqlite"},
         kFirefoxCookieRows,
         "DELETE FROM moz_cookies",
         {},
         kFirefoxCookieRows,
         "DELETE FROM moz_cookies WHERE id = ?1"},
        {Kind::Firefox,
         Setting::History,
         {"places.sqlite"},
         "SELECT v.place_id, p.id, p.url, p.visit_count, p.last_visit_date, b.fk "
         "FROM moz_historyvisits v, moz_places p, moz_bookmarks b",
         // The places the bookmarks name stay, without their visits.
         "DELETE FROM moz_historyvisits;"
         "DELETE FROM moz_places WHERE id NOT IN "
         "(SELECT fk FROM moz_bookmarks WHERE fk IS NOT NULL);"
         "UPDATE moz_places SET visit_count = 0, last_visit_date = NULL",
         {{"moz_inputhistory", "DELETE FROM moz_inputhistory"},
          {"moz_origins",
           "DELETE FROM moz_origins WHERE id NOT IN "
           "(SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL)"}},
         {},
         {}},
        {Kind::Firefox,
         Setting::Forms,
         {"formhistory.sqlite"},
         "SELECT fieldname, value FROM moz_formhistory",
         "DELETE FROM moz_formhistory",
         {},
         {},
         {}},
        // Newer versions keep the cookies below "Network".
        {Kind::Chromium,
         Setting::Cookies,
         {"Network\\Cookies", "Cookies"},
         kChromiumCookieRows,
         "DELETE FROM cookies",
         {},
         kChromiumCookieRows,
         "DELETE FROM cookies WHERE rowid = ?1"},
        {Kind::Chromium,
         Setting::History,
         {"History"},
         "SELECT u.id, u.url, v.url FROM urls u, visits v",
         "DELETE FROM visits; DELETE FROM urls",
         {{"keyword_search_terms", "DELETE FROM keyword_search_terms"},
          {"segments", "DELETE FROM segments"},
          {"segment_usage", "DELETE FROM segment_usage"},
          {"visit_source", "DELETE FROM visit_source"},
          {"visited_links", "DELETE FROM visited_links"},
          {"content_annotations", "DELETE FROM content_annotations"},
          {"context_annotations", "DELETE FROM context_annotations"}},
         {},
         {}},
        {Kind::Chromium,
         Setting::Forms,
         {"Web Data"},
         "SELECT name, value FROM autofill",
         "DELETE FROM autofill",
         {},
         {},
         {}},
    };
    return rules;
}

bool settingOn(const RunContext& run, Setting setting) {
    switch (setting) {
        case Setting::Cookies:
            return run.engineOn(settings::keys::Cookies);
        case Setting::History:
            return run.engineOn(settings::keys::Recent);
        case Setting::Forms:
            return run.engineBool(settings::keys::AutoFillOff);
    }
    return false;
}

bool hasTable(db::Database& database, std::string_view table) {
    auto query = database.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
    query.bindText(1, table);
    return query.step();
}

// The cookie as a line of a cookie file, so that the keep list keeps the
// same sites in a database as in a file.
std::string cookieLine(const db::Statement& row) {
    const std::string host = row.text(1);
    return host + "\t" + (host.starts_with('.') ? "TRUE" : "FALSE") + "\t" + row.text(2) + "\t" +
           (row.integer(3) != 0 ? "TRUE" : "FALSE") + "\t" + std::to_string(row.integer(4)) + "\t" +
           row.text(5) + "\t" + row.text(6);
}

void deleteCookiesNotKept(const RunContext& run, db::Database& database, const DatabaseRule& rule) {
    std::vector<std::int64_t> gone;
    for (auto rows = database.prepare(rule.cookieRows); rows.step();)
        if (!matchesException(run.state, pf::vbLCase(cookieLine(rows))))
            gone.push_back(rows.integer(0));
    for (const auto id : gone)
        // The kept statement is reset for the next row as it leaves the scope.
        database.cached(rule.deleteCookie).bind(1, id).run();
}

std::uint64_t fileSize(pf::Machine& machine, const std::string& path) {
    const auto size = pf::files::size(machine, path);
    return size ? *size : 0;
}

void cleanDatabase(const RunContext& run, const std::string& path, const DatabaseRule& rule) {
    auto& machine = run.machine;
    const auto kind = entryKind(machine, path);
    if (!kind || protectedByException(run.state, path))
        return;
    if (isLink(*kind)) {
        // Removed as a link; what it points at is no part of the profile.
        (void)pf::files::remove(machine, path);
        return;
    }
    const auto host = machine.resolve(path);
    if (*kind != pf::EntryKind::File || !host)
        return;
    run.status(pf::trf("Bereinige Browser-Datenbank {1}", {path}));
    const std::uint64_t before = fileSize(machine, path);
    try {
        const auto database = db::Database::openExisting(*host, kBusyWait);
        try {
            (void)database->prepare(rule.probe);
        } catch (const db::DatabaseError& e) {
            if (e.busy())
                throw;
            run.status(pf::trf("Unbekanntes Datenbankformat, bleibt unverändert: {1}", {path}));
            return;
        }
        // Freed pages are overwritten, and the vacuum below writes the
        // file anew, so no page of a deleted row stays in it.
        database->exec("PRAGMA secure_delete = ON");
        {
            db::Transaction transaction(*database, db::Transaction::Kind::Write);
            if (rule.setting == Setting::Cookies && !run.state.exceptionPatterns.empty())
                deleteCookiesNotKept(run, *database, rule);
            else
                database->exec(rule.deleteAll);
            for (const auto& extra : rule.extras)
                if (hasTable(*database, extra.table))
                    database->exec(extra.statement);
            transaction.commit();
        }
        database->exec("VACUUM");
        // A write-ahead log would still hold the pages: back into the file
        // with them, and the log emptied.
        database->exec("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const db::DatabaseError& e) {
        run.status(pf::trf("Browser-Datenbank nicht bereinigt ({1}): {2}", {e.what(), path}));
        return;
    }
    const std::uint64_t after = fileSize(machine, path);
    if (after < before)
        run.state.byteTotal += static_cast<double>(before - after);
}

}  // namespace

std::vector<BrowserProfile> todaysBrowserProfiles(pf::Machine& machine) {
    std::vector<BrowserProfile> out;
    const std::string roaming = pf::specialFolderPath(machine, pf::CSIDL_APPDATA);
    const std::string local = pf::specialFolderPath(machine, pf::CSIDL_LOCAL_APPDATA);
    const std::string firefox = "\\Mozilla\\Firefox\\Profiles";
    for (auto& folder : profileFolders(machine, roaming + firefox)) {
        std::string cache = local + firefox + folder.substr(folder.rfind('\\'));
        out.push_back({Kind::Firefox, std::move(folder), std::move(cache)});
    }
    for (const char* browser : {"\\Chromium", "\\Google\\Chrome"})
        for (auto& folder :
             profileFolders(machine, local + browser + "\\User Data", "Preferences")) {
            std::string cache = local + browser + "\\Cache" + folder.substr(folder.rfind('\\'));
            out.push_back({Kind::Chromium, std::move(folder), std::move(cache)});
        }
    return out;
}

std::vector<BrowserProfile> profilesToClean(const RunContext& run) {
    std::vector<BrowserProfile> out;
    for (auto& profile : todaysBrowserProfiles(run.machine)) {
        if (profileInUse(run.machine, profile))
            run.status(pf::trf("Browser läuft, Profil wird übersprungen: {1}", {profile.folder}));
        else
            out.push_back(std::move(profile));
    }
    return out;
}

std::vector<std::string> browserTrackPaths(pf::Machine& machine, const BrowserProfile& profile,
                                           BrowserTrack track) {
    std::vector<std::string> candidates;
    const auto add = [&](std::string_view folder, std::initializer_list<std::string_view> names) {
        for (const auto name : names) candidates.push_back(below(folder, name));
    };
    if (profile.kind == Kind::Firefox && track == BrowserTrack::Cache) {
        add(profile.folder, {"cache2", "thumbnails"});
        add(profile.localFolder, {"cache2", "thumbnails"});
    } else if (profile.kind == Kind::Firefox) {
        add(profile.folder, {"sessionstore-backups"});
        if (const auto entries = pf::files::list(machine, profile.folder))
            for (const auto& entry : *entries) {
                const std::string name = pf::vbLCase(entry.name);
                if (name.starts_with("sessionstore") && name.ends_with(".jsonlz4"))
                    add(profile.folder, {entry.name});
            }
    } else if (track == BrowserTrack::Cache) {
        add(profile.folder, {"Cache", "Code Cache"});
        add(profile.localFolder, {"Cache", "Code Cache"});
    } else {
        add(profile.folder,
            {"Sessions", "Current Session", "Current Tabs", "Last Session", "Last Tabs"});
    }
    std::erase_if(candidates,
                  [&](const std::string& path) { return !pf::files::exists(machine, path); });
    return candidates;
}

namespace {

struct DatabaseFile {
    std::string path;
    const DatabaseRule* rule;
};

// The database files of these profiles that the settings ask to clean, each
// with its rule. A folder on the way that is a link leads out of the
// profile, so what lies behind it is left out.
std::vector<DatabaseFile> databaseFiles(const RunContext& run,
                                        const std::vector<BrowserProfile>& profiles) {
    std::vector<DatabaseFile> out;
    for (const auto& profile : profiles) {
        for (const auto& rule : databaseRules()) {
            if (rule.browser != profile.kind || !settingOn(run, rule.setting))
                continue;
            for (const auto file : rule.files) {
                if (const auto slash = file.rfind('\\');
                    slash != std::string_view::npos &&
                    entryKind(run.machine, below(profile.folder, file.substr(0, slash))) !=
                        pf::EntryKind::Folder)
                    continue;
                out.push_back({below(profile.folder, file), &rule});
            }
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> browserDatabaseFiles(const RunContext& run) {
    std::vector<std::string> out;
    for (auto& database : databaseFiles(run, todaysBrowserProfiles(run.machine))) {
        if (entryKind(run.machine, database.path) == pf::EntryKind::File)
            out.push_back(std::move(database.path));
    }
    return out;
}

void cleanBrowserDatabases(const RunContext& run) {
    for (const auto& database : databaseFiles(run, profilesToClean(run))) {
        cleanDatabase(run, database.path, *database.rule);
        pf::ui::yield();
        if (run.cancelled())
            return;
    }
}

}  // namespace kx::cleaning
