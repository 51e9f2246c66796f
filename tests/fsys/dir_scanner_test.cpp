// DirScanner: the cleaners' candidate lists, as full Windows paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "fsys/dir_scanner.hpp"
#include "fsys/file_access.hpp"
#include "support/temp_machine.hpp"
#include "support/unprivileged.hpp"

namespace kx::fsys {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

std::set<std::string> items(const DirScanner& s) {
    std::set<std::string> out;
    for (std::int32_t i = 0; i <= s.UpperIndex(); ++i) out.insert(s.Item(i));
    return out;
}

class DirScannerTest : public ::testing::Test {
  protected:
    TempMachine tm;
    const fs::path cookies = tm.prefix() / "drive_c/Dokumente und Einstellungen/anna/Cookies";
};

TEST_F(DirScannerTest, ListsFilesAtAllLevelsAsWindowsPathsInDiskSpelling) {
    tm.writeHostFile(cookies / "anna@example[1].txt", "c");
    tm.writeHostFile(cookies / "Sub/Ärger.TXT", "c");
    tm.writeHostFile(cookies / "Sub/Deeper/index.dat", "c");
    fs::create_directories(cookies / "EmptyFolder");
    DirScanner s;
    EXPECT_EQ(s.UpperIndex(), -1);
    // The root as the caller spelt it (case, trailing "\"), the rest as on disk.
    EXPECT_EQ(s.Scan("c:\\dokumente und einstellungen\\ANNA\\cookies\\"), 3);
    EXPECT_EQ(items(s),
              (std::set<std::string>{
                  "c:\\dokumente und einstellungen\\ANNA\\cookies\\anna@example[1].txt",
                  "c:\\dokumente und einstellungen\\ANNA\\cookies\\Sub\\Ärger.TXT",
                  "c:\\dokumente und einstellungen\\ANNA\\cookies\\Sub\\Deeper\\index.dat"}));
    EXPECT_EQ(s.UpperIndex(), 2);
    // Every listed path leads back to its file.
    FileAccess fa;
    for (const auto& p : items(s)) EXPECT_TRUE(fa.Exists(p)) << p;
}

TEST_F(DirScannerTest, ScanEachHandsOverWhatScanListsAndKeepsNothing) {
    tm.writeHostFile(cookies / "a.txt", "c");
    tm.writeHostFile(cookies / "Sub/B.txt", "c");
    tm.writeHostFile(cookies / "Sub/Deeper/c.txt", "c");
    DirScanner listed;
    listed.Scan("C:\\Dokumente und Einstellungen\\anna\\Cookies\\");
    DirScanner s;
    std::vector<std::string> handed;
    EXPECT_EQ(s.ScanEach("C:\\Dokumente und Einstellungen\\anna\\Cookies\\",
                         [&](std::string_view path) { handed.emplace_back(path); }),
              3);
    ASSERT_EQ(handed.size(), 3u);
    for (std::int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(handed[static_cast<std::size_t>(i)], listed.Item(i));
    EXPECT_EQ(s.UpperIndex(), -1);
    EXPECT_EQ(s.ScanEach("", [&](std::string_view) { FAIL(); }), 0);
}

TEST_F(DirScannerTest, ScanAppendsAndClearForgets) {
    tm.writeHostFile(cookies / "a.txt", "c");
    tm.writeHostFile(tm.prefix() / "drive_c/WINDOWS/Temp/b.tmp", "t");
    DirScanner s;
    EXPECT_EQ(s.Scan("C:\\Dokumente und Einstellungen\\anna\\Cookies"), 1);
    EXPECT_EQ(s.Scan("C:\\WINDOWS\\Temp"), 1);
    EXPECT_EQ(items(s),
              (std::set<std::string>{"C:\\Dokumente und Einstellungen\\anna\\Cookies\\a.txt",
                                     "C:\\WINDOWS\\Temp\\b.tmp"}));
    s.Clear();
    EXPECT_EQ(s.UpperIndex(), -1);
    EXPECT_EQ(s.Item(0), "");
}

TEST_F(DirScannerTest, RootsThatReachNothingAddNothing) {
    tm.writeHostFile(tm.prefix() / "drive_c/file.txt", "x");
    DirScanner s;
    // A floppy without a disk, what a virtual special folder turns into, a file.
    for (const char* root :
         {"C:\\Does\\Not\\Exist", "Q:\\", "A:\\", ":", "", "C:\\..\\", "C:\\file.txt"})
        EXPECT_EQ(s.Scan(root), 0) << root;
    EXPECT_EQ(s.UpperIndex(), -1);
}

TEST_F(DirScannerTest, LinksToFilesAreListedAndDeletingThemRemovesOnlyTheLink) {
    const fs::path outside = tm.root() / "outside";
    tm.writeHostFile(outside / "precious.doc", "keep");
    tm.writeHostFile(outside / "more/precious2.doc", "keep");
    fs::create_directory_symlink(outside, cookies / "linked-folder");
    fs::create_symlink(outside / "precious.doc", cookies / "linked-file.txt");
    tm.writeHostFile(cookies / "own.txt", "x");

    DirScanner s;
    EXPECT_EQ(s.Scan("C:\\Dokumente und Einstellungen\\anna\\Cookies"), 2);
    const auto listed = items(s);
    EXPECT_EQ(listed, (std::set<std::string>{
                          "C:\\Dokumente und Einstellungen\\anna\\Cookies\\linked-file.txt",
                          "C:\\Dokumente und Einstellungen\\anna\\Cookies\\own.txt"}));
    FileAccess fa;
    for (const auto& p : listed) EXPECT_TRUE(fa.Delete(p)) << p;
    EXPECT_EQ(TempMachine::readHostFile(outside / "precious.doc"), "keep");
    EXPECT_EQ(TempMachine::readHostFile(outside / "more/precious2.doc"), "keep");
    EXPECT_TRUE(fs::is_symlink(cookies / "linked-folder"));
}

TEST_F(DirScannerTest, UnreadableFoldersAreSkipped) {
    tm.writeHostFile(cookies / "open/a.txt", "1");
    tm.writeHostFile(cookies / "locked/b.txt", "2");
    kx::test::openUpForOthers(tm.root());
    fs::permissions(cookies / "locked", fs::perms::none);
    const auto run = kx::test::runUnprivileged(tm.root(), [] {
        DirScanner s;
        const auto n = s.Scan("C:\\Dokumente und Einstellungen\\anna\\Cookies");
        std::string out = std::to_string(n);
        for (std::int32_t i = 0; i <= s.UpperIndex(); ++i) out += ";" + s.Item(i);
        return out;
    });
    if (!run.ran)
        GTEST_SKIP() << "cannot run without the right to read every folder: " << run.skipReason;
    EXPECT_EQ(run.output, "1;C:\\Dokumente und Einstellungen\\anna\\Cookies\\open\\a.txt");
}

TEST_F(DirScannerTest, FindNextMatchesFileNamesWithoutRegardToCase) {
    for (const char* name :
         {"a/INDEX.DAT", "b/readme.txt", "c/Ärger.dat", "d/index.dat.bak", "e/x9.tmp"}) {
        tm.writeHostFile(cookies / name, "x");
    }
    DirScanner s;
    ASSERT_EQ(s.Scan("C:\\Dokumente und Einstellungen\\anna\\Cookies"), 5);
    const auto nameAt = [&](std::int32_t i) { return s.Item(i).substr(s.Item(i).rfind('\\') + 1); };

    std::set<std::string> dat;
    for (std::int32_t i = s.FindNext("*.DAT", 0); i >= 0; i = s.FindNext("*.DAT", i + 1))
        dat.insert(nameAt(i));
    EXPECT_EQ(dat, (std::set<std::string>{"INDEX.DAT", "Ärger.dat"}));

    const auto umlaut = s.FindNext("ä*", -5);  // a negative start counts as 0
    ASSERT_GE(umlaut, 0);
    EXPECT_EQ(nameAt(umlaut), "Ärger.dat");
    EXPECT_EQ(nameAt(s.FindNext("?rger.*", 0)), "Ärger.dat");  // "Ä" is one character
    EXPECT_EQ(nameAt(s.FindNext("x#.tmp", 0)), "x9.tmp");
    // The folder part of the path does not take part: "a" is a folder.
    EXPECT_EQ(s.FindNext("a", 0), -1);
    EXPECT_EQ(s.FindNext("*.dat", s.UpperIndex() + 1), -1);
    EXPECT_EQ(s.FindNext("[", 0), -1);  // invalid pattern
    EXPECT_EQ(s.Item(-1), "");
    EXPECT_EQ(s.Item(5), "");
}

TEST(DirScannerNoMachine, ScanWithoutABoundMachineAddsNothing) {
    DirScanner s;
    EXPECT_EQ(s.Scan("C:\\"), 0);
}

}  // namespace
}  // namespace kx::fsys
