// The machine prefix: its skeleton, its registry seed, machine.ini, and the
// mapping of Windows paths onto it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/files/files.hpp"
#include "platform/files/ini.hpp"
#include "platform/machine/machine.hpp"
#include "platform/machine/shell_folders.hpp"
#include "support/registry_values.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

constexpr std::string_view kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A string value without its trailing NULs; nullopt when it cannot be read.
std::optional<std::string> regString(Registry& reg, HKEY root, std::string_view key,
                                     std::string_view name, DWORD* typeOut = nullptr) {
    auto data = test::valueBytes(reg, root, key, name, typeOut);
    while (data && !data->empty() && data->back() == '\0') data->pop_back();
    return data;
}

LONG regSetString(Registry& reg, HKEY root, std::string_view key, std::string_view name,
                  std::string_view value) {
    return test::putValue(reg, root, key, name, std::string(value) + '\0');
}

TEST(MachineCreate, LaysOutTheGermanSkeletonWithDriveLinks) {
    TempMachine tm;
    const fs::path c = tm.prefix() / "drive_c";
    const std::string anna = "Dokumente und Einstellungen/anna/";
    for (const char* rel :
         {"Anwendungsdaten", "Cookies", "Desktop", "Eigene Dateien", "Favoriten", "Recent",
          "SendTo", "Startmenü/Programme/Autostart", "Vorlagen", "Druckumgebung",
          "Netzwerkumgebung", "Lokale Einstellungen/Anwendungsdaten", "Lokale Einstellungen/Temp",
          "Lokale Einstellungen/Temporary Internet Files", "Lokale Einstellungen/Verlauf"}) {
        EXPECT_TRUE(fs::is_directory(c / (anna + rel))) << rel;
    }
    for (const char* rel : {"Dokumente und Einstellungen/All Users/Anwendungsdaten",
                            "Dokumente und Einstellungen/All Users/Desktop",
                            "Dokumente und Einstellungen/All Users/Startmenü",
                            "Dokumente und Einstellungen/All Users/Dokumente", "Programme",
                            "WINDOWS/system32", "WINDOWS/Temp", "RECYCLER"}) {
        EXPECT_TRUE(fs::is_directory(c / rel)) << rel;
    }
    EXPECT_EQ(fs::read_symlink(tm.prefix() / "dosdevices" / "c:"), fs::path("../drive_c"));
    EXPECT_EQ(fs::read_symlink(tm.prefix() / "dosdevices" / "d:"), fs::path("../drive_d"));
    EXPECT_TRUE(fs::is_directory(tm.prefix() / "drive_d"));
    // Z: shows the host's root, and has no folder of its own in the prefix.
    EXPECT_EQ(fs::read_symlink(tm.prefix() / "dosdevices" / "z:"), fs::path("/"));
    EXPECT_FALSE(fs::exists(tm.prefix() / "drive_z"));
    EXPECT_EQ(tm.host("z:\\TMP"), tm.prefix() / "dosdevices" / "z:" / "tmp");
    // The floppy has no disk: no folder, no link.
    EXPECT_FALSE(fs::exists(fs::symlink_status(tm.prefix() / "dosdevices" / "a:")));
    EXPECT_TRUE(fs::is_regular_file(tm.prefix() / "registry.db"));
}

TEST(MachineCreate, SeedsShellFoldersThatNameExistingFolders) {
    TempMachine tm;
    auto& reg = tm->registry();
    for (const char* name :
         {"AppData", "Cache", "Cookies", "Desktop", "Favorites", "History", "Local AppData",
          "Local Settings", "NetHood", "Personal", "PrintHood", "Programs", "Recent", "SendTo",
          "Start Menu", "Startup", "Templates"}) {
        DWORD type = 0;
        const auto value = regString(reg, HKEY_CURRENT_USER, kShellFolders, name, &type);
        ASSERT_TRUE(value) << name;
        EXPECT_EQ(type, REG_SZ) << name;
        EXPECT_TRUE(value->starts_with("C:\\Dokumente und Einstellungen\\anna\\")) << *value;
        EXPECT_TRUE(fs::is_directory(tm.host(*value))) << *value;

        const auto user =
            regString(reg, HKEY_CURRENT_USER,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                      name, &type);
        ASSERT_TRUE(user) << name;
        EXPECT_EQ(type, REG_EXPAND_SZ);
        EXPECT_EQ(expandEnvironmentStrings(tm.machine(), *user), *value);
    }
    for (const char* name :
         {"Common AppData", "Common Desktop", "Common Documents", "Common Start Menu"}) {
        const auto value = regString(
            reg, HKEY_LOCAL_MACHINE,
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name);
        ASSERT_TRUE(value) << name;
        EXPECT_TRUE(fs::is_directory(tm.host(*value))) << *value;
    }
    const std::string nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    EXPECT_EQ(regString(reg, HKEY_LOCAL_MACHINE, nt, "ProductName"), "Microsoft Windows XP");
    EXPECT_EQ(regString(reg, HKEY_LOCAL_MACHINE, nt, "CurrentVersion"), "5.1");
    EXPECT_EQ(regString(reg, HKEY_LOCAL_MACHINE, nt, "CurrentBuildNumber"), "2600");
}

