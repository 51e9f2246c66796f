// Whole cleaning runs on a seeded machine: what goes, what stays and with
// which attributes, the summary and the statistics; the exception rules;
// cancels in both phases; links that point out of a cleaned folder; the
// deletion settings before any load.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cleaning/destroy_phase.hpp"
#include "cleaning/statistics.hpp"
#include "core/text_rules.hpp"
#include "run_fixture.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;
namespace attr = platform::fileattr;
using ::testing::ElementsAre;

bool listed(const std::vector<std::string>& list, const std::string& path) {
    return std::ranges::find(list, platform::vbLCase(path)) != list.end() ||
           std::ranges::find(list, path) != list.end();
}

TEST_F(CleaningRunTest, TempCacheAndCookieRunRemovesTracksAndReportsThem) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::INetTempFiles, "1");
    set(settings::keys::Cookies, "1");
    const auto temp = tempDir();
    const auto a = put(temp, "A.tmp", std::string(1000, 'a'));
    const auto b = put(temp, "sub\\b.txt", std::string(2000, 'b'));
    const auto program = put(temp, "setup.EXE", "MZ");
    const auto wintemp = put("C:\\WINDOWS\\Temp", "w.log", std::string(48, 'w'));
    const auto cache = put(settings::GetSpecialfolder(32), "Content.IE5\\X1\\page[1].htm",
                           std::string(1024 * 1024, 'c'));
    const auto cookie = put(settings::GetSpecialfolder(33), "anna@example[1].txt", "id=1");

    start();
    const auto list = found();
    EXPECT_EQ(list.size(), 5u);
    EXPECT_TRUE(listed(list, a) && listed(list, b) && listed(list, wintemp) &&
                listed(list, cache) && listed(list, cookie));
    EXPECT_FALSE(listed(list, program));
    EXPECT_EQ(cleaning::foundList().item(0)->text, platform::vbLCase(a));  // order of discovery

    destroy();
    for (const auto& gone : {a, b, wintemp, cache, cookie}) EXPECT_FALSE(there(gone)) << gone;
    EXPECT_TRUE(there(program));
    EXPECT_TRUE(found().empty());

    const double bytes = 1000 + 2000 + 48 + 1024 * 1024 + 4;
    const auto lines = statusLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "Es wurden 5 Dateien bereinigt bzw. entfernt. Dabei wurde ca. 1,0029 MB "
              "Speicherplatz frei.");
    EXPECT_EQ(settings::read(settings::keys::StatFiles), "5");
    EXPECT_NEAR(numericValue(settings::read(settings::keys::StatMB)), bytes / 1048576, 1e-12);
    EXPECT_EQ(progressWindow()->pbBar->value(), 17);
}

TEST_F(CleaningRunTest, RecentListsOperaFilesAndTheHistoryMarker) {
    set(settings::keys::Recent, "1");
    const auto recent = put(settings::GetSpecialfolder(8), "Brief.lnk");
    const auto opera = AddBackslash(settings::GetOperaDirectory());
    const auto global = put(opera, "Global.dat");  // listed as built, case kept
    const auto hidden = put(opera, "profile\\vlink4.dat");
    ASSERT_TRUE(platform::files::setAttributes(hidden, attr::Hidden));

    start();
    EXPECT_THAT(found(), ElementsAre(platform::vbLCase(recent), opera + "global.dat"));
    EXPECT_TRUE(there(global));

    // With History alone, the list holds exactly the marker.
    set(settings::keys::Recent, "0");
    set(settings::keys::History, "1");
    start();
    EXPECT_THAT(found(), ElementsAre(std::string(cleaning::kHistoryMarker)));
}

