// Dial-up networking over the machine: the record sizes each system takes,
// entry properties at their offsets, deleting entries, and the connection
// table that dialing and hanging up keep.
#include "platform/network/dialup.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/machine/system_messages.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

using kx::test::TempMachine;
using Bytes = std::vector<std::byte>;

constexpr std::string_view kBook =
    "[T-Online]\r\nPhoneNumber=0191011\r\nAreaCode=030\r\nCountryCode=49\r\nCountryID=49\r\n"
    "Device=Standard-Modem 56000\r\n\r\n"
    "[Erotik Zugang mit einem sehr langen Namen]\r\nPhoneNumber=0190-123 456\r\n";

DWORD dwordAt(const Bytes& b, std::size_t at) {
    DWORD v = 0;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}
std::string textAt(const Bytes& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data() + at));
}
Bytes record(std::size_t bytes, DWORD size) {
    Bytes b(bytes);
    std::memcpy(b.data(), &size, sizeof size);
    return b;
}

MachineConfig windows98() {
    auto c = MachineConfig::defaults();
    c.version = {4, 10, 2222, 1, " A "};
    return c;
}

class Dialup : public ::testing::Test {
  protected:
    explicit Dialup(const MachineConfig& config = MachineConfig::defaults()) : tm(config) {}
    void SetUp() override {
        book = defaultPhoneBook(tm.machine());
        tm.writeHostFile(tm.host(book), kBook);
    }
    TempMachine tm;
    std::string book;
};

class Dialup98 : public Dialup {
  protected:
    Dialup98() : Dialup(windows98()) {}
};

TEST_F(Dialup, EntriesInTheLargeFormCarryFlagsAndPhoneBook) {
    EXPECT_EQ(book,
              "C:\\Dokumente und Einstellungen\\All Users\\Anwendungsdaten\\Microsoft\\Network\\"
              "Connections\\Pbk\\rasphone.pbk");
    DWORD cb = 28, n = 0;
    auto small = record(28, 28);
    EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, small.data(), &cb, &n), ERROR_INVALID_SIZE);

    auto one = record(532, 532);
    cb = 532;
    ASSERT_EQ(RasEnumEntriesA(nullptr, nullptr, one.data(), &cb, &n), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cb, 2u * 532);
    EXPECT_EQ(n, 2u);

    auto all = record(cb, 532);
    ASSERT_EQ(RasEnumEntriesA(nullptr, "", all.data(), &cb, &n), 0u);
    EXPECT_EQ(textAt(all, 4), "T-Online");
    EXPECT_EQ(textAt(all, 532 + 4), "Erotik Zugang mit einem sehr langen Namen");
    EXPECT_EQ(dwordAt(all, 532), 532u);
    EXPECT_EQ(dwordAt(all, 532 + 264), rasentryname::kAllUsers);
    EXPECT_EQ(textAt(all, 532 + 268), book);

    // A phone book named but missing cannot be opened; the default may be.
    EXPECT_EQ(RasEnumEntriesA(nullptr, "C:\\nichts.pbk", all.data(), &cb, &n),
              ERROR_CANNOT_OPEN_PHONEBOOK);
    std::filesystem::remove(tm.host(book));
    cb = 532;
    EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, one.data(), &cb, &n), 0u);
    EXPECT_EQ(n, 0u);
}

TEST_F(Dialup98, OlderSystemsTakeTheSmallFormsAndCutLongNames) {
    DWORD cb = 532, n = 0;
    auto large = record(532, 532);
    EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, large.data(), &cb, &n), ERROR_INVALID_SIZE);
    auto names = record(2 * 28, 28);
    cb = 2 * 28;
    ASSERT_EQ(RasEnumEntriesA(nullptr, nullptr, names.data(), &cb, &n), 0u);
    EXPECT_EQ(textAt(names, 4), "T-Online");
    EXPECT_EQ(textAt(names, 28 + 4), "Erotik Zugang mit ei");  // 20 characters and the NUL

    DWORD size = 0;
    ASSERT_EQ(RasGetEntryPropertiesA(nullptr, nullptr, nullptr, &size, nullptr, nullptr),
              ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, rasentry::kSizeFirst);
    auto xp = record(rasentry::kSizeXP, rasentry::kSizeXP);
    size = rasentry::kSizeXP;
    EXPECT_EQ(RasGetEntryPropertiesA(nullptr, "T-Online", xp.data(), &size, nullptr, nullptr),
              ERROR_INVALID_SIZE);
}

