// The console host in the user's language: its help, CLI11's words, its
// parse errors and the lines of its commands, run once in English and once
// in German; neither language may show a word of the other.
#include <gtest/gtest.h>

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
    "der",    "die",      "das",     "und",       "oder",    "nicht",  "ist",  "wurde",
    "wird",   "Datei",    "Dateien", "mit",       "für",     "Sie",    "ein",  "eine",
    "einen",  "von",      "auf",     "zu",        "fehlt",   "Fehler", "noch", "Beispiel",
    "Aufruf", "Optionen", "Befehle", "Argumente", "PFLICHT", "Befehl", "siehe"};
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

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { tm.writeHostFile(tm.root() / "key", "geheim\n"); }

    // The command's output in `language`; "{file}" stands for a fresh file
    // of the machine, "{dir}" for a scratch folder outside it.
    std::string run(std::vector<std::string> args, const char* language) {
        const auto file = tm.prefix() / "drive_c" / "probe.txt";
        tm.writeHostFile(file, "streng geheim");
        fs::remove(tm.prefix() / "drive_c" / "probe.kx");
        for (auto& a : args) {
            if (a == "{file}")
                a = file.string();
            else if (a == "{out}")
                a = (tm.prefix() / "drive_c" / "probe.kx").string();
            else if (a == "{key}")
                a = (tm.root() / "key").string();
            else if (a == "{reg}")
                a = (tm.root() / "probe.reg").string();
        }
        const kx::test::EnvScope scope("LANGUAGE", language);
        const auto done = kx::test::runKolvanex(tm.prefix(), args, tm.root());
        return done.out + done.err;
    }

    kx::test::TempMachine tm;
};

TEST_F(LanguageTest, EachLanguageShowsNoWordOfTheOther) {
    const std::vector<std::vector<std::string>> commands = {
        {"--help"},
        {"--version"},
        {"cleen"},
        {"reg", "qq"},
        {"shred", "--passes"},
        {"shred", "-n", "abc", "{file}"},
        {"shred", "--bogus", "{file}"},
        {"cipher", "sideways", "a", "b"},
        {"mail"},
        {"reg"},
        {"--yes", "--no", "info"},
        {"shred", "--help"},
        {"cipher", "--help"},
        {"encrypt", "--help"},
        {"decrypt", "--help"},
        {"favourites", "--help"},
        {"fetch", "--help"},
        {"download", "--help"},
        {"info", "--help"},
        {"mail", "--help"},
        {"proxy", "--help"},
        {"proxy", "check", "--help"},
        {"reg", "--help"},
        {"reg", "add", "--help"},
        {"reg", "export", "--help"},
        {"shred", "-v", "-n", "2", "{file}", "C:\\nirgends.txt"},
        {"cipher", "encrypt", "{file}", "{out}", "--key-file", "{key}"},
        {"cipher", "encrypt", "{file}", "{file}", "--key-file", "{key}"},
        {"encrypt", "{file}", "--folder", "C:\\"},
        {"reg", "query", "HKCU\\Software\\Nirgends"},
        {"reg", "export", "HKCU\\Software", "{reg}"},
        {"reg", "export", "HKEY_NOWHERE\\x", "{reg}"},
        {"reg", "add", "HKCU\\Software\\Probe", "-t", "REG_DWORD", "-d", "viel"},
        {"cipher", "decrypt", "{file}", "{out}", "--key-file", "{key}"},
        {"call", "--help"},
        {"machine", "--help"},
        {"settings", "--help"},
        {"session", "--help"},
        {"clean", "--help"},
        {"demo", "--help"},
        {"wipe-free-space", "--help"},
        {"clean", "--list"},
        {"clean", "--preview"},
        {"clean", "--only", "Nichts"},
        {"settings", "list", "--section", "Options"},
        {"settings", "set", "Options", "DeleteN", "100"},
        {"machine", "info"},
        {"session", "anonym", "off"},
        {"wipe-free-space", "Q"},
        {"clean"},
        {"demo"},
    };
    for (const auto& args : commands) {
        const std::string name = testing::PrintToString(args);
        const auto english = run(args, "en_US.UTF-8");
        const auto german = run(args, "de_DE.UTF-8");
        EXPECT_EQ(foreignWord(english, Reader::English), std::nullopt) << name << "\n" << english;
        EXPECT_EQ(foreignWord(german, Reader::German), std::nullopt) << name << "\n" << german;
        if (args.front() != "--version" && !english.empty()) {
            EXPECT_NE(english, german) << name << " shows the same text in both languages";
        }
    }
}

}  // namespace