TEST_F(CleaningRunTest, ExceptionsKeepFilesHiddenDuringTheRunAndGiveThemBack) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::INetTempFiles, "1");
    set(settings::keys::Recent, "1");
    exceptions("*.log\r\n*\\opera\\opera7\\cookies4.dat\n*werbung*\n");
    const auto temp = tempDir();
    const auto log = put(temp, "Trace.LOG", "kept");
    const auto readOnlyLog = put(temp, "old.log", "kept too");
    ASSERT_TRUE(platform::files::setAttributes(readOnlyLog, attr::ReadOnly));
    const auto ini = put(temp, "tool.ini", "[x]");
    const auto plain = put(temp, "gone.tmp", "gone");
    const auto cache = put(settings::GetSpecialfolder(32), "werbung.gif", "ad");
    set(settings::keys::Cookies, "1");
    const auto opera = put(settings::GetOperaDirectory(), "cookies4.dat", "opera");

    start();
    auto list = found();
    EXPECT_FALSE(listed(list, log) || listed(list, readOnlyLog) || listed(list, ini));
    EXPECT_FALSE(listed(list, cache));  // the exception only keeps it off the list
    EXPECT_TRUE(listed(list, plain));
    EXPECT_TRUE(std::ranges::find(list, opera) != list.end());  // unfiltered, as built
    EXPECT_EQ(attributes(log), attr::ReadOnly | attr::Hidden | attr::System);
    EXPECT_EQ(attributes(readOnlyLog), attr::ReadOnly | attr::Hidden | attr::System);
    EXPECT_EQ(attributes(ini), 0u);
    EXPECT_EQ(attributes(cache), 0u);

    destroy();
    EXPECT_FALSE(there(plain));
    // (The cache step empties the whole cache folder afterwards.)
    for (const auto& stays : {log, readOnlyLog, ini, opera}) EXPECT_TRUE(there(stays)) << stays;
    // Each kept file ends with the attributes it had before the run.
    EXPECT_EQ(attributes(log), 0u);
    EXPECT_EQ(attributes(readOnlyLog), attr::ReadOnly);
    EXPECT_EQ(attributes(opera), 0u);
    EXPECT_EQ(TempMachine::readHostFile(tm.host(log)), "kept");
}

TEST_F(CleaningRunTest, AFaultInTheDestroyPhaseRestoresKeptFilesAndTheRunGoesOn) {
    set(settings::keys::TempFiles, "1");
    exceptions("*.log\n");
    const auto log = put(tempDir(), "keep.log");
    const auto plain = put(tempDir(), "gone.tmp");
    start();
    // The host narrowed the bar: every progress value of the phase is refused.
    ASSERT_TRUE(kolvanex.ProgressMax(5));
    destroy();
    EXPECT_FALSE(there(plain));
    EXPECT_TRUE(there(log));
    EXPECT_EQ(attributes(log), 0u);
    EXPECT_EQ(statusLines().back(), cleaning::summaryLine(1, 5));
}

TEST_F(CleaningRunTest, CancelInDiscoveryLeavesAPartListThatALaterDeleteProcesses) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::Cookies, "1");
    for (int i = 0; i < 300; ++i) put(tempDir(), "f" + std::to_string(i) + ".tmp");
    const auto cookie = put(settings::GetSpecialfolder(33), "c.txt");
    shared().gbQuiet = true;  // no status lines, so the first yield is the scan's
    cancelAtYield(1);         // after the 128th item
    start();
    EXPECT_EQ(found().size(), 128u);
    EXPECT_FALSE(listed(found(), cookie));

    // Still cancelled: the destroy phase does not begin.
    destroy();
    EXPECT_EQ(found().size(), 128u);
    shared().gbBreak = false;
    destroy();
    EXPECT_EQ(std::distance(fs::directory_iterator(tm.host(tempDir())), fs::directory_iterator()),
              300 - 128);
    EXPECT_EQ(settings::read(settings::keys::StatFiles), "128");
}

TEST_F(CleaningRunTest, CancelInTheDestroyLoopStopsDeletingAndCountsOnlyWhatWent) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::Security, "0");  // no passes: one yield per file
    exceptions("*.log\n");
    const auto log = put(tempDir(), "keep.log");
    for (int i = 0; i < 10; ++i) put(tempDir(), "f" + std::to_string(i) + ".tmp");
    start();
    shared().gbQuiet = true;
    cancelAtYield(3);  // after the third file
    destroy();
    EXPECT_EQ(std::distance(fs::directory_iterator(tm.host(tempDir())), fs::directory_iterator()),
              1 + 10 - 3);
    EXPECT_TRUE(found().empty());
    EXPECT_EQ(settings::read(settings::keys::StatFiles), "3");
    EXPECT_EQ(attributes(log), 0u);
}

