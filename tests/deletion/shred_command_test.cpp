// `kolvanex shred` as a script runs it: the real console host on a
// throw-away machine, its status lines, its summary and its exit status.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;

TEST(ShredCommandTest, DestroysFilesSumsTheBytesAndReportsWhatItLeft) {
    kx::test::TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    const auto kolvanex = [&](const std::vector<std::string>& args) {
        return kx::test::runKolvanex(tm.prefix(), args, tm.root());
    };
    tm.writeHostFile(dir / "a.txt", "12345");
    tm.writeHostFile(dir / "b.txt", std::string(10, 'b'));
    auto run =
        kolvanex({"shred", "--passes", "2", "--byte", "7", "C:\\Daten\\a.txt", "C:\\Daten\\b.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "2 file(s) deleted, 15 bytes freed\n");
    EXPECT_NE(run.err.find("Gelöscht: C:\\Daten\\a.txt (5 Bytes)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Gelöscht: C:\\Daten\\b.txt (10 Bytes)"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(dir));

    // Without --gutmann an .ini file is left alone, as the cleaner leaves it.
    tm.writeHostFile(dir / "x.ini", "[x]");
    run = kolvanex({"shred", "C:\\Daten\\x.ini", "C:\\Daten\\fehlt.txt"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "0 file(s) deleted, 0 bytes freed, 1 left in place, 1 not found\n");
    EXPECT_TRUE(fs::exists(dir / "x.ini"));
    run = kolvanex({"shred", "--byte", "256", "C:\\Daten\\x.ini"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(fs::exists(dir / "x.ini"));

    // --gutmann destroys it, and leaves the stored setting alone.
    run = kolvanex({"shred", "--gutmann", "C:\\Daten\\x.ini"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1 file(s) deleted, 3 bytes freed\n");
    EXPECT_FALSE(fs::exists(dir / "x.ini"));
    EXPECT_EQ(kolvanex({"settings", "get", "Options", "Gutmann"}).out, "0\n");
}

TEST(ShredCommandTest, VerboseNamesEachPassAsItBegins) {
    kx::test::TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    tm.writeHostFile(dir / "a.txt", "12345");
    tm.writeHostFile(dir / "b.txt", "12345");
    auto run = kx::test::runKolvanex(
        tm.prefix(), {"shred", "-n", "2", "--byte", "255", "-v", "C:\\Daten\\a.txt"}, tm.root());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("kolvanex: C:\\Daten\\a.txt: pass 1/2 (ffffff)...\n"
                           "kolvanex: C:\\Daten\\a.txt: pass 2/2 (ffffff)...\n"),
              std::string::npos)
        << run.err;

    // The Gutmann passes by their patterns, the random ones as such.
    run = kx::test::runKolvanex(tm.prefix(), {"shred", "--gutmann", "-v", "C:\\Daten\\b.txt"},
                                tm.root());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::size_t passes = 0;
    for (auto at = run.err.find(": pass "); at != std::string::npos;
         at = run.err.find(": pass ", at + 1))
        ++passes;
    EXPECT_EQ(passes, 35u);
    for (const char* line : {"pass 1/35 (random)...", "pass 7/35 (924924)...",
                             "pass 10/35 (000000)...", "pass 35/35 (random)..."})
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
}

TEST(ShredCommandTest, SaysWhyEachFileWasNotDestroyed) {
    kx::test::TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
    tm.writeHostFile(dir / "x.ini", "[x]");
    tm.writeHostFile(dir / "index.dat", "Client UrlCache");
    tm.writeHostFile(dir / "$$@$$.del", "left by an interrupted call");
    fs::create_directory(dir / "Ordner");
    ASSERT_EQ(::mkfifo((dir / "rohr").c_str(), 0600), 0);
    tm.writeHostFile(tm.root() / "ziel.txt", "target");
    fs::create_symlink(tm.root() / "ziel.txt", dir / "verweis.txt");
    tm.writeHostFile(dir / "eins.txt", "shared");
    fs::create_hard_link(dir / "eins.txt", dir / "zwei.txt");

    struct Case {
        const char* name;
        const char* reason;
        bool nameStays;
    };
    const Case cases[] = {
        {"x.ini", "skipped: configuration files (.ini) are kept", true},
        {"index.dat", "deferred: index file is emptied at the end of a cleaning run", true},
        {"$$@$$.del", "refused: the name files take while they are destroyed", true},
        {"Ordner", "refused: a folder", true},
        {"rohr", "refused: a device, pipe or socket", true},
        {"verweis.txt", "link removed, its target kept", false},
        {"zwei.txt", "only this name removed: the file has other hard links", false},
    };
    std::vector<std::string> args = {"shred"};
    for (const auto& c : cases) args.push_back(std::string("C:\\Daten\\") + c.name);
    const auto run = kx::test::runKolvanex(tm.prefix(), args, tm.root());

    // The removed names count as deleted, with nothing freed; the rest stay.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "2 file(s) deleted, 0 bytes freed, 5 left in place\n");
    for (const auto& c : cases) {
        const std::string line =
            std::string("kolvanex: C:\\Daten\\") + c.name + ": " + c.reason + "\n";
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
        EXPECT_EQ(fs::exists(fs::symlink_status(dir / c.name)), c.nameStays) << c.name;
    }
    EXPECT_EQ(kx::test::TempMachine::readHostFile(tm.root() / "ziel.txt"), "target");
    EXPECT_EQ(kx::test::TempMachine::readHostFile(dir / "eins.txt"), "shared");
}

}  // namespace
