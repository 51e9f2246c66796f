// The console host as a script drives it: a real process, its output and its
// exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host_test.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using kx::test::expectUsageError;
using kx::test::HasSubstr;
using CliTest = kx::test::HostTest;

TEST_F(CliTest, CallsPrintTheResultAndInOutArguments) {
    const struct {
        std::vector<std::string> args;
        std::string out;
    } calls[] = {
        {{"hibyte", "-1"}, "255\n"},
        {{"CBoolEx", "Wahr"}, "True\n"},
        {{"CBoolEx", "bool:true"}, "True\n"},
        {{"CBoolEx", "long:1"}, "False\n"},
        {{"KXAppPath"}, "C:\\Programme\\Kolvanex\n"},
        // No terminal: the dialog is cancelled; the filter comes back with NULs.
        {{"ShowOpenDlg", "3", "Text|*.txt", "Titel", "C:\\"},
         "\nlHwndOwner=3\nstrFilter=Text\0*.txt\0\nstrTitel=Titel\nstrInitDir=C:\\\n"s},
        {{"ChangeTabControl", "tabstrip:4:1", "9", "3"},
         "tsTabControl={\"selectedIndex\":4,\"tabs\":4,\"type\":\"TabStrip\"}\n"},
    };
    for (const auto& c : calls) {
        std::vector<std::string> args = {"call"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = kolvanex(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, c.out) << testing::PrintToString(c.args);
    }
}

TEST_F(CliTest, JsonCarriesResultByRefAndError) {
    auto run = kolvanex({"call", "--json", "WriteUserInformationLong", "Software\\T", "n", "42"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = kolvanex({"call", "--json", "QueryUserInformationLong", "Software\\T", "n", "0"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["result"], 0);
    EXPECT_EQ(j["byref"]["lValue"], 42);
    EXPECT_TRUE(j["error"].is_null());

    run = kolvanex({"call", "--json", "QueryUserInformationLong", "Software\\None", "n", "7"});
    j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["result"], 2);
    EXPECT_EQ(j["byref"]["lValue"], 0);

    run = kolvanex({"--title", "Tarnkappe", "call", "--json", "KXAppTitle"});
    EXPECT_EQ(nlohmann::json::parse(run.out)["result"], "Tarnkappe");
}

TEST_F(CliTest, BadInputGivesOneLineAndStatusTwo) {
    const std::string keysBefore = kolvanex({"reg", "query", "HKCU"}).out;
    const struct {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{"call", "NoSuchOperation"}, "unbekannte Operation"},
        {{"call", "AddBackslash"}, "nimmt 1 Argumente, 0 angegeben"},
        {{"call", "hibyte", "70000"}, "(wParam) von hibyte muss Integer sein"},
        {{"call", "KXCryptFiles", "Sideways"}, "enumCryptIt"},
        {{"call", "MozAddFiles", "[1,2]"}, "Collection"},
        {{"call"}, "Operation"},
        {{"reg", "query", "HKEY_NOWHERE\\x"}, "Schlüsselpfad beginnt mit"},
        {{"reg", "add", "HKCU\\x", "-t", "REG_DWORD", "-d", "zwölf"}, "REG_DWORD"},
        {{"reg", "delete", "HKCU"}, "ganze Wurzel"},
        {{"clean", "--only", "kekse"}, "unbekannter Reinigungsschritt 'kekse'"},
        // Bytes that are not UTF-8 in a key or file name: refused before any command runs.
        {{"reg", "add", "HKCU\\Neu\xFF", "-d", "x"}, "kein gültiger UTF-8"},
        {{"reg", "add", "HKCU\\Neu", "-v", "\xED\xA0\x80"}, "kein gültiger UTF-8"},
        {{"shred", "C:\\Daten\\a\xC3"}, "kein gültiger UTF-8"},
        // An unknown command is answered with the one meant.
        {{"cleen"}, "unbekannter Befehl 'cleen' (meinten Sie 'clean'?)"},
        {{"--quiet", "setings", "list"}, "unbekannter Befehl 'setings' (meinten Sie 'settings'?)"},
        {{"settings", "lst"}, "unbekannter Befehl 'lst' (meinten Sie 'list'?)"},
        {{"--title", "Tarnkappe", "machine", "inf"},
         "unbekannter Befehl 'inf' (meinten Sie 'info'?)"},
        {{"wipe-free-spcae", "E"},
         "unbekannter Befehl 'wipe-free-spcae' (meinten Sie 'wipe-free-space'?)"},
        {{"xylophon"}, "unbekannter Befehl 'xylophon' (siehe 'kolvanex --help')"},
        {{"reg", "qq"}, "unbekannter Befehl 'qq' (siehe 'kolvanex reg --help')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        expectUsageError(kolvanex(c.args), c.said);
    }
    EXPECT_EQ(kolvanex({"reg", "query", "HKCU"}).out, keysBefore);
    // A word where a command takes its arguments is not taken for a command.
    EXPECT_THAT(kolvanex({"shred", "C:\\nirgends.txt"}).err,
                testing::Not(HasSubstr("unbekannter Befehl")));
    expectUsageError(bare({"--prefix", (machine.root() / "nowhere").string(), "machine", "info"}),
                     "keine Maschine in");
    EXPECT_FALSE(fs::exists(machine.root() / "nowhere"));

    const auto run = kolvanex({"call", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.out, HasSubstr("enumCryptIt"));
}

TEST_F(CliTest, AWinePrefixIsRecognisedAndLeftAsItIs) {
    const fs::path wine = machine.root() / "wine";
    fs::create_directories(wine / "dosdevices");
    fs::create_directories(wine / "drive_c" / "windows");
    fs::create_directory_symlink("../drive_c", wine / "dosdevices" / "c:");
    std::ofstream(wine / "system.reg") << "WINE REGISTRY Version 2\n";
    std::ofstream(wine / "user.reg") << "WINE REGISTRY Version 2\n";
    const auto tree = [&] {
        std::vector<std::string> entries;
        for (const auto& e : fs::recursive_directory_iterator(wine)) {
            std::ostringstream content;
            if (e.is_regular_file())
                content << std::ifstream(e.path()).rdbuf();
            entries.push_back(fs::relative(e.path(), wine).string() + "=" + content.str());
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    };
    const auto before = tree();
    const std::vector<std::vector<std::string>> commands{{"machine", "init"},
                                                         {"machine", "info"},
                                                         {"session", "anonym", "on"},
                                                         {"clean", "--preview"}};
    for (const auto& args : commands) {
        std::vector<std::string> words{"--prefix", wine.string()};
        words.insert(words.end(), args.begin(), args.end());
        const auto run = bare(words);
        expectUsageError(run, "ist ein Wine-Präfix");
        EXPECT_THAT(run.err, HasSubstr("arbeitet aber noch nicht darauf"));
    }
    EXPECT_EQ(tree(), before);
}

TEST_F(CliTest, MachineInfoAndRegistryRoundTrips) {
    const auto info = ok({"machine", "info"});
    EXPECT_THAT(info, HasSubstr("System: Windows XP"));
    EXPECT_THAT(info, HasSubstr("Laufwerk C:\\ fest"));

    const std::string probe = "HKCU\\Software\\Probe";
    ok({"reg", "add", probe, "-v", "Liste", "-t", "REG_MULTI_SZ", "-d", "eins\\0zwei"});
    ok({"reg", "add", probe + "\\Unter", "-v", "Zahl", "-t", "REG_DWORD", "-d", "0x10"});
    const auto file = (machine.root() / "probe.reg").string();
    ok({"reg", "export", probe, file});
    ok({"reg", "delete", probe});
    EXPECT_EQ(kolvanex({"reg", "query", probe}).exitCode, 1);
    ok({"reg", "import", file});
    EXPECT_THAT(ok({"reg", "query", probe}), HasSubstr("Liste    REG_MULTI_SZ    eins\\0zwei"));
    EXPECT_THAT(ok({"reg", "query", probe}), HasSubstr("HKCU\\Software\\Probe\\Unter"));
    EXPECT_THAT(ok({"reg", "query", probe + "\\Unter", "-v", "zahl"}),
                HasSubstr("0x00000010 (16)"));

    // A broken file is refused whole: nothing of it lands.
    const auto bad = machine.root() / "bad.reg";
    std::ofstream(bad) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Half]\n\"a\"=\"1\"\n"
                          "\"b\"=dword:xyz\n";
    const auto run = kolvanex({"reg", "import", bad.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("Zeile 5"));
    EXPECT_EQ(kolvanex({"reg", "query", "HKCU\\Software\\Half"}).exitCode, 1);
}

TEST_F(CliTest, ScriptsAnswerTheSettingsDialogWithYesOrNo) {
    const std::string options =
        "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Kolvanex\\Options";
    auto run = kolvanex({"--no", "call", "ShowOptionen"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* shown :
         {"[KOLVANEX 3 - Einstellungen]\n", "[x] Cookies löschen", "-> Schließen\n"})
        EXPECT_THAT(run.err, HasSubstr(shown));
    EXPECT_NE(kolvanex({"reg", "query", options, "-v", "Cookies"}).exitCode, 0);

    run = kolvanex({"--yes", "call", "ShowOptionen"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("-> OK\n"));
    EXPECT_THAT(ok({"reg", "query", options, "-v", "Cookies"}), HasSubstr("1"));

    expectUsageError(kolvanex({"--yes", "--no", "call", "ShowOptionen"}), "schließen einander aus");
}

}  // namespace
