// The dialer check over a machine's phone book: which numbers are
// suspicious, the allowed numbers, the hang-up, the warning dialog's rows,
// removing entries with a failing deletion, and dialing.
#include "dialer/dialer_check.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/shared_state.hpp"
#include "dialer/dialup_entries.hpp"
#include "dialer/frm_dialer_list.hpp"
#include "facade/kolvanex.hpp"
#include "platform/network/dialup.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/view.hpp"
#include "settings/keys.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::dialer {
namespace {

namespace ui = platform::ui;
using Rows = std::vector<std::pair<std::string, std::string>>;

platform::MachineConfig withVersion(std::uint32_t platformId, std::uint32_t major,
                                    std::uint32_t minor) {
    auto c = platform::MachineConfig::defaults();
    c.version = {major, minor, 1998, platformId, ""};
    return c;
}

class DialerCheck : public ::testing::Test, protected test::ScriptedUi {
  protected:
    explicit DialerCheck(
        const platform::MachineConfig& config = platform::MachineConfig::defaults())
        : tm(config) {
        resetShared();
        // The scripted user reads the warning dialog's rows and closes it.
        view.onModal = [this](ui::Form& form) {
            auto& warning = dynamic_cast<frmDialerList&>(form);
            shownCaption = warning.caption;
            for (const auto& item : warning.lvDialer->items())
                rows.emplace_back(item->text, item->columnText(2));
            if (onWarning)
                onWarning(warning);
            else
                warning.cmdOK->click();
        };
    }
    ~DialerCheck() override { resetShared(); }

    void phoneBook(std::string_view text) {
        tm.writeHostFile(tm.host(platform::defaultPhoneBook(tm.machine())), text);
    }
    std::size_t check() {
        ui::ListView entries("lstDFUE");
        return checkForDialer(entries);
    }

