// machine.ini and the private-profile files go through the INI model: what a
// user wrote by hand (comments, order, spelling, line ends) must survive our
// rewrites.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files/ini.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;

TEST(IniFile, ReadsWithoutRegardToCaseAndTrimsBlanks) {
    auto ini = IniFile::parse("[Version]\n  Major = 5 \nminor=1\n[user]\nName=anna\n");
    EXPECT_EQ(ini.get("VERSION", "MAJOR"), "5");
    EXPECT_EQ(ini.get("version", "Minor"), "1");
    EXPECT_EQ(ini.get("USER", "name"), "anna");
    EXPECT_FALSE(ini.get("user", "computer"));
    EXPECT_FALSE(ini.get("nosection", "name"));
    EXPECT_EQ(ini.get("user", "computer", "PC"), "PC");
    // A value set with blanks reads back as it will from the file: trimmed.
    ini.set("user", "name", " bert\t");
    EXPECT_EQ(ini.get("user", "name"), "bert");
    EXPECT_EQ(IniFile::parse(ini.text()).get("user", "name"), "bert");

    // A stray CR before a line end is no part of the line: one rewrite drops
    // it and the next changes nothing.
    const auto stray = IniFile::parse("[a]\nk=v\r\r\n; note\r\r\n");
    EXPECT_EQ(stray.get("a", "k"), "v");
    EXPECT_EQ(stray.text(), "[a]\nk=v\n; note\n");
    EXPECT_EQ(IniFile::parse(stray.text()).text(), stray.text());
}

TEST(IniFile, RewriteKeepsCommentsOrderAndUntouchedLines) {
    const std::string text =
        "; top comment\n"
        "[Alpha]\n"
        "b = 2   ; not a comment for Windows, part of the value\n"
        "; inner comment\n"
        "a=1\n"
        "\n"
        "[Beta]\n"
        "x=old\n";
    auto ini = IniFile::parse(text);
    EXPECT_EQ(ini.text(), text);  // nothing changed, nothing moved
    ini.set("beta", "X", "new");
    ini.set("alpha", "c", "3");
    ini.set("Gamma", "k", "v");
    EXPECT_EQ(ini.text(),
              "; top comment\n"
              "[Alpha]\n"
              "b = 2   ; not a comment for Windows, part of the value\n"
              "; inner comment\n"
              "a=1\n"
              "c=3\n"
              "\n"
              "[Beta]\n"
              "x=new\n"
              "[Gamma]\n"
              "k=v\n");
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(ini.keys("ALPHA"), (std::vector<std::string>{"b", "a", "c"}));
}

TEST(IniFile, RemovesKeysAndSections) {
    auto ini = IniFile::parse("[a]\nk=1\nK=2\nj=3\n[b]\nz=1\n");
    EXPECT_EQ(ini.get("a", "k"), "1");  // the first of duplicates wins
    EXPECT_TRUE(ini.removeKey("A", "k"));
    EXPECT_FALSE(ini.get("a", "k"));
    EXPECT_FALSE(ini.removeKey("a", "k"));
    EXPECT_TRUE(ini.removeSection("B"));
    EXPECT_FALSE(ini.hasSection("b"));
    EXPECT_EQ(ini.text(), "[a]\nj=3\n");
}

TEST(IniFile, KeepsCrLfAndByteOrderMarkOnSaveAndMissingFilesAnswerNotFound) {
    kx::test::TempMachine tm;
    const fs::path file = tm.root() / "win.ini";
    tm.writeHostFile(file, "\xEF\xBB\xBF[windows]\r\nload=\r\n");
    auto ini = IniFile::load(file);
    ASSERT_TRUE(ini);
    EXPECT_EQ(ini->get("windows", "load"), "");
    ini->set("windows", "run", "x.exe");
    ASSERT_TRUE(ini->save(file));
    EXPECT_EQ(kx::test::TempMachine::readHostFile(file),
              "\xEF\xBB\xBF[windows]\r\nload=\r\nrun=x.exe\r\n");
    auto absent = IniFile::load(tm.root() / "absent.ini");
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.error().code, 2u);
}

TEST(IniFile, SaveReplacesALinkInsteadOfWritingThroughIt) {
    kx::test::TempMachine tm;
    const fs::path target = tm.root() / "elsewhere.txt";
    tm.writeHostFile(target, "precious");
    const fs::path file = tm.root() / "profile.ini";
    fs::create_symlink(target, file);
    IniFile ini;
    ini.set("s", "k", "v");
    ASSERT_TRUE(ini.save(file));
    EXPECT_EQ(kx::test::TempMachine::readHostFile(target), "precious");
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(kx::test::TempMachine::readHostFile(file), "[s]\nk=v\n");
}

}  // namespace
}  // namespace kx::platform
