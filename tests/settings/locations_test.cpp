// Where browsers and the system keep their files, as the cleaners ask for
// them: from the registry, from Opera's settings file and from the shell,
// with the fallbacks a machine without those browsers gives.
#include "settings/locations.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/files/ini.hpp"
#include "platform/machine/machine.hpp"
#include "platform/registry/registry_key.hpp"
#include "settings/keys.hpp"
#include "settings/registry_access.hpp"
#include "support/temp_machine.hpp"
#include "support/unprivileged.hpp"

namespace kx::settings {
namespace {

namespace fs = std::filesystem;
using namespace kx::platform;
using kx::test::TempMachine;

const std::string kProfile = "C:\\Dokumente und Einstellungen\\anna";
const std::string kAppData = kProfile + "\\Anwendungsdaten";
const std::string kDocuments = kProfile + "\\Eigene Dateien";
const std::string kOperaUser = kAppData + "\\opera\\opera7";
const std::string kOperaUserCache = kOperaUser + "\\profile\\cache4";

void setUser(std::string_view key, std::string_view name, std::string_view value) {
    ASSERT_EQ(writeRegistryString(HKEY_CURRENT_USER, key, name, value, CreateKey::OnAnyFailure), 0);
}

void chooseFirefox(bool chosen) {
    ASSERT_TRUE(write(keys::BrowserIsMozillaFireFox, chosen ? "True" : "False"));
}

std::vector<std::string> texts(const CollectionRef& c) {
    std::vector<std::string> out;
    for (const auto& v : c->items) out.push_back(v.get<std::string>());
    return out;
}

class Locations : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override { resetShared(); }

    void file(const std::string& windowsPath, std::string_view content = "x") {
        tm.writeHostFile(tm.host(windowsPath), content);
    }
    void folder(const std::string& windowsPath) { fs::create_directories(tm.host(windowsPath)); }

