// The settings dialog as a user drives it: what an empty store shows, the
// rules between its controls, the checks before OK stores anything, and what
// OK stores and applies (sessions of another browser ended, start-with-
// Windows entries, the popup blocker restarted, the Flash switch, the
// exception list).
#include "options/frm_optionen.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "anonymity/shipped_files.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/processes/desktop.hpp"
#include "platform/processes/shell.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/tool_tips.hpp"
#include "platform/ui/view.hpp"
#include "services/processes.hpp"
#include "settings/key_info.hpp"
#include "settings/keys.hpp"
#include "settings/registry_access.hpp"
#include "settings/settings_store.hpp"
#include "support/language.hpp"
#include "support/programs.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::options {
namespace {

namespace ui = platform::ui;
namespace keys = settings::keys;
using kx::test::TempMachine;

const std::string kApp = "C:\\Programme\\Kolvanex";
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kFlashKey =
    "SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX "
    "Compatibility\\{D27CDB6E-AE6D-11cf-96B8-444553540000}";

platform::MachineConfig windowsNT() {
    auto c = platform::MachineConfig::defaults();
    c.version = {4, 0, 1381, 2, ""};
    return c;
}

class SettingsDialog : public ::testing::Test, protected test::ScriptedUi {
  protected:
    explicit SettingsDialog(
        const platform::MachineConfig& config = platform::MachineConfig::defaults())
        : tm(config) {}
    void SetUp() override {
        resetShared();
        ui::MessageLoop::current().setClock(&clock);
        std::filesystem::create_directories(tm.host(kApp));
        ASSERT_TRUE(anonymity::installShippedFiles(tm.machine(), kApp));
        shared().KXAppPath = kApp;
    }
    void TearDown() override {
        ui::MessageLoop::current().setClock(nullptr);
        resetShared();
    }
    frmOptionen& open() {
        form = std::make_shared<frmOptionen>();
        form->load();
        return *form;
    }
    // What the store holds, or "-" for a key it does not hold.
    static std::string stored(const settings::SettingKey& key) {
        return settings::GetSetting(settings::applicationName(), key.section, key.name, "-");
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& shown : dialogs.shown) texts.push_back(shown.text);
        return texts;
    }
    static std::string runEntry(const std::string& entry) {
        std::string value;
        settings::queryRegistryString(platform::HKEY_CURRENT_USER, kRun, entry, value);
        return value;
    }

    TempMachine tm;
    ui::ManualClock clock;
    std::shared_ptr<frmOptionen> form;
};

TEST_F(SettingsDialog, AnEmptyStoreShowsTheDialogDefaults) {
    struct Case {
        const char* title;
        bool popupOff;
        std::int16_t autostart;
    };
    for (const auto& c : {Case{"Kolvanex", false, 1}, Case{"Orvantel", true, 0}}) {
        CKOLVANEX().KXAppTitle(c.title);
        auto& f = open();
        for (const auto* box : {f.chkCookies.get(), f.chkHistory.get(), f.chkTemporaere.get(),
                                f.chkTemporaereINet.get(), f.chkVerlauf.get(), f.chkTrash.get()})
            EXPECT_EQ(box->value, 1) << c.title << " " << box->name();
        EXPECT_EQ(f.chkGutmann->value, 0);
        EXPECT_EQ(f.txtN->text, "3");
        EXPECT_EQ(f.txtValue->text, "246");
        EXPECT_TRUE(f.optIE->value);
        EXPECT_EQ(f.slAnoMeter->value(), 2);
        EXPECT_EQ(f.lblDialerCheckTime->caption,
                  "Alle 60 &Sekunden auf 0190er/0900er Dialer prüfen");
        EXPECT_EQ(f.optPopOff->value, c.popupOff) << c.title;
        EXPECT_EQ(f.optPopupStep1->value, !c.popupOff) << c.title;
        EXPECT_EQ(f.chkPopSound->value, 1);
        EXPECT_EQ(f.chkAutoStart->value, c.autostart) << c.title;
        EXPECT_EQ(f.chkNoStatus->enabled, c.autostart == 1) << c.title;
        EXPECT_EQ(f.tsTab->tabs.size(), 6u);
        EXPECT_EQ(f.caption, std::string(c.title) + " - Einstellungen");
        const auto meterTip = ui::toolTips().find(*f.slAnoMeter);
        const auto proxyTip = ui::toolTips().find(*f.cmdSetProxy);
        ASSERT_TRUE(meterTip && proxyTip);
        EXPECT_EQ(meterTip->title, "Information");
        EXPECT_NE(proxyTip->text.find(c.title), std::string::npos);
        f.unload();
    }
}