TEST_F(CleaningRunTest, EachEntryRemovesTheFileItWasFoundAsWhileTheBarMoves) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::Security, "0");
    // Folders and names that differ only in case: each entry must reach its
    // own file, none another's, though the list shows them all lower-cased.
    const fs::path temp = tm.host(tempDir());
    for (const char* name : {"ABC/Name.DAT", "ABC/name.dat", "abc/Name.DAT", "abc/name.dat"})
        tm.writeHostFile(temp / name, name);
    for (int i = 0; i < 40; ++i) put(tempDir(), "Mehr\\f" + std::to_string(i) + ".htm");
    start();
    ASSERT_EQ(found().size(), 44u);
    // The common entry keeps no path of its own beside its text.
    for (const auto& item : cleaning::foundList().items()) {
        if (item->text.find("\\mehr\\") != std::string::npos) {
            EXPECT_EQ(item->tag(), "") << item->text;
        }
    }

    platform::ui::ManualClock clock;
    auto& loop = platform::ui::MessageLoop::current();
    loop.setClock(&clock);
    std::vector<std::int32_t> stretch;  // the bar's stretch after 9, as each file went
    const auto source = loop.addSource([&] {
        clock.advance(platform::ui::Millis(100));
        if (auto window = existingProgressWindow(); window && window->pbBar->value() == 9)
            stretch.push_back(window->pbBar->stretchDone());
    });
    destroy();
    loop.removeSource(source);
    loop.setClock(nullptr);

    EXPECT_EQ(settings::read(settings::keys::StatFiles), "44");
    EXPECT_TRUE(fs::is_empty(temp / "ABC"));
    EXPECT_TRUE(fs::is_empty(temp / "abc"));
    // A file takes 100 ms here: the bar moves every few files, never back.
    ASSERT_GE(stretch.size(), 40u);
    EXPECT_TRUE(std::ranges::is_sorted(stretch));
    EXPECT_GT(std::ranges::count_if(stretch, [](std::int32_t s) { return s > 0 && s < 1000; }), 0);
    EXPECT_GE(std::set<std::int32_t>(stretch.begin(), stretch.end()).size(), 10u);
}

TEST_F(CleaningRunTest, LinksOutOfACleanedFolderAreRemovedAsLinks) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::Cookies, "1");
    const fs::path outside = tm.root() / "outside";
    tm.writeHostFile(outside / "secret.txt", "precious");
    tm.writeHostFile(outside / "tree" / "deep.txt", "precious too");
    const fs::path temp = tm.host(tempDir());
    fs::create_symlink(outside / "secret.txt", temp / "secret.lnk");
    fs::create_symlink(outside / "tree", temp / "tree");
    fs::create_symlink(outside / "missing", temp / "dangling");
    const fs::path cookies = tm.host(settings::GetSpecialfolder(33));
    fs::create_symlink(outside / "secret.txt", cookies / "anna@evil[1].txt");
    exceptions("*never*\n");  // patterns exist, so the kept check runs on every file
    // A folder link outside the cleaned folders, and a file behind it that
    // the host lists: the deletion refuses the way through the link.
    fs::create_directories(tm.host("C:\\Daten"));
    fs::create_symlink(outside / "tree", tm.host("C:\\Daten") / "linked");

    start();
    cleaning::foundList().add("c:\\daten\\linked\\deep.txt");
    destroy();
    // The four links removed count; the refused file does not.
    EXPECT_EQ(settings::read(settings::keys::StatFiles), "4");
    for (const auto& link :
         {temp / "secret.lnk", temp / "tree", temp / "dangling", cookies / "anna@evil[1].txt"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << link;
    EXPECT_EQ(TempMachine::readHostFile(outside / "secret.txt"), "precious");
    EXPECT_EQ(TempMachine::readHostFile(outside / "tree" / "deep.txt"), "precious too");
    EXPECT_EQ(fs::status(outside / "secret.txt").permissions() & fs::perms::owner_write,
              fs::perms::owner_write);
}

// What the passes wrote, read through a descriptor opened before the run:
// the deletion only removes the name, the descriptor keeps the content.
class HeldFile {
  public:
    explicit HeldFile(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY)) {}
    ~HeldFile() { ::close(fd_); }
    std::string content() const {
        char buf[64] = {};
        const auto n = ::pread(fd_, buf, sizeof buf, 0);
        return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    }

  private:
    int fd_;
};

