#include "settings/settings_store.hpp"

#include <gtest/gtest.h>

#include <set>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/runtime/text.hpp"
#include "settings/keys.hpp"
#include "support/temp_machine.hpp"

namespace kx::settings {
namespace {

using keys::BrowserIsIE;

class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override { resetShared(); }
    test::TempMachine machine;
};

TEST_F(SettingsStoreTest, AnEmptyStoreAnswersTheReadersDefaultsAndStaysEmpty) {
    for (const auto* key : {&keys::Cookies, &keys::History, &keys::TempFiles, &keys::INetTempFiles,
                            &keys::Recent, &keys::Trashcan, &keys::Autostart}) {
        EXPECT_EQ(read(*key), "1") << key->name;
    }
    EXPECT_EQ(read(keys::DeleteN), "3");
    EXPECT_EQ(read(keys::DeleteValue), "246");
    for (const auto* key : {&BrowserIsIE, &keys::IEPopKillerStep1, &keys::IEPopSound})
        EXPECT_TRUE(readBool(*key)) << key->name;
    for (const auto* key : {&keys::BrowserIsOpera, &keys::IEPopKillerOff})
        EXPECT_FALSE(readBool(*key)) << key->name;

    // The cleaning and deletion steps read two keys with other defaults: an
    // empty store neither empties the recycle bin nor encrypts before erasing.
    EXPECT_FALSE(readBool(keys::Trashcan, Reader::Engine));
    EXPECT_FALSE(readBool(keys::Encrypt, Reader::Engine));
    EXPECT_TRUE(readBool(keys::Encrypt, Reader::Dialog));
    EXPECT_EQ(read(keys::StatFiles, Reader::Dialog), "0");
    EXPECT_EQ(read(keys::StatFiles, Reader::Engine), "");

    // Reading never fills the store with defaults.
    EXPECT_TRUE(GetSections(applicationName()).empty());

    // Once saved, both readers follow what was saved.
    ASSERT_TRUE(write(keys::Trashcan, "1"));
    ASSERT_TRUE(write(keys::Encrypt, "0"));
    EXPECT_TRUE(readBool(keys::Trashcan, Reader::Engine));
    EXPECT_FALSE(readBool(keys::Encrypt, Reader::Dialog));
}

TEST_F(SettingsStoreTest, ThePartnerEditionDefaultsOff) {
    ASSERT_TRUE(CKOLVANEX{}.KXAppTitle("Orvantel"));
    EXPECT_EQ(read(keys::Autostart), "0");
    EXPECT_TRUE(readBool(keys::IEPopKillerOff));
    EXPECT_FALSE(readBool(keys::IEPopKillerStep1));
    // The popup blocker's own start keeps the usual defaults.
    EXPECT_TRUE(readBool(keys::IEPopKillerStep1, Reader::Engine));
    EXPECT_FALSE(readBool(keys::IEPopKillerOff, Reader::Engine));
}

TEST_F(SettingsStoreTest, NamesCompareWithoutCaseAndLiveWhereTheRuntimeKeepsThem) {
    ASSERT_TRUE(SaveSetting("Kolvanex", "Options", "BrowserIsMozillaFirefox", "True"));
    EXPECT_TRUE(readBool(keys::BrowserIsMozillaFireFox));
    EXPECT_EQ(GetSetting("KOLVANEX", "options", "BROWSERISMOZILLAFIREFOX", "x"), "True");

    std::string stored;
    ASSERT_TRUE(
        CKOLVANEX{}
            .QueryUserInformationString("Software\\VB and VBA Program Settings\\Kolvanex\\Options",
                                        "BrowserIsMozillaFireFox", stored)
            .value() == 0);
    EXPECT_EQ(stored, "True");

    // Overwriting keeps one value, whichever spelling wrote it.
    ASSERT_TRUE(SaveSetting("Kolvanex", "OPTIONS", "browserismozillafirefox", "False"));
    const auto all = GetAllSettings("Kolvanex", "Options");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].second, "False");
}

TEST_F(SettingsStoreTest, ANewTitleMovesEveryReadAndWriteButTheCheckerExchange) {
    ASSERT_TRUE(write(keys::DeleteN, "9"));
    ASSERT_TRUE(CKOLVANEX{}.KXAppTitle("Tarnkappe"));
    EXPECT_EQ(read(keys::DeleteN), "3");  // defaults again: the old values are not seen
    ASSERT_TRUE(write(keys::DeleteN, "5"));
    EXPECT_EQ(GetSetting("Tarnkappe", "Options", "DeleteN", ""), "5");

    ASSERT_TRUE(writeChecker(keys::CheckerResult, "OK"));
    EXPECT_EQ(GetSetting("kolvanex", "kxchecker", "result", ""), "OK");
    EXPECT_EQ(readChecker(keys::CheckerResult), "OK");
    EXPECT_EQ(GetSetting("Tarnkappe", "kxchecker", "result", "none"), "none");

    ASSERT_TRUE(CKOLVANEX{}.KXAppTitle("Kolvanex"));
    EXPECT_EQ(read(keys::DeleteN), "9");
}

TEST_F(SettingsStoreTest, TextIsKeptAsGivenAndNotRepaired) {
    ASSERT_TRUE(write(keys::DeleteN, "drei"));
    EXPECT_EQ(read(keys::DeleteN), "drei");
    ASSERT_TRUE(write(keys::Cookies, "x1"));
    EXPECT_FALSE(readBool(keys::Cookies));  // a check state that is no number is not set
    ASSERT_TRUE(write(keys::Cookies, "2"));
    EXPECT_TRUE(readBool(keys::Cookies));
    ASSERT_TRUE(write(keys::NoDialerNumbers, "  0190 123; Ümlaut  "));
    EXPECT_EQ(read(keys::NoDialerNumbers), "  0190 123; Ümlaut  ");
    ASSERT_TRUE(write(keys::AnonymIP, ""));
    EXPECT_EQ(read(keys::AnonymIP, "fallback"), "");  // an empty value is a value

    DeleteSetting("Kolvanex", "Options", "AnonymIP");
    EXPECT_EQ(read(keys::AnonymIP, "fallback"), "fallback");
}

TEST_F(SettingsStoreTest, TheKeyTableKnowsEveryKeyOnce) {
    std::set<std::pair<std::string, std::string>> seen;
    for (const auto* key : allKeys()) {
        EXPECT_TRUE(
            seen.emplace(platform::vbLCase(key->section), platform::vbLCase(key->name)).second)
            << key->name;
    }
    EXPECT_EQ(findKey("options", "browserismozillafirefox"), &keys::BrowserIsMozillaFireFox);
    EXPECT_EQ(findKey("Options", "NoSuchKey"), nullptr);
}

}  // namespace
}  // namespace kx::settings