    TempMachine tm;
    CKOLVANEX kolvanex;
};

// ---- Opera -------------------------------------------------------------------

TEST_F(Locations, OperaProgramFolderFallsBackStepByStepAndTheSettingsFileIsTheFirstThere) {
    EXPECT_EQ(kolvanex.GetOperaExeDirectory(), "C:\\Programme\\Opera");
    setUser("Software\\Opera Software", "Last Directory2", "D:\\Opera 7");
    setUser("Software\\Opera Software", "Last Directory", "   ");  // blanks only count as empty
    EXPECT_EQ(kolvanex.GetOperaExeDirectory(), "D:\\Opera 7");
    setUser("Software\\Opera Software", "Last Directory", "E:\\Opera");
    EXPECT_EQ(kolvanex.GetOperaExeDirectory(), "E:\\Opera");
    EXPECT_EQ(kolvanex.GetOperaDirectory(), kOperaUser);

    // The settings file is the first of three that exists.
    EXPECT_EQ(kolvanex.GetOperaIni(), "");
    EXPECT_EQ(kolvanex.GetOperaTempDirectory(), "");  // no settings file, no cache folder

    folder(kOperaUser + "\\opera.ini");  // a folder of that name is no settings file
    EXPECT_EQ(kolvanex.GetOperaIni(), "");
    file(kOperaUser + "\\OperaDef6.ini");
    EXPECT_EQ(kolvanex.GetOperaIni(), kOperaUser + "\\OperaDef6.ini");
    file(kOperaUser + "\\profile\\opera6.ini");
    EXPECT_EQ(kolvanex.GetOperaIni(), kOperaUser + "\\profile\\opera6.ini");
}

TEST_F(Locations, OperaCacheFolderComesFromItsSettingsLine) {
    const std::string spaced =
        "[User Prefs]\r\nCache Directory=C:\\falsch\r\n"
        "CACHE Directory4=  C:\\Opera Cache\\Neu  \r\nCache Directory4=C:\\zweite\r\n";
    const std::string cache4 = "C:\\Programme\\Opera\\Cache4";
    struct Case {
        const char* what;
        std::string ini;
        std::vector<std::string> folders;  // made for the case, removed after it
        std::string expected;
    };
    const Case cases[] = {
        // The folder exists: the answer is that folder, as the compared line spells it.
        {"first line, trimmed", spaced, {"C:\\Opera Cache\\Neu"}, "c:\\opera cache\\neu"},
        // Missing: Opera's own cache folder if that exists, else the per-user one.
        {"folder missing", spaced, {}, kOperaUserCache},
        {"folder missing, Cache4 there", spaced, {cache4}, cache4},
        {"no value", "[User Prefs]\ncache directory4\n", {}, kOperaUserCache},
        {"no value, Cache4 there", "[User Prefs]\ncache directory4\n", {cache4}, cache4},
        // Everything after the first "=" is the folder; a lone "\r" ends a line.
        {"equals sign in the folder", "Cache Directory4=C:\\a=b\rOther=1", {"C:\\a=b"}, "c:\\a=b"},
        // No such line: the per-user cache, whatever exists elsewhere.
        {"no such line",
         "[User Prefs]\nCache Directory=C:\\a=b\n",
         {"C:\\a=b", cache4},
         kOperaUserCache},
        // "ü" as Opera 7 wrote it: one byte of Windows-1252.
        {"system code page",
         "Cache Directory4=C:\\J\xFCrgen\\Cache\r\n",
         {"C:\\Jürgen\\Cache"},
         "c:\\jürgen\\cache"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        file(kOperaUser + "\\opera.ini", c.ini);
        for (const auto& f : c.folders) folder(f);
        EXPECT_EQ(kolvanex.GetOperaTempDirectory(), c.expected);
        for (const auto& f : c.folders) fs::remove_all(tm.host(f));
    }
}

TEST_F(Locations, AnUnreadableOperaSettingsFileAnswersWhatWasFound) {
    const std::string ini = kOperaUser + "\\opera.ini";
    file(ini, "Cache Directory4=C:\\Programme\n");
    kx::test::openUpForOthers(tm.root());
    fs::permissions(tm.host(ini), fs::perms::none);
    const auto run = kx::test::runUnprivileged(tm.root(), [] { return GetOperaTempDirectory(); });
    if (!run.ran)
        GTEST_SKIP() << "cannot run where permissions apply: " << run.skipReason;
    EXPECT_EQ(run.output, "");
}

// ---- Netscape and Mozilla ------------------------------------------------------

TEST_F(Locations, NetscapeIsFoundByItsCurrentVersion) {
    EXPECT_EQ(kolvanex.NetscapeGetInstallDirectory(), "");
    EXPECT_EQ(kolvanex.NetscapeGetExeDirectory(), "");

    // Netscape 6 keeps its version under its own key; the install folder is
    // only looked up under "Netscape".
    setUser("Software\\Netscape\\Netscape 6", "CurrentVersion", "6.2 (de)");
    setUser("Software\\Netscape\\Netscape 6\\6.2 (de)\\Main", "PathToExe", "C:\\NS6\\netscp6.exe");
    setUser("Software\\Netscape\\Netscape 6\\6.2 (de)\\Main", "Install Directory", "C:\\NS6");
    EXPECT_EQ(kolvanex.NetscapeGetExeDirectory(), "C:\\NS6\\netscp6.exe");
    EXPECT_EQ(kolvanex.NetscapeGetInstallDirectory(), "");

    setUser("Software\\Netscape\\Netscape", "CurrentVersion", "7.1 (de)");
    setUser("Software\\Netscape\\Netscape\\7.1 (de)\\Main", "Install Directory", "C:\\NS7");
    EXPECT_EQ(kolvanex.NetscapeGetInstallDirectory(), "C:\\NS7");
    // No program under "Netscape" for 7.1: the same version under "Netscape 6".
    EXPECT_EQ(kolvanex.NetscapeGetExeDirectory(), "");
    setUser("Software\\Netscape\\Netscape 6\\7.1 (de)\\Main", "PathToExe", "C:\\NS7\\alt.exe");
    EXPECT_EQ(kolvanex.NetscapeGetExeDirectory(), "C:\\NS7\\alt.exe");
    setUser("Software\\Netscape\\Netscape\\7.1 (de)\\Main", "PathToExe", "C:\\NS7\\netscp.exe");
    EXPECT_EQ(kolvanex.NetscapeGetExeDirectory(), "C:\\NS7\\netscp.exe");
}

TEST_F(Locations, MozillaAndFirefoxAreFoundByTheirCurrentVersions) {
    // Firefox alone, chosen: its default program, then under either key.
    chooseFirefox(true);
    EXPECT_EQ(kolvanex.MozGetExeDirectory(), "C:\\Programme\\Mozilla Firefox\\firefox.exe");
    setUser("Software\\mozilla\\Mozilla Firefox", "CurrentVersion", "0.9");
    EXPECT_EQ(kolvanex.MozGetExeDirectory(), "");  // a version, but no program
    setUser("Software\\mozilla\\Mozilla Firefox\\0.9\\Main", "PathToExe", "C:\\FF09\\firefox.exe");
    EXPECT_EQ(kolvanex.MozGetExeDirectory(), "C:\\FF09\\firefox.exe");
    const std::string firefox = "Software\\mozilla.org\\Mozilla Firefox\\1.0 (de)\\Main";
    setUser("Software\\mozilla.org\\Mozilla Firefox", "CurrentVersion", "1.0 (de)");
    setUser(firefox, "PathToExe", "D:\\Apps\\Firefox\\firefox.exe");
    setUser(firefox, "Install Directory", "D:\\Apps\\Firefox");
    EXPECT_EQ(kolvanex.MozGetExeDirectory(), "D:\\Apps\\Firefox\\firefox.exe");
    // Firefox's install folder is looked up only when Mozilla has a version.
    EXPECT_EQ(kolvanex.MozGetInstallDirectory(), "");
    chooseFirefox(false);
    EXPECT_EQ(kolvanex.MozGetExeDirectory(), "");
    auto files = std::make_shared<Collection>();
    files->items.emplace_back("schon da");
    ASSERT_TRUE(kolvanex.MozAddFiles(files));
    EXPECT_EQ(texts(files), (std::vector<std::string>{"schon da", "\\cookies.txt", "\\cookperm.txt",
                                                      "\\history.dat"}));
    // No collection to add to is the runtime's error, not a crash.
    const auto none = kolvanex.MozAddFiles(nullptr);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().number, 91);

    // Mozilla as well: Mozilla's folders unless Firefox is chosen.
    const std::string mozilla = "C:\\Programme\\mozilla.org\\Mozilla";
    setUser("Software\\mozilla.org\\Mozilla", "CurrentVersion", "1.7.5 (de-AT)");
    setUser("Software\\mozilla.org\\Mozilla\\1.7.5 (de-AT)\\Main", "Install Directory", mozilla);
    setUser("Software\\mozilla.org\\Mozilla\\1.7.5 (de-AT)\\Main", "PathToExe",
            mozilla + "\\mozilla.exe");
    EXPECT_EQ(kolvanex.MozGetInstallDirectory(), mozilla);
    EXPECT_EQ(kolvanex.MozGetExeDirectory(), mozilla + "\\mozilla.exe");
    files->items.clear();
    ASSERT_TRUE(kolvanex.MozAddFiles(files));
    EXPECT_EQ(texts(files)[0], mozilla + "\\cookies.txt");
    chooseFirefox(true);
    EXPECT_EQ(kolvanex.MozGetInstallDirectory(), "D:\\Apps\\Firefox");
}

TEST_F(Locations, ProfileFilesBelowEachBrowsersFolder) {
    const std::string mozilla = kAppData + "\\Mozilla\\Profiles\\default\\k2x9.slt\\prefs.js";
    const std::string phoenix = kAppData + "\\Phoenix\\Profiles\\default\\a1b2.default\\Prefs.JS";
    const std::string firefox = kAppData + "\\Mozilla\\Firefox\\Profiles\\z9y8.default\\prefs.js";
    for (const auto& p : {mozilla, phoenix, firefox}) file(p);
    file(kAppData + "\\Mozilla\\Profiles\\default\\k2x9.slt\\user.js");
    file(kAppData + "\\Mozilla\\Firefox\\Profiles\\z9y8.default\\cookies.txt");

    auto old = std::make_shared<Collection>();
    old->items.emplace_back("alt");
    CollectionRef dirs = old;
    ASSERT_TRUE(kolvanex.NetscapeAndMozillaGetProfileFilesMulti(dirs));
    EXPECT_TRUE(old->items.empty());  // whoever kept the old list sees it emptied
    ASSERT_NE(dirs, old);
    EXPECT_EQ(texts(dirs), std::vector<std::string>{mozilla});

    chooseFirefox(true);
    ASSERT_TRUE(kolvanex.NetscapeAndMozillaGetProfileFilesMulti(dirs));
    EXPECT_EQ(texts(dirs), (std::vector<std::string>{mozilla, phoenix, firefox}));

    CollectionRef none;
    ASSERT_TRUE(kolvanex.NetscapeAndMozillaGetProfileFilesMulti(none));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->items.size(), 3u);

