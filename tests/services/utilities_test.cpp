#include "services/utilities.hpp"

#include <gtest/gtest.h>

#include <array>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/processes/shell.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/windows.hpp"

namespace kx {
namespace {

namespace ui = platform::ui;

class UtilitiesTest : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override { resetShared(); }
};

TEST_F(UtilitiesTest, TabSwitchingWrapsBothWays) {
    ui::TabStrip strip("ts");
    strip.tabs = {"a", "b", "c", "d"};
    strip.selectedIndex = 4;
    // Ctrl+Tab forward, Ctrl+Shift+Tab back, wrapping at either end.
    const std::pair<Integer, Long> steps[] = {{2, 1}, {2, 2}, {3, 1}, {3, 4}};
    for (const auto& [shift, index] : steps) {
        ChangeTabControl(strip, 9, shift);
        EXPECT_EQ(strip.selectedIndex, index) << shift;
    }
    ChangeTabControl(strip, 9, 0);   // Tab without Ctrl
    ChangeTabControl(strip, 13, 2);  // another key
    ChangeTabControl(strip, 9, 1);   // Shift only
    EXPECT_EQ(strip.selectedIndex, 4);
}

TEST_F(UtilitiesTest, FormMaximizeLeavesTheTaskBarFree) {
    auto& screen = ui::screenMetrics();
    const auto saved = screen;
    ui::Form form("f");

    struct Case {
        const char* taskBar;
        ui::RECT workArea;
        int twips, left, top, width, height;
    };
    for (const auto& c : {Case{"top", {0, 30, 1024, 768}, 15, 0, 30, 1024, 738},
                          Case{"bottom", {0, 0, 1024, 738}, 15, 0, 0, 1024, 738},
                          Case{"left", {40, 0, 1024, 768}, 12, 40, 0, 984, 768}}) {
        screen.workArea = c.workArea;
        screen.twipsPerPixelX = c.twips;
        FormMaximize(form);
        EXPECT_EQ((std::array{form.left, form.top, form.width, form.height}),
                  (std::array{c.left * c.twips, c.top * 15, c.width * c.twips, c.height * 15}))
            << c.taskBar;
    }
    screen = saved;
}

TEST_F(UtilitiesTest, CaptionAndTopmostRules) {
    EXPECT_EQ(applyCaptionRule("KOLVANEX 3 - Einstellungen"), "KOLVANEX 3 - Einstellungen");
    shared().KXAppTitle = "Tarnkappe";
    EXPECT_EQ(applyCaptionRule("KOLVANEX 3 / KOLVANEX 3"), "Tarnkappe / Tarnkappe");
    EXPECT_EQ(applyCaptionRule("Kolvanex 3 - Info"), "Kolvanex 3 - Info");  // exact case only
    // A title that itself contains the design title is replaced once, not forever.
    shared().KXAppTitle = "KOLVANEX 3 Pro";
    EXPECT_EQ(applyCaptionRule("KOLVANEX 3 - x"), "KOLVANEX 3 Pro - x");

    const auto hwnd = ui::createWindow("w");
    applyTopmostRule(hwnd);
    EXPECT_EQ(ui::isTopmost(hwnd), false);
    shared().gbFormsOnTop = true;
    applyTopmostRule(hwnd);
    EXPECT_EQ(ui::isTopmost(hwnd), true);
    FormOnTop(hwnd, false);
    EXPECT_EQ(ui::isTopmost(hwnd), false);
    ui::destroyWindow(hwnd);
}

TEST_F(UtilitiesTest, FileDialogsPassTheFilterWithNulSeparators) {
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope scope(dialogs);
    dialogs.fileAnswers.push_back(std::string("  C:\\Eigene Dateien\\brief.txt  "));
    Long owner = 7;
    std::string filter = "Textdateien|*.txt";
    std::string title = "Datei wählen";
    std::string dir = "C:\\";
    EXPECT_EQ(ShowOpenDlg(owner, filter, title, dir), "C:\\Eigene Dateien\\brief.txt");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const auto& record = dialogs.shown[0].record;
    EXPECT_EQ(record.filter, std::string("Textdateien\0*.txt\0", 18));
    EXPECT_EQ(filter, record.filter);  // the caller's filter comes back changed
    EXPECT_EQ(record.flags, 0x1004u);
    EXPECT_EQ(record.owner, 7);
    EXPECT_EQ(record.file, std::string(254, ' '));  // the buffer the trimmed answer comes from

    // Cancel answers "", and a filter that already ends in "|" gets no second one.
    std::string filter2 = "Alle|*.*|";
    EXPECT_EQ(ShowSaveDlg(owner, filter2, title, dir), "");
    EXPECT_EQ(dialogs.shown.back().record.filter, std::string("Alle\0*.*\0", 9));
    EXPECT_EQ(dialogs.shown.back().record.flags, 0x2006u);

    dialogs.folderAnswers.push_back(std::string("C:\\Programme"));
    EXPECT_EQ(BrowseFolder(0, "Ordner", 0), "C:\\Programme");
    EXPECT_EQ(dialogs.shown.back().flags, 1u);
    EXPECT_EQ(BrowseFolder(0, "Ordner", 0), "");
}

TEST_F(UtilitiesTest, SelexSelectsTheFocusedText) {
    ui::TextBox box("txt");
    box.text = "hallo welt";
    box.selStart = 3;
    ui::setFocusedControl(&box);
    EXPECT_TRUE(Selex().isEmpty());
    EXPECT_EQ(box.selStart, 0);
    EXPECT_EQ(box.selLength, 10);
    ui::setFocusedControl(nullptr);
    EXPECT_TRUE(Selex().isEmpty());  // nothing focused: nothing happens
}

TEST_F(UtilitiesTest, HelpIsSilentForThePartnerEdition) {
    platform::RecordingShell shell;
    platform::ShellScope scope(shell);
    Help(12);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].owner, 12);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].showCommand, 0);
    Homepage();
    EXPECT_EQ(shell.calls.back().showCommand, 1);
    EXPECT_EQ(shell.calls.back().file, shell.calls[0].file);

    ASSERT_TRUE(CKOLVANEX{}.KXAppTitle("Orvantel"));
    Help(12);
    EXPECT_EQ(shell.calls.size(), 2u);
}

TEST_F(UtilitiesTest, PropertiesAreSharedAcrossInstances) {
    CKOLVANEX host;
    CKOLVANEX inner;
    ASSERT_TRUE(host.KXAppPath("C:\\Programme\\Kolvanex"));
    ASSERT_TRUE(host.KXAppTitle("Tarnkappe"));
    ASSERT_TRUE(host.gbBreak(true));
    EXPECT_EQ(inner.KXAppTitle().value(), "Tarnkappe");
    EXPECT_TRUE(inner.gbBreak().value());
    EXPECT_EQ(shared().applicationTitle, "Tarnkappe");
    // Neither setting nor reading the title touches the path.
    EXPECT_EQ(inner.KXAppPath().value(), "C:\\Programme\\Kolvanex");
    EXPECT_EQ(host.KXAppTitle().value(), "Tarnkappe");
    EXPECT_EQ(inner.KXAppPath().value(), "C:\\Programme\\Kolvanex");
}

}  // namespace
}  // namespace kx