TEST_F(Dialup, EntryPropertiesLieAtTheirOffsets) {
    DWORD size = 0, devSize = 99;
    ASSERT_EQ(RasGetEntryPropertiesA(nullptr, "t-online", nullptr, &size, nullptr, &devSize),
              ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, rasentry::kSizeXP);
    EXPECT_EQ(devSize, 0u);
    auto entry = record(size, rasentry::kSizeXP);
    ASSERT_EQ(RasGetEntryPropertiesA(nullptr, "t-online", entry.data(), &size, nullptr, nullptr),
              0u);
    EXPECT_EQ(dwordAt(entry, rasentry::kCountryCode), 49u);
    EXPECT_EQ(textAt(entry, rasentry::kAreaCode), "030");
    EXPECT_EQ(textAt(entry, rasentry::kLocalPhoneNumber), "0191011");
    EXPECT_EQ(textAt(entry, rasentry::kDeviceType), "modem");
    EXPECT_EQ(textAt(entry, rasentry::kDeviceName), "Standard-Modem 56000");
    EXPECT_EQ(dwordAt(entry, rasentry::kAlternateOffset), 0u);

    // The first form holds 32 characters of the device name.
    auto first = record(rasentry::kSizeFirst, rasentry::kSizeFirst);
    size = rasentry::kSizeFirst;
    ASSERT_EQ(RasGetEntryPropertiesA(nullptr, "T-Online", first.data(), &size, nullptr, nullptr),
              0u);
    EXPECT_EQ(textAt(first, rasentry::kDeviceName), "Standard-Modem 56000");

    auto odd = record(2000, 2000);
    size = 2000;
    EXPECT_EQ(RasGetEntryPropertiesA(nullptr, "T-Online", odd.data(), &size, nullptr, nullptr),
              ERROR_INVALID_SIZE);
    EXPECT_EQ(RasGetEntryPropertiesA(nullptr, "Fehlt", nullptr, &size, nullptr, nullptr),
              ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
}

TEST_F(Dialup, DeletingEntriesAndTheirErrors) {
    EXPECT_EQ(RasDeleteEntryA(nullptr, "Fehlt"), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    ASSERT_EQ(RasDeleteEntryA(nullptr, "t-online"), 0u);
    EXPECT_EQ(RasDeleteEntryA(nullptr, "T-Online"), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_EQ(TempMachine::readHostFile(tm.host(book)),
              "[Erotik Zugang mit einem sehr langen Namen]\r\nPhoneNumber=0190-123 456\r\n");

    std::filesystem::permissions(tm.host(book), std::filesystem::perms::owner_read);
    EXPECT_EQ(RasDeleteEntryA(nullptr, "Erotik Zugang mit einem sehr langen Namen"),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    std::filesystem::permissions(tm.host(book), std::filesystem::perms::owner_all);

    char text[512];
    ASSERT_EQ(RasGetErrorStringA(623, text, sizeof text), 0u);
    EXPECT_STREQ(text, "Der Telefonbucheintrag für diese Verbindung wurde nicht gefunden.");
    EXPECT_EQ(RasGetErrorStringA(623, text, 10), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(RasGetErrorStringA(5, text, sizeof text),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, text, sizeof text, nullptr),
              0u);
    EXPECT_STREQ(text, "Zugriff verweigert\r\n");
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 4711, 0, text, sizeof text, nullptr),
        0u);
}

TEST(DialupUser, OnlyAnAdministratorChangesTheAllUsersPhoneBook) {
    auto config = MachineConfig::defaults();
    config.administrator = false;
    TempMachine tm(config);
    tm.writeHostFile(tm.host(defaultPhoneBook(tm.machine())), kBook);
    EXPECT_EQ(RasDeleteEntryA(nullptr, "T-Online"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Dialup, DialedConnectionsAreListedUntilHungUpAndOutliveTheProcess) {
    DWORD state = 0;
    ASSERT_TRUE(InternetGetConnectedState(&state, 0));
    EXPECT_EQ(state, INTERNET_CONNECTION_LAN | INTERNET_RAS_INSTALLED);

    std::uintptr_t handle = 7;
    EXPECT_EQ(InternetDial(0, "Fehlt", INTERNET_AUTODIAL_FORCE_ONLINE, &handle, 0),
              ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(InternetDial(0, "T-Online", 0x40, &handle, 0),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(InternetDial(0, "t-online", INTERNET_AUTODIAL_FORCE_UNATTENDED, &handle, 0), 0u);
    ASSERT_NE(handle, 0u);
    std::uintptr_t again = 0;
    ASSERT_EQ(InternetDial(0, "T-Online", INTERNET_AUTODIAL_FORCE_ONLINE, &again, 0), 0u);
    EXPECT_EQ(again, handle);
    std::uintptr_t other = 0;
    ASSERT_EQ(InternetDial(0, "Erotik Zugang mit einem sehr langen Namen",
                           INTERNET_AUTODIAL_FORCE_ONLINE, &other, 0),
              0u);
    EXPECT_NE(other, handle);
    ASSERT_TRUE(InternetGetConnectedState(&state, 0));
    EXPECT_EQ(state, INTERNET_CONNECTION_MODEM | INTERNET_RAS_INSTALLED);

    tm.reopen();  // another process of the machine sees them
    DWORD cb = 412, n = 0;
    auto wrong = record(400, 400);
    EXPECT_EQ(RasEnumConnectionsA(wrong.data(), &cb, &n), ERROR_INVALID_SIZE);
    auto one = record(412, 412);
    EXPECT_EQ(RasEnumConnectionsA(one.data(), &cb, &n), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cb, 2u * 412);
    auto all = record(cb, 412);
    ASSERT_EQ(RasEnumConnectionsA(all.data(), &cb, &n), 0u);
    ASSERT_EQ(n, 2u);
    EXPECT_EQ(dwordAt(all, rasconn::kHandle), handle);
    EXPECT_EQ(textAt(all, rasconn::kEntryName), "T-Online");  // the book's spelling
    EXPECT_EQ(textAt(all, rasconn::kDeviceName), "Standard-Modem 56000");
    EXPECT_EQ(dwordAt(all, 412 + rasconn::kHandle), other);

    EXPECT_EQ(InternetHangUp(handle, 0), 0u);
    EXPECT_EQ(InternetHangUp(handle, 0), ERROR_NO_CONNECTION);
    ASSERT_EQ(RasEnumConnectionsA(all.data(), &cb, &n), 0u);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(textAt(all, rasconn::kEntryName), "Erotik Zugang mit einem sehr langen Namen");
}

}  // namespace
}  // namespace kx::platform
