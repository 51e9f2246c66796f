#include "settings/registry_access.hpp"

#include <gtest/gtest.h>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/ui/dialogs.hpp"
#include "settings/cregistry.hpp"
#include "support/registry_values.hpp"
#include "support/temp_machine.hpp"

namespace kx::settings {
namespace {

using namespace kx::platform;

// The bytes a value holds, read straight from the registry.
std::optional<std::string> rawValue(HKEY root, std::string_view path, std::string_view name,
                                    DWORD* type = nullptr) {
    return test::valueBytes(currentMachine().registry(), root, path, name, type);
}

bool keyExists(HKEY root, std::string_view path) {
    return test::keyExists(currentMachine().registry(), root, path);
}

class RegistryAccessTest : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override { resetShared(); }
    test::TempMachine machine;
    CKOLVANEX kolvanex;
    const Long hkcu = static_cast<Long>(HKEY_CURRENT_USER);
};

TEST_F(RegistryAccessTest, TextIsTrimmedOnWriteAndCleanedOrRawOnRead) {
    CRegistry product;
    product.ProductName = "Kolvanex";
    ASSERT_EQ(product.WriteMachineInformationString("Sub", "Name", "  abc  "), 0);
    DWORD type = 0;
    EXPECT_EQ(rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kolvanex\\Sub", "Name", &type), "abc");
    EXPECT_EQ(type, REG_SZ);

    // A value stored with its terminator and an embedded NUL, as other programs write it.
    const std::string bytes("ab\0c \0", 6);
    ASSERT_EQ(test::putValue(currentMachine().registry(), HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Kolvanex\\Sub", "Raw", bytes),
              0);
    std::string text = "stale";
    EXPECT_EQ(product.QueryMachineInformationString("Sub", "Raw", text), 0);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(product.QueryMachineInformationStringEx("Sub", "Raw", text), 0);
    EXPECT_EQ(text, bytes);

    EXPECT_EQ(product.QueryMachineInformationString("Sub", "Missing", text), 2);
    EXPECT_EQ(text, "");
}

TEST_F(RegistryAccessTest, BasePathsSkipEmptySegments) {
    CRegistry product;
    product.ProductName = "Kolvanex";
    EXPECT_EQ(product.softwarePath(""), "SOFTWARE\\\\Kolvanex\\");
    ASSERT_EQ(product.WriteMachineInformationLong("", "HideOptions", 1), 0);
    EXPECT_TRUE(rawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kolvanex", "HideOptions").has_value());
    EXPECT_TRUE(GetNoOptions());
    ASSERT_EQ(product.WriteMachineInformationLong("", "HideOptions", 2), 0);
    EXPECT_FALSE(GetNoOptions());
    ASSERT_EQ(product.DeleteMachineInformationValue("", "HideOptions"), 0);
    EXPECT_FALSE(GetNoOptions());

    ASSERT_EQ(product.WriteUserInformationLong("A\\B", "n", -5, true), 0);
    Long value = 0;
    ASSERT_EQ(queryRegistryLong(HKEY_USERS, ".DEFAULT\\SOFTWARE\\Kolvanex\\A\\B", "n", value), 0);
    EXPECT_EQ(value, -5);

    CRegistry memory;
    memory.ProductName = "CurrentControlSet\\Control\\Session Manager\\Memory Management";
    ASSERT_EQ(memory.WriteMachineSYSTEMInformationLong("", "ClearPageFileAtShutdown", 1), 0);
    ASSERT_EQ(queryRegistryLong(HKEY_LOCAL_MACHINE,
                                "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory "
                                "Management",
                                "ClearPageFileAtShutdown", value),
              0);
    EXPECT_EQ(value, 1);
}

TEST_F(RegistryAccessTest, DeletingATreeRemovesEveryLevelAndMissingThingsAnswerNotFound) {
    const std::string base = "Software\\Kolvanex\\Tree";
    for (const auto& key : {base + "\\One\\Two", base + "\\One\\Three", base + "\\Four",
                            std::string("Software\\Kolvanex\\Keep")}) {
        ASSERT_EQ(kolvanex.WriteUserInformationLong(key, "x", 1).value(), 0) << key;
    }
    EXPECT_EQ(kolvanex.DeleteUserInformationKey(base).value(), 0);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, base));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Kolvanex\\Keep"));
    EXPECT_EQ(kolvanex.DeleteUserInformationKey(base).value(), 2);
    EXPECT_EQ(kolvanex.DeleteRegistryKey(hkcu, base).value(), 2);

    // Reads of what is missing answer 2 and an emptied value.
    Long value = 77;
    EXPECT_EQ(kolvanex.QueryUserInformationLong(base + "\\Four", "x", value).value(), 2);
    EXPECT_EQ(value, 0);
    std::string text = "stale";
    EXPECT_EQ(kolvanex.QueryUserInformationString(base, "x", text).value(), 2);
    EXPECT_EQ(text, "");
    EXPECT_EQ(kolvanex.DeleteRegistryValue(hkcu, "Software", "x").value(), 2);
}

TEST_F(RegistryAccessTest, ADeniedOpenIsNotTurnedIntoACreate) {
    const std::string path = "Software\\Locked";
    ASSERT_EQ(kolvanex.WriteUserInformationLong(path, "seed", 1).value(), 0);
    ASSERT_EQ(currentMachine().registry().setKeyReadOnly(HKEY_CURRENT_USER, path, true), 0);

    EXPECT_EQ(kolvanex.WriteUserInformationLong(path, "x", 2).value(), 5);
    EXPECT_EQ(kolvanex.WriteRegistryInformationLong(hkcu, path, "x", 2).value(), 5);
    // The text write tries to create the key on any failure; that is refused too.
    EXPECT_EQ(kolvanex.WriteRegistryInformationString(hkcu, path, "x", "y").value(), 5);
    EXPECT_FALSE(rawValue(HKEY_CURRENT_USER, path, "x").has_value());
    EXPECT_EQ(kolvanex.DeleteUserInformationKey(path).value(), 5);
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, path));

