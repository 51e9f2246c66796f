// The drives machine.ini lists and the user's access token, seen through the
// Win32 calls the engine makes: what the cleaners and the administrator check
// rely on is that the answers follow the machine, keep their order and never
// read or write past a buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/machine/drives.hpp"
#include "platform/machine/security.hpp"
#include "platform/runtime/text.hpp"
#include "support/registry_values.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

namespace fs = std::filesystem;
namespace sec = kx::platform::security;
using kx::test::TempMachine;

MachineConfig fourDrives() {
    MachineConfig c = MachineConfig::defaults();
    // Deliberately out of order: the system reports drives by letter.
    c.drives = {
        Drive{'E', DriveType::CdRom, "CD-Laufwerk"},
        Drive{'C', DriveType::Fixed, "Lokaler Datenträger"},
        Drive{'A', DriveType::Removable, "3,5-Diskette"},
        Drive{'D', DriveType::Fixed, ""},
    };
    return c;
}

sec::UniqueSid administrators() {
    sec::PSID raw = nullptr;
    EXPECT_EQ(sec::AllocateAndInitializeSid(&sec::SECURITY_NT_AUTHORITY, 2, 0x20, 0x220, 0, 0, 0, 0,
                                            0, 0, &raw),
              1);
    return sec::UniqueSid(raw);
}

// The token's groups, read the way a Win32 caller reads them.
struct Groups {
    std::unique_ptr<std::byte[]> buffer;
    sec::DWORD size = 0;
    const sec::TOKEN_GROUPS* groups = nullptr;
};

Groups readGroups() {
    sec::TokenHandle token;
    Groups out;
    if (sec::OpenProcessToken(sec::GetCurrentProcess(), sec::TOKEN_QUERY, token.out()) != 1) {
        ADD_FAILURE() << "no token";
        return out;
    }
    sec::DWORD size = 0;
    EXPECT_EQ(sec::GetTokenInformation(token.get(), sec::TokenGroups, nullptr, 0, &size), 0);
    EXPECT_EQ(sec::GetLastError(), sec::ERROR_INSUFFICIENT_BUFFER);
    out.buffer = std::make_unique<std::byte[]>(size);
    sec::DWORD written = 0;
    EXPECT_EQ(
        sec::GetTokenInformation(token.get(), sec::TokenGroups, out.buffer.get(), size, &written),
        1);
    EXPECT_EQ(written, size);
    out.size = size;
    out.groups = std::launder(reinterpret_cast<const sec::TOKEN_GROUPS*>(out.buffer.get()));
    return out;
}

TEST(Drives, LogicalDriveStringsAndDriveTypesFollowTheMachine) {
    TempMachine tm(fourDrives());
    const DWORD needed = GetLogicalDriveStringsA(0, nullptr);
    ASSERT_EQ(needed, 17u);  // four "X:\\\0" and the final NUL

    // One byte short: nothing is written, the size needed is answered again.
    std::string small(16, '#');
    EXPECT_EQ(GetLogicalDriveStringsA(16, small.data()), 17u);
    EXPECT_EQ(small, std::string(16, '#'));

    std::string buffer(20, '#');
    EXPECT_EQ(GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data()), 16u);
    EXPECT_EQ(buffer, std::string("A:\\\0C:\\\0D:\\\0E:\\\0\0###", 20));

    // The drive type knows roots only and tells a missing drive from a malformed root.
    // Q: is a drive the machine lacks.
    for (const auto& [root, type] : {std::pair{"A:\\", DRIVE_REMOVABLE},
                                     {"c:/", DRIVE_FIXED},
                                     {"D:\\", DRIVE_FIXED},
                                     {"E:\\", DRIVE_CDROM},
                                     {"Q:\\", DRIVE_UNKNOWN}})
        EXPECT_EQ(GetDriveTypeA(root), type) << root;
    for (const char* malformed : {"", "C", "C:", "C\\", "C:\\Windows\\", "1:\\", ":\\", "\\\\"})
        EXPECT_EQ(GetDriveTypeA(malformed), DRIVE_NO_ROOT_DIR) << malformed;
}