    // Without an application data folder, profiles at the drive's root must
    // not be taken for the user's.
    file("C:\\Mozilla\\Profiles\\fremd\\prefs.js");
    for (const char* key : {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell "
                            "Folders"}) {
        ASSERT_EQ(deleteRegistryValue(HKEY_CURRENT_USER, key, "AppData"), 0);
    }
    EXPECT_EQ(GetSpecialfolder(kCsidlAppData), ":");
    EXPECT_EQ(VBGetSpecialFolder(kCsidlAppData), "");
    ASSERT_TRUE(kolvanex.NetscapeAndMozillaGetProfileFilesMulti(none));
    EXPECT_TRUE(none->items.empty());
}

// ---- AOL and the shell's folders -----------------------------------------------

TEST_F(Locations, SystemFoldersAndTheirFallbacks) {
    Long documents = kCsidlPersonal;
    Long controls = 3;  // the control panel: a folder without a path
    Long appData = kCsidlAppData;
    Long unknown = 0x7FFF;
    EXPECT_EQ(kolvanex.VBGetSpecialFolder(documents), kDocuments);
    EXPECT_EQ(kolvanex.GetSpecialfolder(appData), kAppData);
    EXPECT_EQ(kolvanex.VBGetSpecialFolder(controls), "");
    EXPECT_EQ(kolvanex.GetSpecialfolder(controls), ":");
    EXPECT_EQ(kolvanex.GetSpecialfolder(unknown), ":");
    // What ":" is for: no path built on it reaches a file.
    for (const char* path : {":", ":\\", ":\\x", ":\\Mozilla\\Profiles", ":\\..\\C:\\WINDOWS"}) {
        EXPECT_FALSE(tm->resolve(path)) << path;
    }
    EXPECT_EQ(kolvanex.GetRecentDirectory(), kAppData + "\\Microsoft\\Office\\Zuletzt verwendet\\");
    EXPECT_EQ(kolvanex.GetWinDir(), "C:\\WINDOWS");
    EXPECT_EQ(kolvanex.GetSysDir(), "C:\\WINDOWS\\system32");

    // The temporary folder, with its backslash only when asked for.
    const std::string temp = kProfile + "\\Lokale Einstellungen\\Temp";
    EXPECT_EQ(kolvanex.GetTempDir(std::nullopt), temp);
    EXPECT_EQ(kolvanex.GetTempDir(true), temp + "\\");
    setUser("Environment", "TEMP", "D:\\T\\");
    EXPECT_EQ(kolvanex.GetTempDir(false), "D:\\T");
    EXPECT_EQ(kolvanex.GetTempDir(true), "D:\\T\\");

    EXPECT_EQ(kolvanex.GetAOLPath(), "");
    ASSERT_EQ(writeRegistryString(
                  HKEY_LOCAL_MACHINE, "SOFTWARE\\America Online\\America Online\\CurrentVersion",
                  "AppPath", " C:\\Programme\\America Online 9.0 ", CreateKey::OnAnyFailure),
              0);
    EXPECT_EQ(kolvanex.GetAOLPath(), "C:\\Programme\\America Online 9.0");
}

