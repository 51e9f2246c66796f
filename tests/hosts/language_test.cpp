// The console host in the user's language: every command's help, CLI11's
// words, its parse errors and the lines of its commands, run once in English
// and once in German; neither language may show a word of the other, the
// English lines say what an English-speaking user is meant to read, and every
// help gives an example in the user's words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/home_scope.hpp"
#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;

// Words that give a line away as German to someone reading English, and as
// English to someone reading German. Only whole words of letters count, so
// option names (--to), paths and file names never do.
const std::set<std::string> kGermanWords = {
    "der",         "die",      "das",      "und",     "oder",     "nicht",     "ist",
    "wurde",       "wird",     "Datei",    "Dateien", "mit",      "für",       "Sie",
    "ein",         "eine",     "einen",    "von",     "auf",      "zu",        "fehlt",
    "Fehler",      "noch",     "Beispiel", "Aufruf",  "Optionen", "Befehle",   "Argumente",
    "PFLICHT",     "Befehl",   "siehe",    "Vorgabe", "Maschine", "unbekannt", "unbekannte",
    "unbekannter", "Laufwerk", "Durchgang"};
const std::set<std::string> kEnglishWords = {
    "the",      "and",         "with",        "were",    "not",      "cannot",   "is",
    "of",       "to",          "from",        "deleted", "bytes",    "freed",    "pass",
    "found",    "failed",      "unknown",     "exit",    "status",   "files",    "password",
    "by",       "when",        "each",        "every",   "only",     "this",     "Usage",
    "Options",  "Subcommands", "Positionals", "Example", "REQUIRED", "required", "expected",
    "excludes", "Print",       "Display",     "mean"};

enum class Reader { English, German };

// The machine's own names are data, in the language of the Windows they
// stand for: Windows, Linux and registry paths (up to two blanks, an arrow or
// the line's end), the drive kinds in brackets and the examples' command lines.
std::string withoutData(const std::string& text) {
    static const std::regex data(
        R"((\b[A-Za-z]:\\|/|HKEY_)[^\n]*?(?=  | -> |\n|$)|\([^()\n]*\)|\n  kolvanex [^\n]*)");
    return std::regex_replace(text, data, " ");
}

/// The first word of `text` that does not belong in what `reader` reads
/// (for English also any umlaut or ß), or nothing.
std::optional<std::string> foreignWord(const std::string& text, Reader reader) {
    if (reader == Reader::English) {
        for (const char* letter : {"ä", "ö", "ü", "Ä", "Ö", "Ü", "ß"})
            if (withoutData(text).find(letter) != std::string::npos)
                return letter;
    }
    const auto& words = reader == Reader::English ? kGermanWords : kEnglishWords;
    std::istringstream in(withoutData(text));
    std::string word;
    while (in >> word) {
        const auto first = word.find_first_not_of("([\"'");
        const auto last = word.find_last_not_of(")]\"',.;:!?");
        if (first == std::string::npos || last == std::string::npos || last < first)
            continue;
        word = word.substr(first, last - first + 1);
        const bool letters = word.find_first_of("-_/\\.:@{}0123456789=<>$") == std::string::npos;
        if (letters && words.contains(word))
            return word;
    }
    return std::nullopt;
}

// The names a help's "Subcommands:" part lists.
std::vector<std::string> subcommandsIn(const std::string& help) {
    std::vector<std::string> names;
    std::istringstream lines(help);
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (line.starts_with("Subcommands:")) {
            inside = true;
        } else if (inside && line.starts_with("  ")) {
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        } else {
            inside = false;
        }
    }
    return names;
}

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { tm.writeHostFile(tm.root() / "key", "geheim\n"); }

    // The command's output in `language`; "{file}" stands for a fresh file
    // of the machine, "{out}" for a name beside it, "{key}" and "{reg}" for
    // files outside it, and "{fresh}" for a machine not made yet.
    kx::test::HostRun run(std::vector<std::string> args, const char* language) {
        const auto file = tm.prefix() / "drive_c" / "probe.txt";
        tm.writeHostFile(file, "streng geheim");
        fs::remove(tm.prefix() / "drive_c" / "probe.kx");
        std::optional<fs::path> prefix = tm.prefix();
        for (auto& a : args) {
            if (a == "{file}")
                a = file.string();
            else if (a == "{out}")
                a = (tm.prefix() / "drive_c" / "probe.kx").string();
            else if (a == "{key}")
                a = (tm.root() / "key").string();
            else if (a == "{reg}")
                a = (tm.root() / "probe.reg").string();
            if (a == "{fresh}") {
                a = (tm.root() / ("fresh" + std::to_string(++made))).string();
                prefix.reset();
            }
        }
        const kx::test::EnvScope scope("LANGUAGE", language);
        return kx::test::runKolvanex(prefix, args, tm.root());
    }

    kx::test::TempMachine tm;
    int made = 0;
};

