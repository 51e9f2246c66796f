// Fresh files beside the user's: names in use are passed over, never taken,
// and a replaced file keeps its name and content when a step fails.
#include "fsys/fresh_files.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_machine.hpp"

namespace kx::fsys {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

class FreshFilesTest : public ::testing::Test {
  protected:
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
        std::ranges::sort(out);
        return out;
    }
    void put(const std::string& name, const std::string& content) {
        tm.writeHostFile(folder / name, content);
    }

    TempMachine tm;
    const std::string windowsFolder = "C:\\Dokumente und Einstellungen\\anna\\Profil";
    const fs::path folder = tm.host(windowsFolder);
};

TEST_F(FreshFilesTest, NamesInUsePassedOverAndTheReplacedFileKeptWhole) {
    put("a.tmp", "mine");
    put("a1.tmp", "mine too");
    fs::create_symlink(tm.root() / "nowhere", folder / "a2.tmp");  // a dangling link counts
    EXPECT_EQ(createFreshFile(windowsFolder, "a", ".tmp"), windowsFolder + "\\a3.tmp");
    EXPECT_EQ(TempMachine::readHostFile(folder / "a.tmp"), "mine");
    EXPECT_EQ(fs::file_size(folder / "a3.tmp"), 0u);
    EXPECT_EQ(createFreshFile(windowsFolder + "\\Fehlt", "a", ".tmp"), "");

    // The old content moves past a name in use; the new one takes the name.
    put("cookies.txt", "old");
    put("~cookies.txt.tmp", "someone's");
    const auto old = replaceKeepingOld(windowsFolder + "\\cookies.txt", "new");
    EXPECT_EQ(old, windowsFolder + "\\~cookies.txt1.tmp");
    EXPECT_EQ(TempMachine::readHostFile(folder / "cookies.txt"), "new");
    EXPECT_EQ(TempMachine::readHostFile(folder / "~cookies.txt1.tmp"), "old");
    EXPECT_EQ(TempMachine::readHostFile(folder / "~cookies.txt.tmp"), "someone's");

    // A file that cannot be moved aside (gone meanwhile): nothing is left beside.
    const auto before = names();
    EXPECT_EQ(replaceKeepingOld(windowsFolder + "\\cookperm.txt", "new"), "");
    EXPECT_EQ(names(), before);
}

}  // namespace
}  // namespace kx::fsys
