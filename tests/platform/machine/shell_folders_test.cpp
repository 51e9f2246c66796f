// Special folders come from the registry, so a folder the user moved is
// found where it now is, and folders without a place answer "".
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/machine/shell_folders.hpp"
#include "support/registry_values.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;
using namespace std::string_literals;

TEST(ShellFolders, EveryFolderWithAPlaceResolvesToAnExistingFolder) {
    TempMachine tm;
    const std::string profile = "C:\\Dokumente und Einstellungen\\anna";
    const std::pair<int, std::string> expected[] = {
        {CSIDL_DESKTOP, profile + "\\Desktop"},
        {CSIDL_PERSONAL, profile + "\\Eigene Dateien"},
        {CSIDL_FAVORITES, profile + "\\Favoriten"},
        {CSIDL_STARTUP, profile + "\\Startmenü\\Programme\\Autostart"},
        {CSIDL_RECENT, profile + "\\Recent"},
        {CSIDL_SENDTO, profile + "\\SendTo"},
        {CSIDL_STARTMENU, profile + "\\Startmenü"},
        {CSIDL_DESKTOPDIRECTORY, profile + "\\Desktop"},
        {CSIDL_NETHOOD, profile + "\\Netzwerkumgebung"},
        {CSIDL_TEMPLATES, profile + "\\Vorlagen"},
        {CSIDL_APPDATA, profile + "\\Anwendungsdaten"},
        {CSIDL_PRINTHOOD, profile + "\\Druckumgebung"},
        {CSIDL_LOCAL_APPDATA, profile + "\\Lokale Einstellungen\\Anwendungsdaten"},
        {CSIDL_INTERNET_CACHE, profile + "\\Lokale Einstellungen\\Temporary Internet Files"},
        {CSIDL_COOKIES, profile + "\\Cookies"},
        {CSIDL_HISTORY, profile + "\\Lokale Einstellungen\\Verlauf"},
        {CSIDL_COMMON_APPDATA, "C:\\Dokumente und Einstellungen\\All Users\\Anwendungsdaten"},
        {CSIDL_WINDOWS, "C:\\WINDOWS"},
        {CSIDL_SYSTEM, "C:\\WINDOWS\\system32"},
        {CSIDL_PROGRAM_FILES, "C:\\Programme"},
    };
    for (const auto& [csidl, path] : expected) {
        EXPECT_EQ(specialFolderPath(tm.machine(), csidl), path) << csidl;
        EXPECT_TRUE(fs::is_directory(tm.host(path))) << path;
    }
    // Flag bits such as CSIDL_FLAG_CREATE do not change the answer.
    EXPECT_EQ(specialFolderPath(tm.machine(), CSIDL_COOKIES | 0x8000), profile + "\\Cookies");
    // Virtual and unknown folders answer "".
    for (int csidl : {CSIDL_CONTROLS, CSIDL_BITBUCKET, CSIDL_DRIVES, 0x12, 0x7F})
        EXPECT_EQ(specialFolderPath(tm.machine(), csidl), "") << csidl;
}

TEST(ShellFolders, FollowTheRegistryWhenAFolderIsMoved) {
    TempMachine tm;
    auto& reg = tm->registry();
    const auto shellFolders =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    ASSERT_EQ(test::putValue(reg, HKEY_CURRENT_USER, shellFolders, "Personal", "D:\\Ablage\\\0"s),
              ERROR_SUCCESS);
    // Without the literal value, the template in User Shell Folders is used.
    ASSERT_EQ(test::deleteValue(reg, HKEY_CURRENT_USER, shellFolders, "Favorites"), ERROR_SUCCESS);
    EXPECT_EQ(specialFolderPath(tm.machine(), CSIDL_PERSONAL), "D:\\Ablage");
    EXPECT_EQ(specialFolderPath(tm.machine(), CSIDL_FAVORITES),
              "C:\\Dokumente und Einstellungen\\anna\\Favoriten");
}

TEST(ShellFolders, TempPathComesFromTheEnvironmentKeyWithATrailingBackslash) {
    TempMachine tm;
    EXPECT_EQ(tempPath(tm.machine()),
              "C:\\Dokumente und Einstellungen\\anna\\Lokale Einstellungen\\Temp\\");
    auto& reg = tm->registry();
    ASSERT_EQ(test::putValue(reg, HKEY_CURRENT_USER, "Environment", "TEMP", "%SystemRoot%\\Temp\0"s,
                             REG_EXPAND_SZ),
              ERROR_SUCCESS);
    EXPECT_EQ(tempPath(tm.machine()), "C:\\WINDOWS\\Temp\\");
    for (const char* name : {"TEMP", "TMP"})
        ASSERT_EQ(test::deleteValue(reg, HKEY_CURRENT_USER, "Environment", name), ERROR_SUCCESS);
    EXPECT_EQ(tempPath(tm.machine()), "C:\\Dokumente und Einstellungen\\anna\\");
}

TEST(ShellFolders, ExpandsKnownVariablesOnly) {
    TempMachine tm;
    auto& m = tm.machine();
    EXPECT_EQ(expandEnvironmentStrings(m, "%userprofile%\\x"),
              "C:\\Dokumente und Einstellungen\\anna\\x");
    EXPECT_EQ(expandEnvironmentStrings(m, "%WINDIR%;%NOPE%;50%"), "C:\\WINDOWS;%NOPE%;50%");
    EXPECT_EQ(expandEnvironmentStrings(m, "100%%USERNAME%"), "100%anna");
}

}  // namespace
}  // namespace kx::platform