TEST(LocationsWithoutMachine, OperationsAnswerAStatusAndNeverThrow) {
    ASSERT_FALSE(hasCurrentMachine());
    CKOLVANEX kolvanex;
    Long appData = kCsidlAppData;
    EXPECT_EQ(kolvanex.GetSpecialfolder(appData), ":");
    EXPECT_FALSE(kolvanex.GetWinDir());
    EXPECT_EQ(kolvanex.IsAdmin(), false);
    CollectionRef dirs;
    ASSERT_TRUE(kolvanex.NetscapeAndMozillaGetProfileFilesMulti(dirs));
    EXPECT_TRUE(dirs->items.empty());
}

// ---- Administrator and private folder -----------------------------------------

// Groups before the administrators at `position`, and one more; a garbled
// one at `garbledAt`.
MachineConfig groupsWithAdminAt(std::size_t position, std::size_t garbledAt = 0) {
    MachineConfig c = MachineConfig::defaults();
    c.tokenGroups.clear();
    for (std::size_t i = 1; i < position; ++i) {
        c.tokenGroups.push_back(i == garbledAt ? std::string("kaputt")
                                               : "S-1-5-21-7-8-9-" + std::to_string(1000 + i));
    }
    c.tokenGroups.push_back("S-1-5-32-544");
    c.tokenGroups.push_back("S-1-5-11");
    return c;
}