TEST_F(CleaningRunTest, SecurityOffBeforeAnyLoadOnlyRemovesAndLaterLoadsKeepTheValues) {
    set(settings::keys::TempFiles, "1");
    set(settings::keys::Security, "0");
    const auto first = put(tempDir(), "first.tmp", "secret");
    HeldFile heldFirst(tm.host(first));
    start();
    destroy();
    EXPECT_FALSE(there(first));
    EXPECT_EQ(heldFirst.content(), "secret");

    // Three passes of 246, also over the leftover of an interrupted deletion
    // in the same folder (which the routine refuses to take under its
    // temporary name).
    set(settings::keys::Security, "1");
    const auto second = put(tempDir(), "second.tmp", "secret");
    const auto leftover = put(tempDir(), "$$@$$.del", "half-destroyed");
    HeldFile heldSecond(tm.host(second)), heldLeftover(tm.host(leftover));
    start();
    destroy();
    EXPECT_EQ(heldSecond.content(), std::string(6, static_cast<char>(246)));
    EXPECT_EQ(heldLeftover.content(), std::string(14, static_cast<char>(246)));
    EXPECT_FALSE(there(leftover));
    EXPECT_FALSE(there(tempDir() + "\\$$@$$.tmp"));

    // Off again: the values of the last load stay in force.
    set(settings::keys::Security, "0");
    set(settings::keys::DeleteValue, "1");
    const auto third = put(tempDir(), "third.tmp", "secret");
    HeldFile heldThird(tm.host(third));
    start();
    destroy();
    EXPECT_EQ(heldThird.content(), std::string(6, static_cast<char>(246)));
}

TEST_F(CleaningRunTest, StepsRemoveNothingUnwipedWithSafetyDeletionOn) {
    set(settings::keys::INetTempFiles, "1");
    set(settings::keys::DialerCheckTime, "1");
    set(settings::keys::Recent, "1");
    set(settings::keys::Trashcan, "1");
    set(settings::keys::Security, "1");
    const std::string secret = "http://geheim.example/";
    // The cache's and the history's own index, a configuration file the
    // deletion leaves by its name, what the recycle bin holds and a dialer's
    // remnant.
    const std::vector<std::string> files = {
        put(settings::GetSpecialfolder(32), "Content.IE5\\index.dat", secret),
        put(settings::GetSpecialfolder(32), "desktop.ini", secret),
        put(settings::GetSpecialfolder(34), "History.IE5\\index.dat", secret),
        put("C:\\RECYCLER\\S-1-5-21-1", "Dc1.txt", secret),
        put("C:\\WINDOWS\\dialer", "0190.cfg", secret)};
    std::vector<std::unique_ptr<HeldFile>> held;
    for (const auto& file : files) held.push_back(std::make_unique<HeldFile>(tm.host(file)));
    start();
    destroy();
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_FALSE(there(files[i])) << files[i];
        EXPECT_EQ(held[i]->content().find("geheim"), std::string::npos) << files[i];
    }
    EXPECT_TRUE(fs::is_directory(tm.host(settings::GetSpecialfolder(32))));
}

TEST_F(CleaningRunTest, StatisticsAddUpAndReadBack) {
    ASSERT_TRUE(kolvanex.KXStatistics(0, 0));
    EXPECT_EQ(settings::read(settings::keys::StatFiles, std::string_view("absent")), "0");
    EXPECT_EQ(settings::read(settings::keys::StatMB, std::string_view("absent")), "0");
    ASSERT_TRUE(kolvanex.KXStatistics(10, 1.5));
    ASSERT_TRUE(kolvanex.KXStatistics(5, 0.25));
    EXPECT_EQ(settings::read(settings::keys::StatFiles), "15");
    EXPECT_EQ(settings::read(settings::keys::StatMB), "1.75");

    // One byte's share of a megabyte is stored so that it reads back.
    set(settings::keys::StatMB, "kaputt");
    ASSERT_TRUE(kolvanex.KXStatistics(0, 1.0 / 1048576));
    ASSERT_TRUE(kolvanex.KXStatistics(0, 1.0 / 1048576));
    const auto stored = settings::read(settings::keys::StatMB);
    EXPECT_EQ(stored.find_first_of("Ee"), std::string::npos) << stored;
    EXPECT_NEAR(numericValue(stored), 2.0 / 1048576, 1e-15);
}

}  // namespace
}  // namespace kx::test
