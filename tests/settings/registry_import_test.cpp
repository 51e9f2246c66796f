#include "services/registry_import.hpp"

#include <gtest/gtest.h>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/processes/shell.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
#include "services/progress.hpp"
#include "settings/registry_access.hpp"
#include "support/temp_machine.hpp"

namespace kx::settings {
namespace {

namespace ui = platform::ui;

class RegEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetShared();
        ui::MessageLoop::current().setClock(&clock);
        ASSERT_TRUE(kolvanex.KXAppPath("C:\\Programme\\Kolvanex"));
        machine.writeHostFile(machine.host("C:\\Programme\\Kolvanex") / ".keep", "");
    }
    void TearDown() override {
        (void)kolvanex.UnloadProgess();
        ui::MessageLoop::current().setClock(nullptr);
        resetShared();
    }

    test::TempMachine machine;
    ui::ManualClock clock;
    ui::ScriptedView view;
    ui::ViewScope viewScope{view};
    CKOLVANEX kolvanex;
};

TEST_F(RegEditTest, ImportsSilentlyThroughACopyThatIsRemovedAfterASecond) {
    const auto folder = machine.host("C:\\Programme\\Kolvanex");
    machine.writeHostFile(machine.host("C:\\") / "Zones High.REG",
                          "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Zonen]\r\n"
                          "\"Stufe\"=dword:00000004\r\n");
    EXPECT_TRUE(kolvanex.RegEdit("C:\\Zones High.REG").value());
    Long level = 0;
    EXPECT_EQ(queryRegistryLong(platform::HKEY_CURRENT_USER, "Software\\Zonen", "Stufe", level), 0);
    EXPECT_EQ(level, 4);
    EXPECT_FALSE(std::filesystem::exists(folder / "zones high.tmp"));
    EXPECT_FALSE(kolvanex.IsProgressVisible().value());  // no status line on success

    // The editor's command line; every ".reg" leaves the copy's name. A file
    // of the user's with that name is neither replaced nor removed.
    machine.writeHostFile(folder / "a.tmp", "mine");
    platform::RecordingShell shell;
    platform::ShellScope scope(shell);
    machine.writeHostFile(machine.host("C:\\") / "a.reg.reg", "REGEDIT4\r\n");
    const auto before = clock.now();
    EXPECT_TRUE(kolvanex.RegEdit("C:\\A.REG.reg").value());
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, "regedit.exe");
    EXPECT_EQ(shell.calls[0].parameters, " /s \"C:\\Programme\\Kolvanex\\a1.tmp\"");
    EXPECT_EQ(shell.calls[0].showCommand, 1);
    // The copy lives a second, then goes, whether or not the editor used it.
    EXPECT_GE((clock.now() - before).count(), 1000);
    EXPECT_FALSE(std::filesystem::exists(folder / "a1.tmp"));
    EXPECT_EQ(test::TempMachine::readHostFile(folder / "a.tmp"), "mine");
}

TEST_F(RegEditTest, AMissingFileIsReportedAndTheWindowClosesItself) {
    EXPECT_FALSE(kolvanex.RegEdit("C:\\Fehlt\\zones.reg").value());
    auto window = existingProgressWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->lvLog->count(), 1u);
    EXPECT_EQ(window->lvLog->items()[0]->text,
              "C:\\Programme\\Kolvanex\\zones.tmp wurde nicht gefunden!");
    EXPECT_TRUE(window->tmrClose->running());
    clock.advance(ui::Millis(5000));
    ui::yield();
    EXPECT_FALSE(kolvanex.IsProgressVisible().value());
}

}  // namespace
}  // namespace kx::settings