TEST(LocationsAdministrator, OnlyTheFirst21GroupsOfTheTokenDecideThePrivateFolder) {
    MachineConfig user = MachineConfig::defaults();
    user.administrator = false;
    user.tokenGroups = MachineConfig::defaultTokenGroups(false);
    // The flag in machine.ini is not what counts; the token is.
    MachineConfig lookalikes = MachineConfig::defaults();
    lookalikes.tokenGroups = {"S-1-1-0", "S-1-5-32-5440", "S-1-5-32", "S-1-5-33-544"};
    struct Case {
        const char* what;
        MachineConfig config;
        bool admin;
    };
    const Case cases[] = {
        {"an administrator", MachineConfig::defaults(), true},
        {"a user", user, false},
        {"21st group", groupsWithAdminAt(21), true},
        {"22nd group", groupsWithAdminAt(22), false},
        // A garbled group still takes its place: the administrators stay 22nd.
        {"22nd behind a garbled one", groupsWithAdminAt(22, 5), false},
        {"look-alike groups", lookalikes, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempMachine tm(c.config);
        resetShared();
        CKOLVANEX kolvanex;
        ASSERT_TRUE(kolvanex.KXAppPath("C:\\Programme\\Kolvanex"));
        EXPECT_EQ(kolvanex.IsAdmin(), c.admin);
        // A user may not write below the program folder: private files go to the documents.
        EXPECT_EQ(kolvanex.GetPrivatePath(), c.admin ? "C:\\Programme\\Kolvanex" : kDocuments);
    }
    resetShared();
}

// ---- Drives --------------------------------------------------------------------

TEST(LocationsDrives, LettersAndKindsOfTheDrives) {
    MachineConfig c = MachineConfig::defaults();
    c.drives = {
        Drive{'A', DriveType::Removable, "3,5-Diskette"},
        Drive{'B', DriveType::Removable, "5,25-Diskette"},
        Drive{'C', DriveType::Fixed, "Lokaler Datenträger"},
        Drive{'D', DriveType::Fixed, "Lokaler Datenträger"},
        Drive{'E', DriveType::CdRom, "CD-Laufwerk"},
        Drive{'F', DriveType::Removable, "Wechseldatenträger"},
        Drive{'G', DriveType::Removable, "3"},
        Drive{'N', DriveType::Remote, "Netzlaufwerk"},
        Drive{'R', DriveType::RamDisk, ""},
    };
    TempMachine tm(c);
    using List = std::vector<std::string>;
    // Letters of a kind behind an empty first element.
    EXPECT_EQ(GetDriveLetters(3), (List{"", "C", "D"}));
    EXPECT_EQ(GetDriveLetters(5), (List{"", "E"}));
    EXPECT_EQ(GetDriveLetters(0), (List{"", "A", "B", "C", "D", "E", "F", "G", "N", "R"}));
    EXPECT_EQ(GetDriveLetters(1), List{""});

    // Removable drives are told apart by the shell's name.
    const std::pair<const char*, std::int32_t> kinds[] = {
        {"A:\\", kDriveFloppy35}, {"a:\\irgendwo\\datei.txt", kDriveFloppy35},
        {"B:", kDriveFloppy525},  {"F:\\", kDriveRemovable},
        {"G:\\", kDriveFloppy35}, {"C:\\WINDOWS", kDriveFixed},
        {"E:\\", kDriveCdRom},    {"N:\\", kDriveRemote},
        {"R:\\", kDriveRamDisk},  {"Q:\\", kDriveUnknown},
        {"", kDriveUnknown},      {"C", kDriveUnknown},
        {":\\x", kDriveUnknown},  {"\\\\server\\share", kDriveUnknown},
    };
    for (const auto& [path, kind] : kinds) EXPECT_EQ(GetDriveKind(path), kind) << path;
    EXPECT_EQ(GetShellTypeName("A:\\"), "3,5-Diskette");
    EXPECT_EQ(GetShellTypeName("C:\\WINDOWS"), "Dateiordner");
    EXPECT_EQ(GetShellTypeName("C:\\fehlt.txt"), "");
}

// ---- Operating system ----------------------------------------------------------

TEST(LocationsOperatingSystem, NamesFromTheVersionRecordWhateverItHolds) {
    TempMachine tm;
    CKOLVANEX kolvanex;
    // major, minor, build, platform as machine.ini holds them; the name.
    const std::array<const char*, 5> cases[] = {
        {"5", "1", "2600", "2", "Windows XP"},
        {"5", "0", "2195", "2", "Windows 2000"},
        {"4", "0", "1381", "2", "Windows NT"},
        {"3", "51", "1057", "2", ""},
        {"4", "10", "2222", "1", "Windows 98 SE"},
        {"4", "10", "1998", "1", "Windows 98"},
        {"4", "10", "67766222", "1", "Windows 98"},  // 0x040A07CE: only the low 16 bits count
        {"4", "90", "3000", "1", "Windows ME"},
        {"4", "0", "950", "1", "Windows 95"},
        {"4", "3", "950", "1", ""},
        {"5", "1", "2600", "0", ""},  // Win32s
        // Garbage never breaks the answer; text where numbers belong falls
        // back to the machine's defaults (XP).
        {"5", "1", "2600", "99", ""},
        {"4294967295", "4294967295", "2222", "1", "Windows 98 SE"},
        {"0", "0", "0", "2", ""},
        {"fünf", "-", "x", "\x01", "Windows XP"},
    };
    for (const auto& [major, minor, build, platform, name] : cases) {
        auto ini = IniFile::load(tm.prefix() / "machine.ini");
        ASSERT_TRUE(ini);
        ini->set("version", "major", major);
        ini->set("version", "minor", minor);
        ini->set("version", "build", build);
        ini->set("version", "platform", platform);
        ASSERT_TRUE(ini->save(tm.prefix() / "machine.ini"));
        tm.reopen();
        EXPECT_EQ(kolvanex.Betriebssystem(), name)
            << major << "." << minor << "." << build << "/" << platform;
    }
}

}  // namespace
}  // namespace kx::settings
