// The console host's commands that run the suite, as an English-speaking
// user reads them: their lines, errors and help in English with no German
// left over; and the long runs kept silent by --quiet after their name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/host_run.hpp"
#include "support/language.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;

class ConsoleRunTest : public ::testing::Test {
  protected:
    // A demo machine planted with tracks and not yet cleaned.
    fs::path planted() {
        const auto prefix = machine.root() / "demo";
        const auto run = kx::test::runKolvanex(prefix, {"demo", "--plant-only"}, machine.root());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        plantSaid = run.out;
        return prefix;
    }

    kx::test::TempMachine machine;
    std::string plantSaid;  // what planting the demo machine printed
};

// `said` holds `expected` and none of the German words of these commands;
// with `ownWordsOnly` (nothing named by the machine in it), no umlaut either.
void expectEnglish(const std::string& name, const std::string& said, const std::string& expected,
                   bool ownWordsOnly) {
    EXPECT_NE(said.find(expected), std::string::npos) << name << "\n" << said;
    for (const char* german : {"Präfix", "Vorgabe", "Maschine", "nicht", "Sie ", "unbekannt",
                               "Laufwerk ", "Beispiel", "löschen", "Durchg"})
        EXPECT_EQ(said.find(german), std::string::npos) << name << " says " << german;
    if (ownWordsOnly) {
        for (const char* umlaut : {"ä", "ö", "ü", "Ä", "Ö", "Ü", "ß"})
            EXPECT_EQ(said.find(umlaut), std::string::npos) << name << "\n" << said;
    }
}

TEST_F(ConsoleRunTest, TheRunCommandsSpeakEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    const auto prefix = planted();
    const struct {
        std::vector<std::string> args;
        std::string said;
        bool ownWordsOnly;  // no names from the machine (German folders, drive labels)
    } cases[] = {
        {{"clean", "--list"}, "cookies              on  Options\\Cookies", true},
        {{"clean", "--preview", "--only", "cookies"}, "would free ", false},
        {{"clean", "--only", "kekse"}, "unknown cleaning step 'kekse'", true},
        {{"settings", "list", "--section", "Options"}, "Options\\Cookies=1 (default)", true},
        {{"settings", "set", "Options", "Kekse", "1"}, "unknown setting 'Options\\Kekse'", true},
        {{"machine", "info"}, "drive C:\\ fixed (", false},
        {{"call", "AddBackslash"}, "AddBackslash takes 1 arguments, 0 given", true},
        {{"call", "--list"}, "[property](", false},
        {{"wipe-free-space", "Q:\\x"}, "is not a drive; name it by its letter", true},
        {{"session", "anonym", "off"}, "no anonymous session to end", true},
        {{"demo", "--help"}, "keep the machine afterwards", true},
        {{"clean", "--help"}, "The stored settings are not changed by --only", true},
    };
    expectEnglish("demo --plant-only", plantSaid, "planted 70 files and 6 registry lists", true);
    for (const auto& c : cases) {
        const auto run = kx::test::runKolvanex(prefix, c.args, machine.root());
        expectEnglish(testing::PrintToString(c.args), run.out + run.err, c.said, c.ownWordsOnly);
    }
}

// --quiet after the command's name: nothing but errors, and a run that went
// right has none.
TEST_F(ConsoleRunTest, LongRunsTakeQuietAfterTheirName) {
    const auto prefix = planted();
    const std::vector<std::vector<std::string>> runs = {
        {"--prefix", prefix.string(), "clean", "--quiet"},
        {"--prefix", (machine.root() / "shown").string(), "demo", "--quiet"},
    };
    for (const auto& args : runs) {
        const auto run = kx::test::runKolvanex(std::nullopt, args, machine.root());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "") << testing::PrintToString(args);
    }
}

}  // namespace
