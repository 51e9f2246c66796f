// Today's browsers: Firefox and Chromium profiles built here with the tables
// their cleaning touches. Rows go (excepted sites' cookies and bookmarks
// stay) and leave no readable trace in the files; caches and session files
// go through the found list; a running browser's profile and a database of
// another layout stay as they are; `machine link-browsers` links the
// profiles of a home folder for a clean run by the console host.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cleaning/browser_databases.hpp"
#include "platform/storage/sqlite_database.hpp"
#include "steps_fixture.hpp"
#include "support/home_scope.hpp"
#include "support/host_run.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;
namespace db = platform::storage;

constexpr std::string_view kFirefoxSchema =
    "CREATE TABLE moz_cookies(id INTEGER PRIMARY KEY, host TEXT, path TEXT, isSecure INTEGER,"
    " expiry INTEGER, name TEXT, value TEXT);";
constexpr std::string_view kFirefoxCookies =
    "INSERT INTO moz_cookies(host, path, isSecure, expiry, name, value) VALUES"
    " ('.example.org', '/', 0, 1, 'id', 'kept'), ('.tracker.net', '/', 1, 1, 'uid', 'gone');";
constexpr std::string_view kPlaces =
    "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url TEXT, visit_count INTEGER,"
    " last_visit_date INTEGER, origin_id INTEGER);"
    "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, place_id INTEGER);"
    "CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, fk INTEGER);"
    "CREATE TABLE moz_origins(id INTEGER PRIMARY KEY, host TEXT);"
    "INSERT INTO moz_origins VALUES (1, 'bookmarked.example'), (2, 'visited.example');"
    "INSERT INTO moz_places VALUES (1, 'https://bookmarked.example/', 3, 9, 1),"
    " (2, 'https://visited.example/secret', 5, 9, 2);"
    "INSERT INTO moz_historyvisits(place_id) VALUES (1), (2), (2);"
    "INSERT INTO moz_bookmarks(fk) VALUES (1), (NULL);";
constexpr std::string_view kFormHistory =
    "CREATE TABLE moz_formhistory(id INTEGER PRIMARY KEY, fieldname TEXT, value TEXT);"
    "INSERT INTO moz_formhistory(fieldname, value) VALUES ('q', 'typed-secret');";
constexpr std::string_view kChromiumCookies =
    "CREATE TABLE cookies(host_key TEXT, path TEXT, is_secure INTEGER, expires_utc INTEGER,"
    " name TEXT, value TEXT);"
    "INSERT INTO cookies VALUES ('.example.org', '/', 0, 0, 'id', 'kept'),"
    " ('.tracker.net', '/', 1, 0, 'uid', 'gone');";
constexpr std::string_view kChromiumHistory =
    "CREATE TABLE urls(id INTEGER PRIMARY KEY, url TEXT);"
    "CREATE TABLE visits(id INTEGER PRIMARY KEY, url INTEGER);"
    "CREATE TABLE keyword_search_terms(term TEXT);"
    "INSERT INTO urls VALUES (1, 'https://visited.example/secret');"
    "INSERT INTO visits(url) VALUES (1); INSERT INTO keyword_search_terms VALUES ('typed-secret');";
constexpr std::string_view kWebData =
    "CREATE TABLE autofill(name TEXT, value TEXT);"
    "INSERT INTO autofill VALUES ('email', 'typed-secret');";

class BrowserDatabasesTest : public StepsTest {
  protected:
    void SetUp() override {
        StepsTest::SetUp();
        set(settings::keys::Cookies, "1");
        set(settings::keys::Recent, "1");
        set(settings::keys::AutoFillOff, "1");
    }

    static void build(const fs::path& file, std::string_view sql) {
        fs::create_directories(file.parent_path());
        db::Database::openShared(file, std::chrono::milliseconds(1000))->exec(sql);
    }
    // The first column of the first row.
    static std::string query(const fs::path& file, std::string_view sql) {
        auto database = db::Database::openExisting(file, std::chrono::milliseconds(1000));
        auto row = database->prepare(sql);
        return row.step() ? row.text(0) : "<none>";
    }

    // A Firefox and a Chromium profile with every database, in `firefox`
    // and `chromium` (host folders).
    void buildProfiles(const fs::path& firefox, const fs::path& chromium) {
        build(firefox / "cookies.sqlite",
              std::string(kFirefoxSchema) + std::string(kFirefoxCookies));
        build(firefox / "places.sqlite", kPlaces);
        build(firefox / "formhistory.sqlite", kFormHistory);
        tm.writeHostFile(chromium / "Preferences", "{}");
        build(chromium / "Network" / "Cookies", kChromiumCookies);
        build(chromium / "History", kChromiumHistory);
        build(chromium / "Web Data", kWebData);
    }