TEST(Drives, ShellTypeNamesOfDrivesFoldersAndFiles) {
    TempMachine tm(fourDrives());
    const auto typeName = [](std::string_view path, DWORD attributes = 0, std::uint32_t flags = 0) {
        SHFILEINFOA info;
        std::memset(info.szTypeName, '#', sizeof(info.szTypeName) - 1);
        info.szTypeName[sizeof(info.szTypeName) - 1] = '\0';
        const auto ok =
            SHGetFileInfoA(path, attributes, &info, sizeof(info), SHGFI_TYPENAME | flags);
        return ok != 0 ? std::string(info.szTypeName) : std::string("<failed>");
    };
    // Drive roots need no disk: the floppy has no folder in the prefix.
    EXPECT_EQ(typeName("A:\\"), "3,5-Diskette");
    EXPECT_EQ(typeName("c:"), "Lokaler Datenträger");
    EXPECT_EQ(typeName("D:\\"), "Lokaler Datenträger");  // named by its kind
    EXPECT_EQ(typeName("Q:\\"), "<failed>");

    tm.writeHostFile(tm.host("C:\\Daten\\bericht.doc"), "x");
    tm.writeHostFile(tm.host("C:\\Daten\\NOTIZEN.TXT"), "x");
    tm.writeHostFile(tm.host("C:\\Daten\\README"), "x");
    EXPECT_EQ(typeName("C:\\Daten"), "Dateiordner");
    EXPECT_EQ(typeName("C:\\Daten\\bericht.doc"), "DOC-Datei");
    EXPECT_EQ(typeName("C:\\Daten\\README"), "Datei");
    EXPECT_EQ(typeName("C:\\Daten\\fehlt.zip"), "<failed>");
    EXPECT_EQ(typeName("C:\\Daten\\fehlt.zip", 0, SHGFI_USEFILEATTRIBUTES), "ZIP-Datei");
    EXPECT_EQ(typeName("C:\\Daten\\fehlt", FILE_ATTRIBUTE_DIRECTORY, SHGFI_USEFILEATTRIBUTES),
              "Dateiordner");

    // A registered class names its files, whatever the case of the extension.
    auto& reg = tm->registry();
    const auto setDefault = [&](std::string_view key, std::string_view text) {
        ASSERT_EQ(test::putValue(reg, HKEY_CLASSES_ROOT, key, "", std::string(text) + '\0'),
                  ERROR_SUCCESS);
    };
    setDefault(".txt", "txtfile");
    setDefault("txtfile", "Textdokument");
    EXPECT_EQ(typeName("C:\\Daten\\NOTIZEN.TXT"), "Textdokument");
    // A class value naming some other key's subkey is no class.
    setDefault(".doc", "txtfile\\sub");
    setDefault("txtfile\\sub", "Falsch");
    EXPECT_EQ(typeName("C:\\Daten\\bericht.doc"), "DOC-Datei");

    // A record too small for the answer is refused, not overrun.
    SHFILEINFOA info;
    EXPECT_EQ(SHGetFileInfoA("C:\\", 0, &info, sizeof(info) - 1, SHGFI_TYPENAME), 0u);
}

TEST(Drives, LongTypeNamesAreCutWholeCharactersAtATime) {
    MachineConfig c = fourDrives();
    std::string longName;
    for (int i = 0; i < 60; ++i) longName += "ä";  // 120 bytes
    c.drives[1].shellTypeName = longName;          // drive C
    TempMachine tm(c);
    SHFILEINFOA info;
    ASSERT_NE(SHGetFileInfoA("C:\\", 0, &info, sizeof(info), SHGFI_TYPENAME), 0u);
    const std::string got(info.szTypeName);
    EXPECT_EQ(got.size(), 78u);  // 39 whole letters; the 40th would need bytes 79 and 80
    EXPECT_TRUE(isValidUtf8(got));
    EXPECT_EQ(longName.substr(0, got.size()), got);
}

TEST(Drives, WithoutAMachineNothingIsKnown) {
    ASSERT_FALSE(hasCurrentMachine());
    EXPECT_EQ(GetLogicalDriveStringsA(0, nullptr), 0u);
    EXPECT_EQ(GetDriveTypeA("C:\\"), DRIVE_NO_ROOT_DIR);
    SHFILEINFOA info;
    EXPECT_EQ(SHGetFileInfoA("C:\\", 0, &info, sizeof(info), SHGFI_TYPENAME), 0u);
    sec::HANDLE token = 99;
    EXPECT_EQ(sec::OpenProcessToken(sec::GetCurrentProcess(), sec::TOKEN_QUERY, &token), 0);
    EXPECT_EQ(token, 0u);
}

TEST(AccessToken, GroupsAreTheMachinesIdentifiersInTheirOrder) {
    TempMachine tm;  // an administrator, with the groups Windows XP gives one
    const auto expected = MachineConfig::defaultTokenGroups(true);
    const auto read = readGroups();
    ASSERT_NE(read.groups, nullptr);
    ASSERT_EQ(read.groups->GroupCount, expected.size());
    const auto admins = administrators();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const sec::SID* sid = read.groups->Groups[i].Sid;
        ASSERT_EQ(sec::IsValidSid(sid), 1) << i;
        EXPECT_EQ(sec::sidToString(*sid), expected[i]);
        EXPECT_EQ(sec::EqualSid(sid, admins.get()), expected[i] == "S-1-5-32-544" ? 1 : 0);
        // The identifiers lie inside the buffer the caller owns.
        const auto* p = reinterpret_cast<const std::byte*>(sid);
        EXPECT_TRUE(p >= read.buffer.get() &&
                    p + sizeof(sec::SID) <= read.buffer.get() + read.size);
    }
}

