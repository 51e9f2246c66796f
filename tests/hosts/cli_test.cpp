// The console host as a script drives it: a real process, its output and its
// exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using CliRun = kx::test::HostRun;

class CliTest : public ::testing::Test {
  protected:
    CliRun kolvanex(const std::vector<std::string>& args, bool withPrefix = true) {
        return kx::test::runKolvanex(withPrefix ? std::optional(machine.prefix()) : std::nullopt,
                                     args, machine.root());
    }

    kx::test::TempMachine machine;
};

// One line, naming the problem, and the usage status.
void expectUsageError(const CliRun& run, const std::string& words) {
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(CliTest, CallsPrintTheResultAndInOutArguments) {
    auto run = kolvanex({"call", "hibyte", "-1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "255\n");

    run = kolvanex({"call", "CBoolEx", "Wahr"});
    EXPECT_EQ(run.out, "True\n");
    run = kolvanex({"call", "CBoolEx", "bool:true"});
    EXPECT_EQ(run.out, "True\n");
    run = kolvanex({"call", "CBoolEx", "long:1"});
    EXPECT_EQ(run.out, "False\n");

    run = kolvanex({"call", "ShowOpenDlg", "3", "Text|*.txt", "Titel", "C:\\"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // No terminal: the dialog is cancelled; the filter comes back with NULs.
    EXPECT_EQ(run.out,
              "\nlHwndOwner=3\nstrFilter=Text\0*.txt\0\nstrTitel=Titel\nstrInitDir=C:\\\n"s);

    run = kolvanex({"call", "ChangeTabControl", "tabstrip:4:1", "9", "3"});
    EXPECT_EQ(run.out, "tsTabControl={\"selectedIndex\":4,\"tabs\":4,\"type\":\"TabStrip\"}\n");
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
    run = kolvanex({"call", "KXAppPath"});
    EXPECT_EQ(run.out, "C:\\Programme\\Kolvanex\n");
}

TEST_F(CliTest, BadInputGivesOneLineAndStatusTwo) {
    expectUsageError(kolvanex({"call", "NoSuchOperation"}), "unbekannte Operation");
    expectUsageError(kolvanex({"call", "AddBackslash"}), "nimmt 1 Argumente, 0 angegeben");
    expectUsageError(kolvanex({"call", "hibyte", "70000"}),
                     "(wParam) von hibyte muss Integer sein");
    expectUsageError(kolvanex({"call", "KXCryptFiles", "Sideways"}), "enumCryptIt");
    expectUsageError(kolvanex({"call", "MozAddFiles", "[1,2]"}), "Collection");
    expectUsageError(kolvanex({"call"}), "Operation");
    expectUsageError(kolvanex({"reg", "query", "HKEY_NOWHERE\\x"}), "Schlüsselpfad beginnt mit");
    expectUsageError(kolvanex({"reg", "add", "HKCU\\x", "-t", "REG_DWORD", "-d", "zwölf"}),
                     "REG_DWORD");
    expectUsageError(kolvanex({"reg", "delete", "HKCU"}), "ganze Wurzel");
    expectUsageError(kolvanex({"nonsense"}), "");
    // Bytes that are not UTF-8 in a key or file name: refused before any command runs.
    const std::string keysBefore = kolvanex({"reg", "query", "HKCU"}).out;
    expectUsageError(kolvanex({"reg", "add", "HKCU\\Neu\xFF", "-d", "x"}), "kein gültiger UTF-8");
    expectUsageError(kolvanex({"reg", "add", "HKCU\\Neu", "-v", "\xED\xA0\x80"}),
                     "kein gültiger UTF-8");
    expectUsageError(kolvanex({"shred", "C:\\Daten\\a\xC3"}), "kein gültiger UTF-8");
    EXPECT_EQ(kolvanex({"reg", "query", "HKCU"}).out, keysBefore);
    auto run =
        kolvanex({"--prefix", (machine.root() / "nowhere").string(), "machine", "info"}, false);
    expectUsageError(run, "keine Maschine in");
    EXPECT_FALSE(fs::exists(machine.root() / "nowhere"));

    run = kolvanex({"call", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("enumCryptIt"), std::string::npos);
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
        const auto run = kolvanex(words, false);
        expectUsageError(run, "ist ein Wine-Präfix");
        EXPECT_NE(run.err.find("arbeitet aber noch nicht darauf"), std::string::npos) << run.err;
    }
    EXPECT_EQ(tree(), before);
}

TEST_F(CliTest, MachineSettingsAndRegistryRoundTrips) {
    auto run = kolvanex({"machine", "info"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("System: Windows XP"), std::string::npos);
    EXPECT_NE(run.out.find("Laufwerk C:\\ fest"), std::string::npos);

    ASSERT_EQ(kolvanex({"settings", "set", "Options", "DeleteN", "7"}).exitCode, 0);
    EXPECT_EQ(kolvanex({"settings", "get", "options", "deleten"}).out, "7\n");
    EXPECT_EQ(kolvanex({"settings", "get", "Options", "DeleteValue"}).out, "246\n");
    run = kolvanex({"settings", "list", "--section", "Options"});
    EXPECT_NE(run.out.find("Options\\DeleteN=7 "), std::string::npos);
    EXPECT_NE(run.out.find("Options\\Trashcan=1 (Vorgabe) "), std::string::npos);
    EXPECT_EQ(kolvanex({"--title", "Tarnkappe", "settings", "get", "Options", "DeleteN"}).out,
              "3\n");

    ASSERT_EQ(kolvanex({"reg", "add", "HKCU\\Software\\Probe", "-v", "Liste", "-t", "REG_MULTI_SZ",
                        "-d", "eins\\0zwei"})
                  .exitCode,
              0);
    ASSERT_EQ(kolvanex({"reg", "add", "HKCU\\Software\\Probe\\Unter", "-v", "Zahl", "-t",
                        "REG_DWORD", "-d", "0x10"})
                  .exitCode,
              0);
    const auto file = (machine.root() / "probe.reg").string();
    ASSERT_EQ(kolvanex({"reg", "export", "HKCU\\Software\\Probe", file}).exitCode, 0);
    ASSERT_EQ(kolvanex({"reg", "delete", "HKCU\\Software\\Probe"}).exitCode, 0);
    EXPECT_EQ(kolvanex({"reg", "query", "HKCU\\Software\\Probe"}).exitCode, 1);
    ASSERT_EQ(kolvanex({"reg", "import", file}).exitCode, 0);
    run = kolvanex({"reg", "query", "HKCU\\Software\\Probe"});
    EXPECT_NE(run.out.find("Liste    REG_MULTI_SZ    eins\\0zwei"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("HKCU\\Software\\Probe\\Unter"), std::string::npos) << run.out;
    run = kolvanex({"reg", "query", "HKCU\\Software\\Probe\\Unter", "-v", "zahl"});
    EXPECT_NE(run.out.find("0x00000010 (16)"), std::string::npos) << run.out;

    // A broken file is refused whole: nothing of it lands.
    const auto bad = machine.root() / "bad.reg";
    std::ofstream(bad) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Half]\n\"a\"=\"1\"\n"
                          "\"b\"=dword:xyz\n";
    run = kolvanex({"reg", "import", bad.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Zeile 5"), std::string::npos) << run.err;
    EXPECT_EQ(kolvanex({"reg", "query", "HKCU\\Software\\Half"}).exitCode, 1);
}

}  // namespace

TEST_F(CliTest, ScriptsAnswerTheSettingsDialogWithYesOrNo) {
    const std::string options =
        "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Kolvanex\\Options";
    auto run = kolvanex({"--no", "call", "ShowOptionen"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("[KOLVANEX 3 - Einstellungen]\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[x] Cookies löschen"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("-> Schließen\n"), std::string::npos) << run.err;
    EXPECT_NE(kolvanex({"reg", "query", options, "-v", "Cookies"}).exitCode, 0);

    run = kolvanex({"--yes", "call", "ShowOptionen"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("-> OK\n"), std::string::npos) << run.err;
    run = kolvanex({"reg", "query", options, "-v", "Cookies"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("1"), std::string::npos) << run.out;

    expectUsageError(kolvanex({"--yes", "--no", "call", "ShowOptionen"}), "schließen einander aus");
}
