// `kolvanex shred` as a script runs it: the real console host on a
// throw-away machine, its status lines, its summary and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;

using kx::test::HostRun;

class ShredCommandTest : public ::testing::Test {
  protected:
    HostRun kolvanex(const std::vector<std::string>& args) {
        return kx::test::runKolvanex(tm.prefix(), args, tm.root());
    }
    void put(const std::string& name, const std::string& content) {
        tm.writeHostFile(dir / name, content);
    }

    kx::test::TempMachine tm;
    const fs::path dir = tm.prefix() / "drive_c" / "Daten";
};

TEST_F(ShredCommandTest, DestroysFilesAndSumsTheBytesFreed) {
    put("a.txt", "12345");
    put("b.txt", std::string(10, 'b'));
    const auto run =
        kolvanex({"shred", "--passes", "2", "--byte", "7", "C:\\Daten\\a.txt", "C:\\Daten\\b.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "2 file(s) deleted, 15 bytes freed\n");
    EXPECT_NE(run.err.find("Gelöscht: C:\\Daten\\a.txt (5 Bytes)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Gelöscht: C:\\Daten\\b.txt (10 Bytes)"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(ShredCommandTest, GutmannModeLeavesTheStoredSettingAlone) {
    put("x.ini", "[x]");
    auto run = kolvanex({"shred", "--gutmann", "C:\\Daten\\x.ini"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "1 file(s) deleted, 3 bytes freed\n");
    EXPECT_FALSE(fs::exists(dir / "x.ini"));
    run = kolvanex({"settings", "get", "Options", "Gutmann"});
    EXPECT_EQ(run.out, "0\n");

    // Without --gutmann an .ini file is left alone, as the cleaner leaves it.
    put("y.ini", "[y]");
    run = kolvanex({"shred", "C:\\Daten\\y.ini", "C:\\Daten\\fehlt.txt"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "0 file(s) deleted, 0 bytes freed, 1 left in place, 1 not found\n");
    EXPECT_TRUE(fs::exists(dir / "y.ini"));

    run = kolvanex({"shred", "--byte", "256", "C:\\Daten\\y.ini"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(fs::exists(dir / "y.ini"));
}

}  // namespace