TEST(AccessToken, AGarbledGroupKeepsItsPlaceAsAnInvalidIdentifier) {
    MachineConfig c = MachineConfig::defaults();
    c.tokenGroups = {"S-1-1-0", "Administratoren", "S-1-5-32-544"};
    TempMachine tm(c);
    const auto read = readGroups();
    ASSERT_NE(read.groups, nullptr);
    ASSERT_EQ(read.groups->GroupCount, 3u);
    EXPECT_EQ(sec::IsValidSid(read.groups->Groups[1].Sid), 0);
    const auto admins = administrators();
    EXPECT_EQ(sec::EqualSid(read.groups->Groups[1].Sid, admins.get()), 0);
    EXPECT_EQ(sec::GetLastError(), sec::ERROR_INVALID_SID);
    EXPECT_EQ(sec::EqualSid(read.groups->Groups[2].Sid, admins.get()), 1);
}

TEST(AccessToken, HandlesRightsAndBuffersAreChecked) {
    TempMachine tm;
    sec::HANDLE token = 0;
    sec::DWORD size = 0;

    // Only the running process has a token here.
    EXPECT_EQ(sec::OpenProcessToken(1234, sec::TOKEN_QUERY, &token), 0);
    EXPECT_EQ(sec::GetLastError(), static_cast<sec::DWORD>(ERROR_INVALID_HANDLE));

    // Opened without the right to query.
    ASSERT_EQ(sec::OpenProcessToken(sec::GetCurrentProcess(), 0, &token), 1);
    EXPECT_EQ(sec::GetTokenInformation(token, sec::TokenGroups, nullptr, 0, &size), 0);
    EXPECT_EQ(sec::GetLastError(), static_cast<sec::DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(sec::CloseHandle(token), 1);
    EXPECT_EQ(sec::CloseHandle(token), 0);  // closed twice
    EXPECT_EQ(sec::GetTokenInformation(token, sec::TokenGroups, nullptr, 0, &size), 0);
    EXPECT_EQ(sec::GetLastError(), static_cast<sec::DWORD>(ERROR_INVALID_HANDLE));

    sec::TokenHandle open;
    ASSERT_EQ(sec::OpenProcessToken(sec::GetCurrentProcess(), sec::TOKEN_QUERY, open.out()), 1);
    EXPECT_EQ(sec::GetTokenInformation(open.get(), sec::TokenUser, nullptr, 0, &size), 0);
    EXPECT_EQ(sec::GetLastError(), static_cast<sec::DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_EQ(sec::GetTokenInformation(open.get(), sec::TokenGroups, nullptr, 0, &size), 0);
    ASSERT_GT(size, 0u);
    // A buffer one byte short is refused and left as it was.
    std::vector<std::uint64_t> words(size / 8 + 2, 0xABABABABABABABABull);
    EXPECT_EQ(sec::GetTokenInformation(open.get(), sec::TokenGroups, words.data(), size - 1, &size),
              0);
    EXPECT_EQ(sec::GetLastError(), sec::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(words[0], 0xABABABABABABABABull);
    // A misaligned one too.
    auto* misaligned = reinterpret_cast<std::byte*>(words.data()) + 1;
    EXPECT_EQ(sec::GetTokenInformation(open.get(), sec::TokenGroups, misaligned, size, &size), 0);
    EXPECT_EQ(sec::GetLastError(), sec::ERROR_NOACCESS);

    EXPECT_EQ(sec::GetTokenInformation(open.get(), sec::TokenGroups, words.data(), size, &size), 1);
}

TEST(AccessToken, IdentifiersAreReadStrictly) {
    const auto roundTrip = [](std::string_view text) {
        const auto sid = sec::parseSid(text);
        return sid ? sec::sidToString(*sid) : std::string("<none>");
    };
    for (const char* good : {"S-1-5-32-544", "S-1-5", "S-1-0x123456789ABC-1", "S-1-5-21-4294967295",
                             "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15"})
        EXPECT_EQ(roundTrip(good), good);
    EXPECT_EQ(roundTrip("s-1-1-0"), "S-1-1-0");
    EXPECT_EQ(roundTrip("S-1-0x0000000000FF-7"), "S-1-255-7");
    for (const char* bad :
         {"", "S", "S-1", "S-1-", "S-1-5-", "S-2-5-32", "S-1-5-32-4294967296",
          "S-1-281474976710656-1", "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16", "X-1-5-32",
          "S-1-5-32-544 ", "S-1-5--544", "S-1-0x-1", "S-1-5-99999999999999999999999"}) {
        EXPECT_EQ(roundTrip(bad), "<none>") << bad;
    }

    sec::SID stale;
    sec::PSID sid = &stale;
    EXPECT_EQ(
        sec::AllocateAndInitializeSid(&sec::SECURITY_NT_AUTHORITY, 9, 1, 2, 3, 4, 5, 6, 7, 8, &sid),
        0);
    EXPECT_EQ(sid, nullptr);
    EXPECT_EQ(sec::IsValidSid(nullptr), 0);
    EXPECT_EQ(sec::FreeSid(nullptr), nullptr);
}

}  // namespace
}  // namespace kx::platform
