// What an English-speaking user reads in the settings dialog: its caption,
// tabs, boxes and labels, its tool tips, the messages of its checks, and the
// descriptions of the keys it edits.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "anonymity/shipped_files.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "options/frm_optionen.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/tool_tips.hpp"
#include "platform/ui/view.hpp"
#include "settings/key_info.hpp"
#include "support/language.hpp"
#include "support/temp_machine.hpp"

namespace kx::options {
namespace {

namespace ui = platform::ui;
namespace keys = settings::keys;

class SettingsDialogInEnglish : public ::testing::Test {
  protected:
    void SetUp() override {
        resetShared();
        ui::MessageLoop::current().setClock(&clock);
        std::filesystem::create_directories(tm.host(kApp));
        ASSERT_TRUE(anonymity::installShippedFiles(tm.machine(), kApp));
        shared().KXAppPath = kApp;
        (void)CKOLVANEX().KXAppTitle("Suite");
    }
    void TearDown() override {
        ui::MessageLoop::current().setClock(nullptr);
        resetShared();
    }

    const std::string kApp = "C:\\Programme\\Kolvanex";
    test::TempMachine tm;
    ui::ManualClock clock;
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope dialogScope{dialogs};
    ui::ScriptedView view;
    ui::ViewScope viewScope{view};
};

TEST_F(SettingsDialogInEnglish, TheDialogSpeaksEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    auto form = std::make_shared<frmOptionen>();
    form->load();
    const auto& f = *form;
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