TEST_F(SettingsDialog, ClicksKeepTheDependentControlsInLine) {
    auto& f = open();
    struct Step {
        const char* what;
        std::function<void()> act;
        std::function<bool()> expect;
    };
    const Step steps[] = {
        {"autostart off", [&] { f.chkAutoStart->click(); },
         [&] { return f.chkNoStatus->value == 0 && !f.chkNoStatus->enabled; }},
        {"autostart on", [&] { f.chkAutoStart->click(); }, [&] { return f.chkNoStatus->enabled; }},
        {"Gutmann ends the safety mode", [&] { f.chkGutmann->click(); },
         [&] {
             return f.chkSecurityMode->value == 0 && f.chkCrypt->value == 0 &&
                    !f.chkCrypt->enabled && !f.chkDeleteIt->enabled && !f.txtN->enabled &&
                    !f.lblN[0]->enabled;
         }},
        {"safety mode ends Gutmann", [&] { f.chkSecurityMode->click(); },
         [&] { return f.chkGutmann->value == 0 && f.chkCrypt->enabled && f.chkDeleteIt->enabled; }},
        {"overwrite on", [&] { f.chkDeleteIt->click(); }, [&] { return f.txtN->enabled; }},
        {"Opera", [&] { f.optOpera->click(); },
         [&] { return f.chkIEToolbar->value == 0 && !f.chkIEToolbar->enabled; }},
        {"Internet Explorer again", [&] { f.optIE->click(); },
         [&] { return f.chkIEToolbar->value == 0 && f.chkIEToolbar->enabled; }},
        {"dialer slider", [&] { f.slDialerCheckTime->slide(120); },
         [&] {
             return f.lblDialerCheckTime->caption ==
                    "Alle 120 &Sekunden auf 0190er/0900er Dialer prüfen";
         }},
        {"tab 3", [&] { f.tsTab->select(3); },
         [&] {
             return f.shownPage() == 3 && f.picContainer[2]->visible && !f.picContainer[0]->visible;
         }},
        {"Ctrl+Shift+Tab", [&] { f.keyDown(ui::vbKeyTab, ui::vbCtrlMask | ui::vbShiftMask); },
         [&] { return f.shownPage() == 2 && f.tsTab->selectedIndex == 2; }},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_TRUE(step.expect()) << step.what;
    }
}

TEST_F(SettingsDialog, BadNumbersAndNoCleaningBoxKeepTheDialogOpenAndStoreNothing) {
    struct Case {
        const char* n;
        const char* value;
        bool clearBoxes;
        std::string_view message;
    };
    for (const auto& c :
         {Case{"0", "246", false, kRangeN}, Case{"100", "246", false, kRangeN},
          Case{"drei", "246", false, kRangeN}, Case{"3", "256", false, kRangeValue},
          Case{"3", "-1", false, kRangeValue}, Case{"3", "246", true, kChooseOne}}) {
        dialogs.shown.clear();
        auto& f = open();
        f.txtN->setText(c.n);
        f.txtValue->setText(c.value);
        if (c.clearBoxes) {
            for (const auto& control : f.controls)
                if (auto box = std::dynamic_pointer_cast<ui::CheckBox>(control);
                    box && box->tag == kCleaningTag)
                    box->setValue(0);
        }
        f.cmdOK->click();
        EXPECT_EQ(messages(), std::vector<std::string>{std::string(c.message)}) << c.n << c.value;
        EXPECT_TRUE(f.isLoaded());
        EXPECT_EQ(stored(keys::DeleteN), "-");
        EXPECT_EQ(stored(keys::Cookies), "-");
        f.unload();
    }
    // Leaving the field runs the same check and keeps the focus there.
    auto& f = open();
    dialogs.shown.clear();
    f.txtN->setText("0");
    f.txtN->LostFocus();
    EXPECT_EQ(messages(), std::vector<std::string>{std::string(kRangeN)});
    EXPECT_EQ(ui::focusedControl(), f.txtN.get());
    ui::setFocusedControl(nullptr);
}