    // What must hold of the profiles once their rows are gone.
    static void expectCleaned(const fs::path& firefox, const fs::path& chromium) {
        struct Check {
            fs::path file;
            std::string_view sql, expected;
        };
        const std::array<Check, 9> checks = {{
            {firefox / "cookies.sqlite", "SELECT group_concat(host) FROM moz_cookies",
             ".example.org"},
            {firefox / "places.sqlite",
             "SELECT group_concat(url || visit_count || ifnull(last_visit_date, '-')) FROM "
             "moz_places",
             "https://bookmarked.example/0-"},
            {firefox / "places.sqlite", "SELECT count(*) FROM moz_historyvisits", "0"},
            {firefox / "places.sqlite", "SELECT group_concat(host) FROM moz_origins",
             "bookmarked.example"},
            {firefox / "formhistory.sqlite", "SELECT count(*) FROM moz_formhistory", "0"},
            {chromium / "Network" / "Cookies", "SELECT group_concat(host_key) FROM cookies",
             ".example.org"},
            {chromium / "History",
             "SELECT (SELECT count(*) FROM urls) || (SELECT count(*) FROM visits) || "
             "(SELECT count(*) FROM keyword_search_terms)",
             "000"},
            {chromium / "Web Data", "SELECT count(*) FROM autofill", "0"},
            {firefox / "cookies.sqlite", "PRAGMA journal_mode", "wal"},
        }};
        for (const auto& check : checks)
            EXPECT_EQ(query(check.file, check.sql), check.expected)
                << check.file << ": " << check.sql;
        // Vacuumed: not a byte of a deleted row is left in the files.
        for (const auto& file :
             {firefox / "cookies.sqlite", firefox / "places.sqlite", firefox / "formhistory.sqlite",
              chromium / "Network" / "Cookies", chromium / "History", chromium / "Web Data"})
            for (const auto& gone : {"tracker.net", "visited.example/secret", "typed-secret"})
                EXPECT_EQ(TempMachine::readHostFile(file).find(gone), std::string::npos)
                    << file << " still holds " << gone;
    }

    const std::string firefoxProfile = settings::GetSpecialfolder(settings::kCsidlAppData) +
                                       "\\Mozilla\\Firefox\\Profiles\\abc.default";
    const std::string localData = settings::GetSpecialfolder(0x1C);
    const std::string chromiumProfile = localData + "\\Chromium\\User Data\\Default";
};

TEST_F(BrowserDatabasesTest, RowsGoExceptedCookiesAndBookmarksStayAndNothingStaysReadable) {
    buildProfiles(tm.host(firefoxProfile), tm.host(chromiumProfile));
    exceptions("*example.org*\n");
    cleaning::loadExceptionPatterns(cleaning::runState());
    cleaning::cleanBrowserDatabases(context());
    expectCleaned(tm.host(firefoxProfile), tm.host(chromiumProfile));

    // Without exceptions every cookie goes; with the setting off none does.
    cleaning::setExceptionPatterns(cleaning::runState(), {});
    build(tm.host(firefoxProfile + "\\cookies.sqlite"), kFirefoxCookies);
    set(settings::keys::Cookies, "0");
    cleaning::cleanBrowserDatabases(context());
    EXPECT_EQ(
        query(tm.host(firefoxProfile + "\\cookies.sqlite"), "SELECT count(*) FROM moz_cookies"),
        "3");
    set(settings::keys::Cookies, "1");
    cleaning::cleanBrowserDatabases(context());
    EXPECT_EQ(
        query(tm.host(firefoxProfile + "\\cookies.sqlite"), "SELECT count(*) FROM moz_cookies"),
        "0");

    // A database replaced by a link goes as the link; what it names stays.
    const fs::path outside = tm.root() / "outside.sqlite";
    build(outside, kFormHistory);
    const fs::path forms = tm.host(firefoxProfile + "\\formhistory.sqlite");
    fs::remove(forms);
    fs::create_symlink(outside, forms);
    // A folder on the way that is a link is not entered.
    const fs::path network = tm.host(chromiumProfile + "\\Network");
    fs::remove_all(network);
    build(tm.root() / "net" / "Cookies", kChromiumCookies);
    fs::create_symlink(tm.root() / "net", network);
    cleaning::cleanBrowserDatabases(context());
    EXPECT_FALSE(fs::exists(fs::symlink_status(forms)));
    EXPECT_EQ(query(outside, "SELECT count(*) FROM moz_formhistory"), "1");
    EXPECT_EQ(query(tm.root() / "net" / "Cookies", "SELECT count(*) FROM cookies"), "2");
}