struct Command {
    std::string line;           // the command line's words, split at blanks
    std::string english = {};   // what the English lines say, where it is looked at
    bool machineNames = false;  // names from the machine (German folders, drive labels)
};

TEST_F(LanguageTest, EachLanguageShowsNoWordOfTheOther) {
    std::vector<Command> commands = {
        {"--help",
         "2    bad input on the command line (nothing was changed)\n  130  cancelled with Ctrl+C"},
        {"--version", "kolvanex 3."},
        {"cleen"},
        {"reg qq"},
        {"shred --passes"},
        {"cipher sideways a b"},
        {"mail"},
        {"reg"},
        {"--yes --no info"},
        {"shred -n abc {file}"},
        {"shred --bogus {file}"},
        {"shred -v -n 2 {file} C:\\nirgends.txt"},
        {"cipher encrypt {file} {out} --key-file {key}"},
        {"cipher encrypt {file} {file} --key-file {key}"},
        {"encrypt {file} --folder C:\\"},
        {"reg export HKCU\\Software {reg}"},
        {"reg export HKEY_NOWHERE\\x {reg}"},
        {"cipher decrypt {file} {out} --key-file {key}"},
        {"reg query HKCU\\Software\\Nirgends"},
        {"reg add HKCU\\Software\\Probe -t REG_DWORD -d viel"},
        {"settings set Options DeleteN 100"},
        {"wipe-free-space Q"},
        {"clean"},
        {"demo"},
        {"call AddBackslash", "AddBackslash takes 1 arguments, 0 given"},
        {"call --list", "[property](", true},
        {"clean --help", "The stored settings are not changed by --only"},
        {"demo --help", "keep the machine afterwards"},
        {"clean --list", "cookies              on  Options\\Cookies"},
        {"clean --preview --only cookies", "would free ", true},
        {"clean --only kekse", "unknown cleaning step 'kekse'"},
        {"settings list --section Options", "Options\\Cookies=1 (default)"},
        {"settings set Options Kekse 1", "unknown setting 'Options\\Kekse'"},
        {"machine info", "drive C:\\ fixed (", true},
        {"session anonym off", "no anonymous session to end"},
        {"wipe-free-space Q:\\x", "is not a drive; name it by its letter"},
        {"--prefix {fresh} demo --plant-only", "planted 70 files and 6 registry lists"},
    };
    // The names of the host, the suite and its calls a user never meets.
    const std::vector<std::string> internal = {
        "gbQuiet",   "gbFormsOnTop",        "gbBreak",         "KXStart",   "KXDelete",
        "KXAppPath", "KXAppTitle",          "GetFastestProxy", "KXChecker", "GetInternetFile",
        "CKOLVANEX", "SecureFreeSpaceWipe", "DeleteTheFile"};
    std::size_t helps = 0;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const Command c = commands[i];  // a copy: the walk through the helps adds rows
        std::istringstream words(c.line);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        const auto shown = run(args, "en_US.UTF-8");
        const auto english = shown.out + shown.err;
        const auto german = [&] {
            const auto done = run(args, "de_DE.UTF-8");
            return done.out + done.err;
        }();
        if (c.line.ends_with("--help")) {
            ++helps;
            EXPECT_EQ(shown.exitCode, 0) << c.line << "\n" << english;
            EXPECT_THAT(english, testing::HasSubstr("Example")) << c.line;
            for (const auto& word : internal)
                EXPECT_THAT(english, testing::Not(testing::HasSubstr(word))) << c.line;
            const std::string above =
                c.line.substr(0, c.line.size() - std::string("--help").size());
            for (const auto& sub : subcommandsIn(shown.out)) {
                const std::string help = above + sub + " --help";
                if (std::ranges::find(commands, help, &Command::line) == commands.end())
                    commands.push_back({help});
            }
        }
        EXPECT_EQ(foreignWord(english, Reader::English), std::nullopt) << c.line << "\n" << english;
        EXPECT_EQ(foreignWord(german, Reader::German), std::nullopt) << c.line << "\n" << german;
        if (c.line != "--version" && !english.empty()) {
            EXPECT_NE(english, german) << c.line << " shows the same text in both languages";
        }
        if (c.english.empty())
            continue;
        EXPECT_THAT(english, testing::HasSubstr(c.english)) << c.line;
        // With nothing named by the machine in it, not even data has an umlaut.
        for (const char* umlaut : {"ä", "ö", "ü", "Ä", "Ö", "Ü", "ß"})
            EXPECT_TRUE(c.machineNames || !english.contains(umlaut)) << c.line << "\n" << english;
    }
    EXPECT_GT(helps, 25U);
}

}  // namespace