TEST_F(SettingsDialog, MovingTheProxyMeterAboveOneForgetsTheManualProxyAtOnce) {
    ASSERT_TRUE(settings::write(keys::AnonymIP, "10.0.0.1"));
    ASSERT_TRUE(settings::write(keys::AnonymPort, "8080"));
    auto& f = open();
    EXPECT_EQ(stored(keys::AnonymIP), "10.0.0.1");  // loading moves nothing
    f.slAnoMeter->slide(1);
    EXPECT_EQ(stored(keys::AnonymIP), "10.0.0.1");
    f.slAnoMeter->slide(3);
    EXPECT_EQ(stored(keys::AnonymIP), "");
    EXPECT_EQ(stored(keys::AnonymPort), "");
}

TEST_F(SettingsDialog, OkStoresTheChoicesAndEndsSessionsOnlyWhenTheBrowserChanged) {
    for (const bool change : {false, true}) {
        ASSERT_TRUE(settings::write(keys::AnoSession, "1"));
        ASSERT_TRUE(settings::write(keys::SafeSession, "1"));
        auto& f = open();
        if (change)
            f.optMozillaFireFox->click();
        f.chkSecurityMode->setValue(0);  // neither "Security" nor "Encrypt"
        f.chkTrash->setValue(0);
        f.slAnoMeter->slide(4);
        ASSERT_TRUE(f.save()) << messages().front();
        EXPECT_FALSE(f.isLoaded());
        EXPECT_EQ(stored(keys::AnoSession), change ? "0" : "1");
        EXPECT_EQ(stored(keys::SafeSession), change ? "0" : "1");
        EXPECT_EQ(settings::GetSetting(settings::applicationName(), "Options",
                                       "BrowserIsMozillaFirefox", "-"),
                  change ? "True" : "False");
        EXPECT_EQ(stored(keys::BrowserIsIE), change ? "False" : "True");
        EXPECT_EQ(stored(keys::Security), "0");
        EXPECT_EQ(stored(keys::SecurityMode), "0");
        EXPECT_EQ(stored(keys::Encrypt), "0");
        EXPECT_EQ(stored(keys::Trashcan), "0");
        EXPECT_EQ(stored(keys::NProxys), "4");
        EXPECT_EQ(stored(keys::DeleteValue), "246");
        EXPECT_EQ(stored(keys::Proxylist), "");
        EXPECT_EQ(stored(keys::DialerCheckTime), "60");
    }
    // The start-with-Windows entries of the program and the popup blocker.
    EXPECT_EQ(runEntry("Kolvanex"), kApp + "\\Kolvanex.Exe /AUTO");
    EXPECT_EQ(runEntry("Kolvanex Popupblocker"), kApp + "\\KXPopup.Exe /STEP1 /SOUND");
    auto& f = open();
    f.chkAutoStart->click();
    f.optPopOff->click();
    ASSERT_TRUE(f.save());
    EXPECT_EQ(runEntry("Kolvanex"), "");
    EXPECT_EQ(runEntry("Kolvanex Popupblocker"), "");
}

TEST_F(SettingsDialog, OkAppliesTheFlashSwitchAndRestartsThePopupBlocker) {
    test::installProgram(tm, kApp + "\\KXPopup.Exe", test::companionBinary("KXPopup.Exe"));
    const struct {
        bool noFlash;
        const char* blocker;  // the option chosen, with the sound
        Long flags;
        const char* runningWith;  // the restarted blocker's step, or none
    } cases[] = {
        {true, "optPopupStep2", 0x400, "STEP2"},
        {false, "optPopOff", 0, nullptr},
    };
    for (const auto& c : cases) {
        // A blocker runs with the old settings.
        StartKXPopupKiller(" /STEP1");
        platform::HWND old = 0;
        ASSERT_TRUE(test::waitUntil([&] { return (old = GetKXPopupKillerHandle()) != 0; }));
        auto& f = open();
        f.chkNoFlash->setValue(c.noFlash ? 1 : 0);
        f.find<ui::OptionButton>(c.blocker)->click();
        f.chkPopSound->setValue(1);
        ASSERT_TRUE(f.save());

        Long flags = -1;
        settings::queryRegistryLong(platform::HKEY_LOCAL_MACHINE, kFlashKey, "Compatibility Flags",
                                    flags);
        EXPECT_EQ(flags, c.flags) << c.blocker;
        EXPECT_TRUE(test::waitUntil([&] { return !platform::IsWindow(old); })) << c.blocker;
        platform::HWND now = 0;
        if (c.runningWith == nullptr) {
            EXPECT_EQ(GetKXPopupKillerHandle(), 0);
            continue;
        }
        ASSERT_TRUE(test::waitUntil([&] { return (now = GetKXPopupKillerHandle()) != 0; }));
        EXPECT_EQ(platform::GetPropA(now, c.runningWith), 1);
        EXPECT_EQ(platform::GetPropA(now, "SOUND"), 1);
        CloseKXPopupKiller();
        EXPECT_TRUE(test::waitUntil([&] { return !platform::IsWindow(now); }));
    }
    EXPECT_TRUE(dialogs.shown.empty()) << messages().front();
}