TEST(MachineCreate, RestrictedUserGetsSeededMachineButCannotWriteHklm) {
    MachineConfig config = MachineConfig::defaults();
    config.administrator = false;
    config.tokenGroups.clear();  // take the defaults for this kind of user
    config.userName = "bert";
    TempMachine tm(config);
    auto& reg = tm->registry();
    EXPECT_EQ(regString(reg, HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                        "ProductName"),
              "Microsoft Windows XP");
    EXPECT_EQ(regSetString(reg, HKEY_LOCAL_MACHINE, "SOFTWARE\\Kolvanex", "x", "y"),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(regSetString(reg, HKEY_CURRENT_USER, "Software\\Kolvanex", "x", "y"), ERROR_SUCCESS);
    const auto& groups = tm->config().tokenGroups;
    EXPECT_EQ(std::count(groups.begin(), groups.end(), "S-1-5-32-544"), 0);
    EXPECT_EQ(std::count(groups.begin(), groups.end(), "S-1-5-32-545"), 1);
    EXPECT_TRUE(fs::is_directory(tm.host("C:\\Dokumente und Einstellungen\\bert\\Cookies")));

    tm.reopen();  // the restriction is in machine.ini, not only in the object
    EXPECT_FALSE(tm->config().administrator);
    EXPECT_EQ(regSetString(tm->registry(), HKEY_LOCAL_MACHINE, "SOFTWARE\\Kolvanex", "x", "y"),
              ERROR_ACCESS_DENIED);
}

TEST(MachineCreate, CompletingAPrefixKeepsWhatTheUserChanged) {
    TempMachine tm;
    ASSERT_EQ(
        regSetString(tm->registry(), HKEY_CURRENT_USER, kShellFolders, "Personal", "D:\\Texte"), 0);
    fs::remove_all(tm.prefix() / "drive_c" / "RECYCLER");
    // A comment and an extra endpoint in machine.ini must survive the completion.
    auto ini = IniFile::load(tm.prefix() / "machine.ini");
    ASSERT_TRUE(ini);
    IniFile edited = IniFile::parse("; written by hand\n" + ini->text());
    edited.set("endpoints", "remailer", "http://127.0.0.1:9090");
    // Written before drives could show host folders: the completion adds Z:.
    edited.removeKey("drives", "Z");
    edited.removeSection("drive folders");
    ASSERT_TRUE(edited.save(tm.prefix() / "machine.ini"));
    fs::remove(tm.prefix() / "dosdevices" / "z:");

    MachineConfig other = MachineConfig::defaults();
    other.userName = "someoneelse";
    auto again = Machine::create(tm.prefix(), other);
    ASSERT_TRUE(again) << again.error().message;
    EXPECT_EQ((*again)->config().userName, "anna");  // the record on disk wins
    EXPECT_EQ(regString((*again)->registry(), HKEY_CURRENT_USER, kShellFolders, "Personal"),
              "D:\\Texte");
    EXPECT_TRUE(fs::is_directory(tm.prefix() / "drive_c" / "RECYCLER"));
    EXPECT_FALSE(
        fs::exists(tm.prefix() / "drive_c" / "Dokumente und Einstellungen" / "someoneelse"));
    EXPECT_EQ((*again)->endpoint("REMAILER"), "http://127.0.0.1:9090");
    ASSERT_NE((*again)->drive('Z'), nullptr);
    EXPECT_EQ((*again)->drive('Z')->type, DriveType::Remote);
    EXPECT_EQ(fs::read_symlink(tm.prefix() / "dosdevices" / "z:"), fs::path("/"));
    EXPECT_TRUE(
        TempMachine::readHostFile(tm.prefix() / "machine.ini").starts_with("; written by hand\n"));
}

TEST(MachineCreate, ConfigRoundTripsThroughMachineIni) {
    MachineConfig config = MachineConfig::defaults();
    config.userName = "Jürgen";
    config.computerName = "BUERO-3";
    config.version = {5, 0, 2195, 2, "Service Pack 4"};
    config.drives.push_back({'E', DriveType::Remote, "Netzlaufwerk"});
    config.endpoints["scanner"] = "http://127.0.0.1:8181";
    TempMachine tm(config);
    tm.reopen();
    const auto& c = tm->config();
    EXPECT_EQ(c.userName, "Jürgen");
    EXPECT_EQ(c.computerName, "BUERO-3");
    EXPECT_EQ(c.version.build, 2195u);
    EXPECT_EQ(c.version.minor, 0u);
    EXPECT_EQ(c.version.servicePack, "Service Pack 4");
    ASSERT_EQ(c.drives.size(), 5u);
    EXPECT_EQ(c.drives[0].shellTypeName, "3,5-Diskette");  // the comma inside survives
    EXPECT_EQ(c.drives[3].letter, 'E');
    EXPECT_EQ(c.drives[3].type, DriveType::Remote);
    EXPECT_EQ(c.drives[3].hostFolder, fs::path());
    EXPECT_EQ(c.drives[4].hostFolder, fs::path("/"));
    EXPECT_EQ(tm->endpoint("maker"), "http://127.0.0.1:8080");
    EXPECT_EQ(tm->endpoint("scanner"), "http://127.0.0.1:8181");
    EXPECT_EQ(tm->endpoint("nobody"), "");
    EXPECT_EQ(c.tokenGroups, MachineConfig::defaultTokenGroups(true));
    EXPECT_EQ(regString(tm->registry(), HKEY_LOCAL_MACHINE,
                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion"),
              "5.0");
    EXPECT_TRUE(fs::is_directory(tm.host("E:\\")));
}

TEST(MachineCreate, RefusesBadUserNamesAndOpenFailsWithoutAPrefix) {
    TempMachine tm;
    for (const char* name : {"..", "../../etc", "a\\b", "", "x:y"}) {
        MachineConfig config = MachineConfig::defaults();
        config.userName = name;
        EXPECT_FALSE(Machine::create(tm.root() / "bad", config)) << name;
    }
    auto m = Machine::open(tm.root() / "nothing-here");
    ASSERT_FALSE(m);
    EXPECT_FALSE(m.error().message.empty());
    fs::remove(tm.prefix() / "registry.db");
    EXPECT_FALSE(Machine::open(tm.prefix()));

    // A Wine prefix is neither completed nor opened: nothing lands in it.
    const fs::path wine = tm.root() / "wine";
    fs::create_directories(wine / "dosdevices");
    for (const char* hive : {"system.reg", "user.reg"}) std::ofstream(wine / hive) << "WINE\n";
    EXPECT_FALSE(Machine::create(wine));
    EXPECT_FALSE(Machine::openOrCreate(wine));
    EXPECT_EQ(std::distance(fs::directory_iterator(wine), fs::directory_iterator{}), 3);
}

TEST(MachineResolve, MatchesComponentsWithoutRegardToCase) {
    TempMachine tm;
    auto p = tm->resolve("c:/DOKUMENTE UND EINSTELLUNGEN\\Anna\\startmenü\\PROGRAMME");
    ASSERT_TRUE(p) << p.error().message;
    EXPECT_EQ(*p,
              tm.prefix() / "dosdevices/c:/Dokumente und Einstellungen/anna/Startmenü/Programme");
    // Components that do not exist keep the given spelling, below existing ones.
    auto q = tm->resolve("C:\\windows\\NewDir\\File.TXT");
    ASSERT_TRUE(q);
    EXPECT_EQ(*q, tm.prefix() / "dosdevices/c:/WINDOWS/NewDir/File.TXT");
    EXPECT_EQ(*tm->resolve("C:"), tm.prefix() / "dosdevices/c:");
    EXPECT_EQ(*tm->resolve("c:\\"), tm.prefix() / "dosdevices/c:");

    // The exact spelling wins over another case; with neither, the first in byte order.
    fs::create_directories(tm.prefix() / "drive_c" / "Daten");
    fs::create_directories(tm.prefix() / "drive_c" / "DATEN");
    EXPECT_EQ(tm.host("C:\\Daten").filename(), "Daten");
    EXPECT_EQ(tm.host("C:\\DATEN").filename(), "DATEN");
    EXPECT_EQ(tm.host("C:\\daten").filename(), "DATEN");

    // ".." that climbs out of the drive fails and touches nothing.
    EXPECT_EQ(tm.host("C:\\WINDOWS\\..\\Programme\\.\\x"),
              tm.prefix() / "dosdevices/c:/Programme/x");
    for (const char* path :
         {"C:\\..\\outside.txt", "C:\\WINDOWS\\..\\..\\outside.txt", "C:/../../../x"}) {
        auto r = tm->resolve(path);
        ASSERT_FALSE(r) << path;
        EXPECT_NE(r.error().message.find("steigt über"), std::string::npos) << r.error().message;
        EXPECT_FALSE(files::writeAll(tm.machine(), path, "x")) << path;
        EXPECT_FALSE(files::createFolders(tm.machine(), path)) << path;
    }
    EXPECT_FALSE(fs::exists(tm.prefix() / "outside.txt"));
    EXPECT_FALSE(fs::exists(tm.prefix() / "dosdevices" / "outside.txt"));
    EXPECT_FALSE(fs::exists(tm.root() / "outside.txt"));
}

TEST(MachineResolve, RefusesPathsThatReachNoDrive) {
    TempMachine tm;
    for (const char* path : {"", ":", "C", "\\foo", "/foo", "foo\\bar", "Q:\\x", "1:\\x",
                             "\\\\server\\share\\x", "//server/share", "\\\\?\\C:\\x"}) {
        auto r = tm->resolve(path);
        EXPECT_EQ(r ? 0u : r.error().code, 3u) << '"' << path << '"';
    }
    auto floppy = tm->resolve("A:\\autoexec.bat");
    EXPECT_EQ(floppy ? 0u : floppy.error().code, 21u);  // not ready: no disk
    for (const char* path : {"C:\\a?b", "C:\\a*", "C:\\x\\a:b", "C:\\a|b", "C:\\a\tb"})
        EXPECT_FALSE(tm->resolve(path)) << path;
    EXPECT_FALSE(tm->resolve(std::string("C:\\a\0b", 6)));
}

TEST(MachineScopeTest, BindsPerThreadAndRestoresTheOuterBinding) {
    ASSERT_FALSE(hasCurrentMachine());
    EXPECT_THROW(currentMachine(), std::logic_error);
    TempMachine outer;  // bound by the fixture
    ASSERT_TRUE(hasCurrentMachine());
    EXPECT_EQ(&currentMachine(), &outer.machine());
    {
        auto inner = Machine::create(outer.root() / "second");
        ASSERT_TRUE(inner);
        MachineScope scope(**inner);
        EXPECT_EQ(&currentMachine(), inner->get());
    }
    EXPECT_EQ(&currentMachine(), &outer.machine());
}

TEST(MachineDefaultPrefix, FollowsTheEnvironment) {
    const auto save = [](const char* n) -> std::optional<std::string> {
        const char* v = std::getenv(n);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto restore = [](const char* n, const std::optional<std::string>& v) {
        if (v)
            ::setenv(n, v->c_str(), 1);
        else
            ::unsetenv(n);
    };
    const auto kp = save("KOLVANEX_PREFIX");
    const auto xdg = save("XDG_DATA_HOME");
    const auto home = save("HOME");
    ::setenv("KOLVANEX_PREFIX", "/srv/kx", 1);
    EXPECT_EQ(Machine::defaultPrefix(), fs::path("/srv/kx"));
    ::unsetenv("KOLVANEX_PREFIX");
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(Machine::defaultPrefix(), fs::path("/data/kolvanex/machine"));
    ::setenv("XDG_DATA_HOME", "relative/dir", 1);  // invalid by XDG's rules: ignored
    ::setenv("HOME", "/home/anna", 1);
    EXPECT_EQ(Machine::defaultPrefix(), fs::path("/home/anna/.local/share/kolvanex/machine"));
    restore("KOLVANEX_PREFIX", kp);
    restore("XDG_DATA_HOME", xdg);
    restore("HOME", home);
}

}  // namespace
}  // namespace kx::platform
