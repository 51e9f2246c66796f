// The weekly junk search: its calendar and what it lists on a fixed drive.
#include "cleaning/junk_search.hpp"

#include "platform/machine/drives.hpp"
#include "platform/runtime/local_time.hpp"
#include "run_fixture.hpp"

namespace kx::test {
namespace {

using platform::LocalDate;

// 1 June 2027 was a Tuesday.
constexpr LocalDate kTuesday{2027, 6, 1, 2};
constexpr LocalDate kFriday{2027, 6, 4, 5};
constexpr LocalDate kSaturday{2027, 6, 5, 6};
constexpr LocalDate kNextTuesday{2027, 6, 8, 2};
constexpr LocalDate kNextFriday{2027, 6, 11, 5};

class JunkSearchTest : public CleaningRunTest {
  protected:
    void SetUp() override {
        CleaningRunTest::SetUp();
        set(settings::keys::Junk, "1");
        put("C:\\Daten", "brief.bak");
    }
    // Whether discovery on that day searched the drive; with `destroy` the
    // run then deletes what it found.
    bool searchedOn(const LocalDate& day, bool destroy = true) {
        platform::TodayOverride today(day);
        put("C:\\Daten", "brief.bak");
        start();
        const bool searched = !found().empty();
        if (destroy)
            this->destroy();
        return searched;
    }
    std::string stamp() {
        return settings::read(settings::keys::JunkCleaned) + " " +
               settings::read(settings::keys::JunkCleanedDate);
    }
};

TEST_F(JunkSearchTest, RunsFirstThenOncePerFridayAndAgainAfterACancel) {
    // A cancelled search leaves the markers: the next run that day tries again.
    shared().gbQuiet = true;
    cancelAtYield(1);
    searchedOn(kTuesday);
    EXPECT_EQ(settings::read(settings::keys::JunkCleaned), "0");
    shared().gbQuiet = false;

    EXPECT_TRUE(searchedOn(kTuesday));
    EXPECT_EQ(settings::read(settings::keys::JunkCleaned), "1");
    EXPECT_EQ(settings::read(settings::keys::JunkCleanedDate), "01.06.27");
    EXPECT_FALSE(searchedOn(kTuesday));
    EXPECT_FALSE(searchedOn(kNextTuesday));
    EXPECT_TRUE(searchedOn(kFriday));
    EXPECT_FALSE(searchedOn(kFriday));
    EXPECT_EQ(settings::read(settings::keys::JunkCleanedDate), "04.06.27");
}

TEST_F(JunkSearchTest, RecordedDoneOnlyOnceTheRunHasDeletedTheJunk) {
    // Found on a Friday, but the run ends before its destroy phase.
    EXPECT_TRUE(searchedOn(kFriday, false));
    EXPECT_EQ(stamp(), "0 ");
    // So the junk is still searched for the next day, and recorded then.
    EXPECT_TRUE(searchedOn(kSaturday));
    EXPECT_EQ(stamp(), "1 05.06.27");
    EXPECT_FALSE(there("C:\\Daten\\brief.bak"));

    // A destroy phase cancelled before the deletions are done records nothing.
    set(settings::keys::Security, "0");
    shared().gbQuiet = true;
    {
        platform::TodayOverride today(kNextFriday);
        put("C:\\Daten", "brief.bak");
        start();
        cancelAtYield(1);
        destroy();
    }
    EXPECT_EQ(stamp(), "0 05.06.27");
    EXPECT_TRUE(searchedOn(kNextFriday));
    EXPECT_EQ(stamp(), "1 11.06.27");
}

TEST_F(JunkSearchTest, ListsLeftoversOnceEachAndTheRunDeletesThem) {
    platform::TodayOverride today(kTuesday);
    set(settings::keys::TempFiles, "1");  // the scanner holds the temp folder before
    const auto inTemp = put(tempDir(), "setup.old");
    const auto exeTmp = put("C:\\Programme\\Tool", "tool.exe.tmp");
    const auto library = put("C:\\Programme\\Tool", "~helper.dll");
    const auto leftover = put("C:\\WINDOWS\\system32", "$$@$$.del", "rest");
    const auto plain = put("C:\\Daten", "brief.txt");

    start();
    const auto list = found();
    for (const auto& junk : {inTemp, exeTmp, leftover, std::string("C:\\Daten\\brief.bak")})
        EXPECT_EQ(std::ranges::count(list, platform::vbLCase(junk)), 1) << junk;
    EXPECT_EQ(std::ranges::count(list, platform::vbLCase(library)), 0);
    EXPECT_EQ(std::ranges::count(list, platform::vbLCase(plain)), 0);

    set(settings::keys::History, "0");
    destroy();
    EXPECT_FALSE(there(exeTmp));
    EXPECT_FALSE(there(leftover));
    EXPECT_TRUE(there(library));
    EXPECT_TRUE(there(plain));
}

TEST_F(JunkSearchTest, ARunWithEveryStepOnLeavesTheHostFilesUnderZAlone) {
    // The host's own files carry junk names too; Z: shows them as a network
    // drive, which no step of a run walks.
    namespace k = settings::keys;
    for (const auto* key : {&k::TempFiles, &k::INetTempFiles, &k::Cookies, &k::Recent, &k::History,
                            &k::Trashcan, &k::DownloadedProgramFiles, &k::AutoFillOff,
                            &k::KaazaaSearch, &k::MessengerOff, &k::ClearPageFile, &k::AntiSpy})
        set(*key, "1");
    const std::filesystem::path host = tm.root() / "home" / "anna";
    std::vector<std::filesystem::path> planted;
    for (const char* name :
         {"brief.old", "brief.bak", "~lock.txt", "Temp/setup.tmp", "RECYCLER/x.b~k"}) {
        planted.push_back(host / name);
        tm.writeHostFile(planted.back(), "mine");
    }
    const std::string viaZ = "Z:" + platform::vbReplace(host.string(), "/", "\\");
    ASSERT_TRUE(there(viaZ + "\\brief.old"));

    // Were Z: fixed, the run would walk the whole host: stopped before that,
    // and before a destroy phase could remove anything it found there.
    ASSERT_EQ(platform::GetDriveTypeA("Z:\\"), platform::DRIVE_REMOTE);
    platform::TodayOverride today(kFriday);
    start();
    const auto list = found();
    ASSERT_TRUE(
        std::ranges::none_of(list, [](const auto& item) { return item.starts_with("z:"); }));
    destroy();
    for (const auto& file : planted) EXPECT_EQ(TempMachine::readHostFile(file), "mine") << file;
    EXPECT_FALSE(there("C:\\Daten\\brief.bak"));  // the junk search did run
}

}  // namespace
}  // namespace kx::test