    test::TempMachine tm;
    Rows rows;
    std::string shownCaption;
    std::function<void(frmDialerList&)> onWarning;
};

constexpr std::string_view kMixedBook =
    "[Hyphens]\r\nPhoneNumber=0190-123 456\r\n"
    "[Service]\r\nPhoneNumber=0900 5551234\r\n"
    "[Double]\r\nPhoneNumber=09009 1234\r\n"
    "[CallByCall]\r\nPhoneNumber=01033-030-1234\r\n"
    "[Auskunft]\r\nPhoneNumber=11880\r\n"
    "[AreaOnly]\r\nAreaCode=0190\r\nPhoneNumber=123456\r\n"
    "[Provider]\r\nPhoneNumber=0191011\r\n"
    "[NoNumber]\r\nDevice=ISDN\r\n";

TEST(DialerRules, PrefixesAreTestedOnTheDigitsOnly) {
    EXPECT_EQ(digitsOnly("0190-123 456"), "0190123456");
    EXPECT_EQ(digitsOnly("+49 (0)900"), "490900");
    const std::vector<std::string> none{""};
    for (const char* number : {"0190-12 34 56", "0900", "09009 1", "01033", "1188 0"})
        EXPECT_TRUE(isSuspiciousNumber(number, none)) << number;
    for (const char* number : {"019", "0191011", "0103", "+49 190 1", "", "118"})
        EXPECT_FALSE(isSuspiciousNumber(number, none)) << number;
    const std::vector<std::string> allowed{"0900111", "0190123456"};
    EXPECT_FALSE(isSuspiciousNumber("0190-123456", allowed));
    EXPECT_TRUE(isSuspiciousNumber("0190-123457", allowed));
    EXPECT_TRUE(isSuspiciousNumber("0900 11", allowed));  // compared whole, not as a prefix
}

TEST_F(DialerCheck, SuspiciousEntriesAreListedOnceWithTheirDigits) {
    phoneBook(kMixedBook);
    EXPECT_EQ(check(), 5u);
    EXPECT_EQ(rows, (Rows{{"Hyphens", "0190123456"},
                          {"Service", "09005551234"},
                          {"Double", "090091234"},
                          {"CallByCall", "010330301234"},
                          {"Auskunft", "11880"}}));
    EXPECT_EQ(shownCaption, "KOLVANEX 3 - Warnhinweis");
    EXPECT_EQ(view.count("modal", "frmDialerList"), 1u);
    EXPECT_EQ(cursor.current(), ui::MousePointer::Default);
    EXPECT_TRUE(dialogs.shown.empty());
    // OK deleted nothing: the next check lists them again.
    rows.clear();
    EXPECT_EQ(check(), 5u);
}

TEST_F(DialerCheck, AllowedNumbersMustMatchTheDigitsExactly) {
    phoneBook("[A]\r\nPhoneNumber=0190-123 456\r\n[B]\r\nPhoneNumber=0190 123 457\r\n");
    ASSERT_TRUE(settings::write(settings::keys::NoDialerNumbers, "0800123;0190123456"));
    EXPECT_EQ(check(), 1u);
    EXPECT_EQ(rows, (Rows{{"B", "0190123457"}}));
}

TEST_F(DialerCheck, NothingSuspiciousShowsNothingAndKeepsTheConnection) {
    phoneBook("[Provider]\r\nPhoneNumber=0191011\r\n");
    ASSERT_TRUE(CKOLVANEX().RASConnect(0, std::string("Provider"), true).value());
    EXPECT_TRUE(CKOLVANEX().KXCheckForDialer().has_value());
    EXPECT_EQ(view.count("modal"), 0u);
    EXPECT_EQ(activeConnectionNames(), std::vector<std::string>{"Provider"});
}

TEST_F(DialerCheck, AFindingHangsUpEveryConnectionAndAConnectedEntryIsListedTwice) {
    phoneBook("[Provider]\r\nPhoneNumber=0191011\r\n[Dialer]\r\nPhoneNumber=09001234\r\n");
    CKOLVANEX kolvanex;
    ASSERT_TRUE(kolvanex.RASConnect(0, std::string("Provider"), std::nullopt).value());
    ASSERT_TRUE(kolvanex.RASConnect(0, std::string("dialer"), false).value());
    EXPECT_FALSE(kolvanex.RASConnect(0, std::string("Fehlt"), true).value());
    EXPECT_FALSE(kolvanex.RASConnect(0, std::nullopt, std::nullopt).value());

    ui::ListView entries("lstDFUE");
    entries.add("stale");
    EXPECT_EQ(checkForDialer(entries), 2u);
    ASSERT_EQ(entries.count(), 4u);  // cleared, two entries, two connections
    EXPECT_EQ(entries.item(0)->text, "Provider");
    EXPECT_EQ(entries.item(3)->text, "Dialer");
    EXPECT_EQ(rows, (Rows{{"Dialer", "09001234"}, {"Dialer", "09001234"}}));
    EXPECT_TRUE(activeConnectionNames().empty());
}

TEST_F(DialerCheck, HangUpByNameLeavesTheOthers) {
    phoneBook("[A]\r\nPhoneNumber=1\r\n[B]\r\nPhoneNumber=2\r\n");
    ASSERT_TRUE(RASConnect(0, "A", true));
    ASSERT_TRUE(RASConnect(0, "B", true));
    hangUp(false, "a");
    EXPECT_EQ(activeConnectionNames(), std::vector<std::string>{"B"});
    hangUp(true);
    EXPECT_TRUE(activeConnectionNames().empty());
    hangUp(true);  // nothing active: nothing happens
}

TEST_F(DialerCheck, RemovingEntriesWithAFailingDeletion) {
    phoneBook("[Dialer]\r\nPhoneNumber=0190 1\r\n[Provider]\r\nPhoneNumber=0191011\r\n");
    ASSERT_TRUE(CKOLVANEX().KXAppTitle(std::string("Acme")));
    // The same entry in two rows: the second deletion finds nothing.
    onWarning = [this](frmDialerList& warning) {
        warning.addFinding("Dialer", "01901");
        EXPECT_FALSE(warning.removeEntries());
        EXPECT_TRUE(warning.isLoaded());
        EXPECT_EQ(warning.lvDialer->count(), 2u);
        warning.cmdOK->click();
    };
    EXPECT_EQ(check(), 1u);
    EXPECT_EQ(shownCaption, "Acme - Warnhinweis");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Der Telefonbucheintrag für diese Verbindung wurde nicht gefunden.");
    EXPECT_EQ(dialogs.shown[0].title, "Acme");
    EXPECT_EQ(dialogs.shown[0].flags, 4144u);
    EXPECT_EQ(dialupEntryNames(), std::vector<std::string>{"Provider"});
}

TEST_F(DialerCheck, RemovingEveryEntryConfirmsAndCloses) {
    phoneBook("[Dialer]\r\nPhoneNumber=0190 1\r\n[Zwei]\r\nPhoneNumber=0900 2\r\n");
    onWarning = [](frmDialerList& warning) { warning.cmdRemove->click(); };
    EXPECT_EQ(check(), 2u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Die verdächtigen DFÜ Verbindungen wurden entfernt. Kolvanex wiederholt die Prüfung "
              "auf verdächtige Verbindungen bei jedem Reinigungsvorgang");
    EXPECT_EQ(dialogs.shown[0].flags, 4160u);
    EXPECT_TRUE(dialupEntryNames().empty());
    EXPECT_EQ(view.count("close", "frmDialerList"), 1u);
}

TEST(DialerUser, ADeletionTheUserMayNotMakeShowsTheSystemsText) {
    auto config = platform::MachineConfig::defaults();
    config.administrator = false;
    test::TempMachine tm(config);
    ui::ScriptedView view;
    ui::ViewScope viewScope(view);
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope scope(dialogs);
    tm.writeHostFile(tm.host(platform::defaultPhoneBook(tm.machine())),
                     "[Dialer]\r\nPhoneNumber=0190 1\r\n");
    frmDialerList warning;
    warning.load();
    warning.addFinding("Dialer", "01901");
    warning.cmdRemove->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Zugriff verweigert\r\n");
    EXPECT_TRUE(warning.isLoaded());
    EXPECT_EQ(dialupEntryNames(), std::vector<std::string>{"Dialer"});
}

class DialerCheckNT : public DialerCheck {
  protected:
    DialerCheckNT() : DialerCheck(withVersion(2, 4, 0)) {}
};

TEST_F(DialerCheckNT, WindowsNTShowsNothing) {
    phoneBook("[Dialer]\r\nPhoneNumber=0190 1\r\n");
    EXPECT_EQ(check(), 0u);
    EXPECT_EQ(enumerateEntries(), 0u);
    EXPECT_EQ(view.count("modal"), 0u);
}

class DialerCheck98 : public DialerCheck {
  protected:
    DialerCheck98() : DialerCheck(withVersion(1, 4, 10)) {}
};

TEST_F(DialerCheck98, TheSmallerRecordCarriesThePhoneBookAskedFor) {
    phoneBook(
        "[Dialer]\r\nPhoneNumber=0190 1\r\nDevice=Modem mit einem Namen über 32 Zeichen "
        "Länge\r\n");
    ASSERT_EQ(enumerateEntries(), 1u);
    EXPECT_EQ(dialupEntries()[0].name, "Dialer");
    EXPECT_EQ(dialupEntries()[0].phoneBook, "");
    EXPECT_EQ(dialupEntries()[0].flags, 0);
    const auto book = platform::defaultPhoneBook(tm.machine());
    ASSERT_EQ(enumerateEntries(book), 1u);
    EXPECT_EQ(dialupEntries()[0].phoneBook, book);

    const auto p = entryProperties("Dialer");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->localPhoneNumber, "0190 1");
    EXPECT_EQ(p->deviceName.size(), 32u);
    EXPECT_EQ(check(), 1u);
}

TEST_F(DialerCheck, TheLargeRecordCarriesFlagsAndPhoneBook) {
    phoneBook("[Dialer]\r\nPhoneNumber=0190 1\r\nAreaCode=030\r\nCountryCode=49\r\n");
    ASSERT_EQ(enumerateEntries(), 1u);
    EXPECT_EQ(dialupEntries()[0].flags, 1);
    EXPECT_EQ(dialupEntries()[0].phoneBook, platform::defaultPhoneBook(tm.machine()));
    const auto p = entryProperties("dialer");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->areaCode, "030");
    EXPECT_EQ(p->countryCode, 49u);
    EXPECT_EQ(p->deviceType, "modem");
    EXPECT_FALSE(entryProperties("Fehlt"));

    ui::ListView list("lst");
    list.add("vorher");
    fillEntryList(list);
    ASSERT_EQ(list.count(), 2u);  // not cleared
    EXPECT_EQ(list.selectedIndex(), 0u);
}

}  // namespace
}  // namespace kx::dialer
