// What an English-speaking user reads from the shared services: the progress
// window, the line it shows for a registry file that is missing, and the
// message of a popup blocker that cannot start.
#include <gtest/gtest.h>

#include <string>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/processes.hpp"
#include "services/progress.hpp"
#include "support/language.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx {
namespace {

namespace ui = platform::ui;

class ServicesInEnglish : public ::testing::Test, protected test::ScriptedUi {
  protected:
    void SetUp() override {
        resetShared();
        ui::MessageLoop::current().setClock(&clock);
        ASSERT_TRUE(kolvanex.KXAppPath(kApp));
        machine.writeHostFile(machine.host(kApp) / ".keep", "");
    }
    void TearDown() override {
        (void)kolvanex.UnloadProgess();
        ui::MessageLoop::current().setClock(nullptr);
        resetShared();
    }

    const std::string kApp = "C:\\Programme\\Kolvanex";
    test::TempMachine machine;
    ui::ManualClock clock;
    CKOLVANEX kolvanex;
};

TEST_F(ServicesInEnglish, ProgressWindowAndMessagesSpeakEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    EXPECT_FALSE(kolvanex.RegEdit("C:\\Fehlt\\zones.reg").value());
    StartKXPopupKiller(" /STEP1");
    const auto window = existingProgressWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->lvLog->count(), 1u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    struct Case {
        std::string shown;
        std::string english;
    };
    for (const auto& c : {
             Case{window->lvLog->columns.front().text, "Action"},
             Case{window->cmdCan->caption, "Close"},
             Case{window->mnuClip->caption, "Copy the log to the clipboard"},
             Case{window->lvLog->items()[0]->text,
                  "C:\\Programme\\Kolvanex\\zones.tmp was not found!"},
             Case{dialogs.shown.front().text,
                  kApp + "\\KXPopup.exe\rcould not be started. Please install the program "
                         "again if necessary"},
         })
        EXPECT_EQ(c.shown, c.english);
}

}  // namespace
}  // namespace kx