// A write lock on a file held by another process for the object's lifetime,
// as a running Firefox holds its ".parentlock" (fcntl locks of the own
// process never conflict with its own probes).
class LockHeldElsewhere {
  public:
    explicit LockHeldElsewhere(const fs::path& file) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {  // only calls safe after fork
            const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0644);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char ok = '0';
        held_ = pid_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
    }
    ~LockHeldElsewhere() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    LockHeldElsewhere(const LockHeldElsewhere&) = delete;
    LockHeldElsewhere& operator=(const LockHeldElsewhere&) = delete;
    bool held() const { return held_; }

  private:
    pid_t pid_ = -1;
    bool held_ = false;
};

TEST_F(BrowserDatabasesTest, RunningBrowsersAndForeignDatabasesAreLeftAsTheyAre) {
    std::array<char, 256> hostName{};
    ASSERT_EQ(::gethostname(hostName.data(), hostName.size() - 1), 0);
    const std::string self = std::to_string(::getpid());
    const std::string firefoxCookies = firefoxProfile + "\\cookies.sqlite";
    const std::string chromiumCookies = chromiumProfile + "\\Network\\Cookies";
    const std::string firefoxRows = std::string(kFirefoxSchema) + std::string(kFirefoxCookies);
    const std::string chromiumLock = localData + "\\Chromium\\User Data\\SingletonLock";
    constexpr std::string_view running = "Browser läuft, Profil wird übersprungen: ";
    constexpr std::string_view foreign = "Unbekanntes Datenbankformat, bleibt unverändert: ";
    struct Case {
        std::string_view name;
        std::string database;              // Windows path
        std::string sql;                   // what it is built of; empty: text
        std::string lockLink, lockTarget;  // a lock link and what it names
        std::string_view line;             // the status line expected; empty: cleaned
        bool parentLockHeld = false;       // another process holds the profile's .parentlock
    };
    const std::vector<Case> cases = {
        {"firefox running", firefoxCookies, firefoxRows, firefoxProfile + "\\lock",
         "127.0.0.1:+" + self, running},
        {"firefox lock left by a crash", firefoxCookies, firefoxRows, firefoxProfile + "\\lock",
         "127.0.0.1:+999999999", ""},
        {"firefox holding its .parentlock", firefoxCookies, firefoxRows, "", "", running, true},
        {".parentlock left behind", firefoxCookies, firefoxRows, "", "", "", false},
        {"chromium running", chromiumCookies, std::string(kChromiumCookies), chromiumLock,
         std::string(hostName.data()) + "-" + self, running},
        {"chromium running elsewhere", chromiumCookies, std::string(kChromiumCookies), chromiumLock,
         "other-host-1", running},
        {"chromium lock left by a crash", chromiumCookies, std::string(kChromiumCookies),
         chromiumLock, std::string(hostName.data()) + "-999999999", ""},
        {"other columns", firefoxCookies, "CREATE TABLE moz_cookies(host TEXT);", "", "", foreign},
        {"not a database", chromiumCookies, "", "", "", foreign},
    };
    put(chromiumProfile, "Preferences", "{}");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = tm.host(c.database);
        fs::remove_all(tm.host(firefoxProfile));
        fs::remove(file);
        if (c.sql.empty())
            tm.writeHostFile(file, "cookies of another program");
        else
            build(file, c.sql);
        if (!c.lockLink.empty())
            fs::create_symlink(c.lockTarget, tm.host(c.lockLink));
        tm.writeHostFile(tm.host(firefoxProfile) / ".parentlock", "");
        std::optional<LockHeldElsewhere> parentLock;
        if (c.parentLockHeld) {
            parentLock.emplace(tm.host(firefoxProfile) / ".parentlock");
            ASSERT_TRUE(parentLock->held());
        }
        const std::string before = TempMachine::readHostFile(file);
        const auto saying = [&] {
            return std::ranges::count_if(statusLines(), [&](const std::string& line) {
                return !c.line.empty() && line.starts_with(c.line);
            });
        };
        const auto said = saying();
        cleaning::cleanBrowserDatabases(context());
        if (!c.lockLink.empty())
            fs::remove(tm.host(c.lockLink));
        // Compared as a whole, not printed: the files are binary.
        EXPECT_EQ(TempMachine::readHostFile(file) == before, !c.line.empty());
        EXPECT_EQ(saying(), said + (c.line.empty() ? 0 : 1))
            << testing::PrintToString(statusLines());
    }
}