TEST_F(SettingsDialog, F1IsSwallowedAndOpensTheHelpForTheDialog) {
    platform::RecordingShell shell;
    platform::ShellScope shellScope(shell);
    auto& f = open();
    EXPECT_EQ(f.keyDown(ui::vbKeyF1, 0), 0);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].owner, f.hWnd);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_FALSE(shell.calls[0].file.empty());
}

TEST_F(SettingsDialog, TheExceptionListIsEditedAndWrittenBack) {
    tm.writeHostFile(tm.host(kApp) / "alist.txt", "*.doc\r\nbank*\r\n");
    auto& f = open();
    ASSERT_EQ(f.lvAusnahmen->count(), 2u);
    view.onModal = [](ui::Form& modal) {
        auto& select = dynamic_cast<frmFileSelect&>(modal);
        select.txtName->setText("geheim.txt");
        select.cmdOK->click();
    };
    f.cmdAdd->click();
    f.cmdRemove->click();  // nothing selected: nothing goes
    f.lvAusnahmen->clickItem(0);
    f.cmdRemove->click();
    ASSERT_TRUE(f.save());
    EXPECT_EQ(TempMachine::readHostFile(tm.host(kApp) / "alist.txt"), "bank*\r\ngeheim.txt\r\n");
}

class SettingsDialogOnNT : public SettingsDialog {
  protected:
    SettingsDialogOnNT() : SettingsDialog(windowsNT()) {}
};

TEST_F(SettingsDialogOnNT, TheDialerPageIsMissingAndThePopupPageIsTabFive) {
    int shownTab = 0, shownPage = 0;
    std::size_t tabs = 0;
    view.onModal = [&](ui::Form& modal) {
        auto& f = dynamic_cast<frmOptionen&>(modal);
        shownTab = f.tsTab->selectedIndex;
        shownPage = f.shownPage();
        tabs = f.tsTab->tabs.size();
        f.cmdCan->click();
    };
    ASSERT_TRUE(CKOLVANEX().ShowOptionenPopupBlocker());
    EXPECT_EQ(tabs, 5u);
    EXPECT_EQ(shownTab, 5);
    EXPECT_EQ(shownPage, 6);
    EXPECT_EQ(stored(keys::Cookies), "-");  // closed without saving
}

// What an English-speaking user reads: captions, tabs, labels, a tool tip, a
// key's description and the message of a check.
TEST_F(SettingsDialog, TheDialogSpeaksEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    CKOLVANEX().KXAppTitle("Suite");
    const auto& f = open();
    const auto proxyTip = ui::toolTips().find(*f.cmdSetProxy);
    ASSERT_TRUE(proxyTip);
    struct Case {
        std::string shown;
        std::string english;
    };
    for (const auto& c : {
             Case{f.caption, "Suite - Settings"},
             Case{f.tsTab->tabs.front(), "&Internet tracks"},
             Case{f.tsTab->tabs.back(), "IE popup b&locker"},
             Case{f.chkCookies->caption, "Delete &cookies"},
             Case{f.fraBlock->caption, "Block && scan"},
             Case{f.lblDialerCheckTime->caption, "Check for 0190/0900 dialers every 60 &seconds"},
             Case{f.cmdCan->caption, "Close"},
             Case{proxyTip->text.substr(proxyTip->text.find("as Suite")),
                  "as Suite searches automatically for the fastest proxy servers available at "
                  "the moment."},
             Case{std::string(platform::tr(settings::infoOf(keys::DeleteN).description)),
                  "how often a file is overwritten before it is erased"},
         })
        EXPECT_EQ(c.shown, c.english);

    // A bad number is refused in English.
    form->txtN->setText("0");
    form->cmdOK->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown.front().text, "Valid entries lie in the range from 1 to 99!");
    form->unload();
}

}  // namespace
}  // namespace kx::options