    // A missing key is created by the same writes.
    EXPECT_EQ(kolvanex.WriteUserInformationLong("Software\\Fresh\\Key", "x", 3).value(), 0);
    EXPECT_EQ(kolvanex.WriteRegistryInformationString(hkcu, "Software\\Fresh2", "s", " t ").value(),
              0);
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, "Software\\Fresh2", "s"), "t");
}

TEST_F(RegistryAccessTest, AutoStartAddsRemovesAndReportsAFailedWrite) {
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope scope(dialogs);
    const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

    ASSERT_TRUE(kolvanex.AutoStart(false, "", "Kolvanex"));  // nothing there: no message
    ASSERT_TRUE(kolvanex.AutoStart(true, " C:\\Programme\\Kolvanex\\kx.exe /min ", "Kolvanex"));
    EXPECT_EQ(rawValue(HKEY_CURRENT_USER, run, "Kolvanex"), "C:\\Programme\\Kolvanex\\kx.exe /min");
    ASSERT_TRUE(kolvanex.AutoStart(false, "", "kolvanex"));
    EXPECT_FALSE(rawValue(HKEY_CURRENT_USER, run, "Kolvanex").has_value());
    EXPECT_TRUE(dialogs.shown.empty());

    ASSERT_EQ(currentMachine().registry().setKeyReadOnly(HKEY_CURRENT_USER, run, true), 0);
    ASSERT_TRUE(kolvanex.KXAppTitle("Tarnkappe"));
    ASSERT_TRUE(kolvanex.AutoStart(true, "kx.exe", "Kolvanex"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, RegFailMsg() + "\rError: 5");
    EXPECT_EQ(dialogs.shown[0].flags, 0x1040u);
    EXPECT_EQ(dialogs.shown[0].title, "Tarnkappe");
    EXPECT_EQ(kolvanex.RegFailMsg().value(), RegFailMsg());
}

TEST(RegistryAccessNonAdminTest, MachineWritesAreDeniedAndChangeNothing) {
    resetShared();
    auto config = MachineConfig::defaults();
    config.administrator = false;
    test::TempMachine machine(config);
    CRegistry product;
    product.ProductName = "Kolvanex";
    EXPECT_EQ(product.WriteMachineInformationLong("", "HideOptions", 1), 5);
    EXPECT_EQ(product.WriteMachineInformationString("Sub", "x", "y"), 5);
    EXPECT_EQ(product.WriteMachineLongRaw("SOFTWARE\\Kolvanex", "x", 1), 5);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kolvanex"));
    EXPECT_FALSE(GetNoOptions());
    // Reading the machine's branch still works, and the user's own branch is writable.
    std::string name;
    EXPECT_EQ(
        queryRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                            "ProductName", name),
        0);
    EXPECT_EQ(name, "Microsoft Windows XP");
    EXPECT_EQ(product.WriteUserInformationString("", "x", "y", false), 0);
    EXPECT_EQ(CKOLVANEX{}
                  .DeleteRegistryKey(static_cast<Long>(HKEY_LOCAL_MACHINE), "SOFTWARE\\Microsoft")
                  .value(),
              5);
}

}  // namespace
}  // namespace kx::settings