TEST_F(BrowserDatabasesTest, CachesAndSessionsGoThroughTheFoundListAndLinksGoAsLinks) {
    set(settings::keys::INetTempFiles, "1");
    const std::string firefoxCache = localData + "\\Mozilla\\Firefox\\Profiles\\abc.default";
    const std::vector<std::string> tracks = {
        put(firefoxProfile, "sessionstore.jsonlz4"),
        put(firefoxProfile, "sessionstore-backups\\recovery.jsonlz4"),
        put(firefoxProfile, "thumbnails\\a.png"),
        put(firefoxCache, "cache2\\entries\\0A1B"),
        put(chromiumProfile, "Cache\\Cache_Data\\data_0"),
        put(chromiumProfile, "Code Cache\\js\\index"),
        put(chromiumProfile, "Current Session"),
        put(chromiumProfile, "Sessions\\Tabs_1"),
    };
    put(chromiumProfile, "Preferences", "{}");
    const auto kept = put(firefoxProfile, "prefs.js");
    const fs::path outside = tm.root() / "outside.txt";
    tm.writeHostFile(outside, "not the browser's");
    const std::string link = firefoxCache + "\\cache2\\entries\\link";
    fs::create_symlink(outside, tm.host(link));

    start();
    const auto listed = found();
    for (const auto& path : tracks)
        EXPECT_NE(std::ranges::find(listed, platform::vbLCase(path)), listed.end()) << path;
    EXPECT_EQ(std::ranges::find(listed, platform::vbLCase(kept)), listed.end());
    destroy();
    for (const auto& path : tracks) EXPECT_FALSE(there(path)) << path;
    EXPECT_FALSE(there(link));
    EXPECT_TRUE(there(kept));
    EXPECT_EQ(TempMachine::readHostFile(outside), "not the browser's");
}

TEST_F(BrowserDatabasesTest, LinkedProfilesOfTheHomeFolderAreCleanedByTheConsoleHost) {
    const fs::path home = tm.root() / "home";
    const HomeScope scope(home);
    auto run = runKolvanex(tm.prefix(), {"machine", "link-browsers"}, tm.root());
    EXPECT_EQ(run.exitCode, 1) << run.out;  // nothing to link yet

    const fs::path firefox = home / ".mozilla" / "firefox";
    tm.writeHostFile(firefox / "profiles.ini",
                     "[Profile0]\nName=default\nIsRelative=1\nPath=p1.default\n\n"
                     "[Profile1]\nName=gone\nIsRelative=1\nPath=missing\n");
    const fs::path chromium = home / ".config" / "chromium";
    tm.writeHostFile(chromium / "Local State",
                     R"({"profile": {"info_cache": {"Default": {}, "../escape": {}}}})");
    buildProfiles(firefox / "p1.default", chromium / "Default");
    tm.writeHostFile(home / ".cache" / "mozilla" / "firefox" / "p1.default" / "cache2" / "index",
                     "cache");
    exceptions("*example.org*\n");

    run = runKolvanex(tm.prefix(), {"machine", "link-browsers"}, tm.root());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const auto& line :
         {"Firefox\\Profiles\\p1.default -> " + (firefox / "p1.default").string(),
          std::string(
              "Lokale Einstellungen\\Anwendungsdaten\\Mozilla\\Firefox\\Profiles\\p1.default -> "),
          "Chromium\\User Data\\Default -> " + (chromium / "Default").string(),
          "übersprungen " + (firefox / "missing").string(), std::string("2 Profile verknüpft")})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    EXPECT_EQ(run.out.find("escape"), std::string::npos) << run.out;

    set(settings::keys::INetTempFiles, "1");
    run = runKolvanex(tm.prefix(), {"clean", "--preview"}, tm.root());
    for (const auto* listed : {"cache2\\index  -> ", "danach  heutige Browser: Cookies, Verlauf",
                               "p1.default\\cookies.sqlite  -> "})
        EXPECT_NE(run.out.find(listed), std::string::npos) << listed << "\n" << run.out;
    run = runKolvanex(tm.prefix(), {"clean"}, tm.root());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expectCleaned(firefox / "p1.default", chromium / "Default");
    EXPECT_FALSE(
        fs::exists(home / ".cache" / "mozilla" / "firefox" / "p1.default" / "cache2" / "index"));
}

}  // namespace
}  // namespace kx::test
