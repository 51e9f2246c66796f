// `kolvanex shred` as a script runs it: the real console host on a
// throw-away machine, its status lines, its summary and its exit status.
#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
