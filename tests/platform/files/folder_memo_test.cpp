// Inside a folder memo scope every file call must answer exactly as it does
// without one: the memo only saves finding the same folder again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

TEST(FolderMemo, ResolvesAsWithoutFollowsTheLoopsOwnChangesAndRefusesLinks) {
    TempMachine tm;
    const fs::path folder = tm.prefix() / "drive_c" / "Ordner";
    fs::create_directories(folder / "Unter");
    std::ofstream(folder / "Datei.TXT") << "eins";
    std::ofstream(folder / "zwei.dat") << "zwei";
    std::ofstream(folder / "Unter" / "drei.dat") << "drei";
    tm.writeHostFile(tm.root() / "draussen" / "ziel.txt", "bleibt");
    fs::create_directory_symlink(tm.root() / "draussen", folder / "Weg");

    const auto plain = [&](std::string_view path) { return tm->resolve(path).value(); };
    const fs::path caseFolded = plain("C:\\ordner\\datei.txt");
    const fs::path missing = plain("C:\\ordner\\Neu.txt");
    const fs::path deeper = plain("C:\\ORDNER\\unter\\DREI.dat");

    FolderMemoScope memo;
    // The same answers, asked twice so the second comes from the memo.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(plain("C:\\ordner\\datei.txt"), caseFolded);
        EXPECT_EQ(plain("C:\\ordner\\Neu.txt"), missing);
        EXPECT_EQ(plain("C:\\ORDNER\\unter\\DREI.dat"), deeper);
    }
    // What the loop itself does in the folder is seen by the next call.
    ASSERT_TRUE(files::rename("C:\\ordner\\zwei.dat", "C:\\ordner\\$$@$$.del"));
    EXPECT_TRUE(files::exists("C:\\ordner\\$$@$$.del"));
    EXPECT_FALSE(files::exists("C:\\ordner\\zwei.dat"));
    ASSERT_TRUE(files::remove("C:\\ordner\\$$@$$.del"));
    EXPECT_FALSE(files::exists("C:\\ordner\\$$@$$.del"));
    EXPECT_FALSE(fs::exists(folder / "$$@$$.del"));
    ASSERT_TRUE(files::remove("C:\\ordner\\DATEI.txt"));
    EXPECT_FALSE(fs::exists(folder / "Datei.TXT"));

    // A linked folder in it is still refused, with the folder in the memo.
    EXPECT_FALSE(files::writeAll("C:\\Ordner\\Weg\\ziel.txt", "überschrieben"));
    EXPECT_FALSE(files::remove("C:\\Ordner\\Weg\\ziel.txt"));
    EXPECT_FALSE(
        files::writeAll("C:\\Ordner\\Weg\\ziel.txt", "überschrieben"));  // not after either
    EXPECT_EQ(TempMachine::readHostFile(tm.root() / "draussen" / "ziel.txt"), "bleibt");
}

}  // namespace
}  // namespace kx::platform
