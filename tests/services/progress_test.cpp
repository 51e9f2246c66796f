// The progress window as hosts and long operations drive it, on a throw-away
// machine with a manual clock: what Status writes and when it writes
// nothing, how the user cancels (close button, close timer, Ctrl+C), what
// closing does, the user's activity, and copying the log.
#include "services/progress.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/processes/desktop.hpp"
#include "platform/ui/clipboard.hpp"
#include "platform/ui/console_view.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/interrupt.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
#include "platform/ui/windows.hpp"
#include "services/cancel.hpp"
#include "services/form_base.hpp"
#include "settings/keys.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx {
namespace {

namespace ui = platform::ui;
using ui::Millis;
using Lines = std::vector<std::string>;

Lines lines(const frmProgress& window) {
    Lines out;
    for (const auto& item : window.lvLog->items()) out.push_back(item->text);
    return out;
}

// 1300 lines of 97 characters and more: past kCopyYieldLimit.
std::string fillLongLog(frmProgress& window) {
    std::string text;
    for (int i = 0; i < 1300; ++i) {
        const auto line = std::to_string(i) + std::string(95, '.');
        window.lvLog->add(line);
        text += line + "\r\n";
    }
    return text;
}

class ProgressTest : public ::testing::Test, protected test::ScriptedUi {
  protected:
    void SetUp() override {
        resetShared();
        ui::MessageLoop::current().setClock(&clock);
        setTaskCloser([this](const std::string& task) { closedTasks.push_back(task); });
    }
    void TearDown() override {
        (void)kolvanex.UnloadProgess();
        setTaskCloser(nullptr);
        stopListeningForInterrupts();
        (void)ui::takeInterrupt();
        ui::MessageLoop::current().setClock(nullptr);
        resetShared();
    }

    // Lets loop time pass and the loop run once.
    void advance(int ms) {
        clock.advance(Millis(ms));
        ui::yield();
    }
    std::shared_ptr<frmProgress> window() { return existingProgressWindow(); }
    bool visible() { return kolvanex.IsProgressVisible().value(); }

    test::TempMachine machine;
    ui::ManualClock clock;
    ui::MemoryClipboard clipboard;
    ui::ClipboardScope clipboardScope{clipboard};
    CKOLVANEX kolvanex;
    std::vector<std::string> closedTasks;
};

TEST_F(ProgressTest, StatusAppendsSelectsScrollsAndShowsTheWindowOnce) {
    ASSERT_TRUE(kolvanex.KXAppTitle("Tarnkappe"));
    ASSERT_TRUE(kolvanex.gbFormsOnTop(true));
    Lines written;
    for (int i = 0; i < 15; ++i) {
        written.push_back("Schritt " + std::to_string(i));
        ASSERT_TRUE(kolvanex.Status(written.back()));
    }
    const auto w = window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(lines(*w), written);

    // The newest line is the one selected line, scrolled into view.
    EXPECT_EQ(w->lvLog->selectedIndex(), 14u);
    int selected = 0;
    for (const auto& item : w->lvLog->items()) selected += item->selected ? 1 : 0;
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(w->lvLog->topIndex(), 15u - w->lvLog->visibleRows);
    EXPECT_EQ(w->m_lvLastLine, w->lvLog->item(14));

    // Shown once, not modal; one yield per line; the close timer not started.
    EXPECT_EQ(view.count("show", "frmProgress"), 1u);
    EXPECT_EQ(view.count("modal"), 0u);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(view.pumps(), 15u);
    EXPECT_FALSE(w->tmrClose->running());

    // The caption follows the title, but the window is never topmost...
    EXPECT_EQ(w->caption, "Tarnkappe");
    char title[256] = {};
    platform::GetWindowTextA(w->hWnd, title, sizeof title);
    EXPECT_STREQ(title, "Tarnkappe");
    EXPECT_EQ(ui::isTopmost(w->hWnd), false);
    // ...while the other forms of the engine do follow gbFormsOnTop.
    struct Options : FormBase {
        Options() : FormBase("KOLVANEX 3 - Optionen") {}
    } options;
    options.load();
    EXPECT_EQ(options.caption, "Tarnkappe - Optionen");
    EXPECT_EQ(ui::isTopmost(options.hWnd), true);
    options.unload();
    ASSERT_TRUE(kolvanex.KXAppTitle("Anders"));
    options.load();  // loaded again: from the design caption, not the old one
    EXPECT_EQ(options.caption, "Anders - Optionen");
}

TEST_F(ProgressTest, NoStatusQuietAndBreakSilenceStatusButNotProgessShow) {
    const std::vector<std::pair<std::string, std::function<void(bool)>>> silencers = {
        {"NoStatus",
         [](bool on) { ASSERT_TRUE(settings::write(settings::keys::NoStatus, on ? "1" : "0")); }},
        {"gbQuiet", [this](bool on) { ASSERT_TRUE(kolvanex.gbQuiet(on)); }},
        {"gbBreak", [this](bool on) { ASSERT_TRUE(kolvanex.gbBreak(on)); }},
    };
    for (const auto& [name, silence] : silencers) {
        SCOPED_TRACE(name);
        silence(true);
        EXPECT_TRUE(kolvanex.Status("still"));
        // Created by the first operation, but nothing added, shown or yielded.
        ASSERT_NE(window(), nullptr);
        EXPECT_EQ(window()->lvLog->count(), 0u);
        EXPECT_EQ(view.count("show"), 0u);
        EXPECT_EQ(view.pumps(), 0u);
        silence(false);
    }

    ASSERT_TRUE(settings::write(settings::keys::NoStatus, "1"));
    ASSERT_TRUE(kolvanex.ProgessShow());
    EXPECT_EQ(view.count("show", "frmProgress"), 1u);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->lvLog->count(), 0u);

    // A value that is no number does not silence the log.
    ASSERT_TRUE(settings::write(settings::keys::NoStatus, "kaputt"));
    kolvanex.Status("laut");
    EXPECT_EQ(lines(*window()), Lines{"laut"});
}

TEST_F(ProgressTest, ProgressCloseClosesAfterItsIntervalUnlessANewLineComes) {
    kolvanex.Status("fertig");
    ASSERT_TRUE(kolvanex.ProgressClose(5000));
    advance(4999);
    EXPECT_TRUE(visible());
    advance(1);
    EXPECT_FALSE(visible());  // what closing does is checked with the other ways of closing

    ASSERT_TRUE(kolvanex.gbBreak(false));
    kolvanex.Status("noch eins");
    ASSERT_TRUE(kolvanex.ProgressClose(5000));
    advance(3000);
    kolvanex.Status("und noch eins");  // within 5 s: the window stays
    advance(10000);
    advance(10000);
    EXPECT_TRUE(visible());
    EXPECT_FALSE(window()->tmrClose->running());
    EXPECT_FALSE(kolvanex.gbBreak().value());

    // A time the timer cannot take is the caller's error; nothing changes.
    const auto refused = kolvanex.ProgressClose(-1);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().number, ui::kInvalidPropertyValue);
    EXPECT_EQ(window()->tmrClose->interval(), 5000);
    EXPECT_FALSE(window()->tmrClose->running());

    // Started again with the interval it has (after a failed registry import).
    window()->startCloseTimer();
    advance(5000);
    EXPECT_FALSE(visible());
}

TEST_F(ProgressTest, TheUsersActivityStopsTheCloseTimerAndOpensTheContextMenu) {
    for (const char* line : {"eins", "zwei", "drei"}) kolvanex.Status(line);
    const auto w = window();
    const std::vector<std::pair<std::string, std::function<void()>>> activities = {
        {"key on the window", [w] { w->keyDown(65, 0); }},
        {"mouse over the window", [w] { w->mouseMove(0, 0, 100, 100); }},
        {"key in the log", [w] { w->lvLog->keyDown(40, 0); }},
        {"right click in the log",
         [w] { w->lvLog->mouseUp(ui::vbRightButton, ui::vbShiftMask, 5, 5); }},
    };
    for (const auto& [what, act] : activities) {
        ASSERT_TRUE(kolvanex.ProgressClose(5000));
        advance(2000);
        act();
        EXPECT_FALSE(w->tmrClose->running()) << what;
        advance(6000);
        EXPECT_TRUE(visible()) << what;
    }
    // A left click is no reason to stay.
    ASSERT_TRUE(kolvanex.ProgressClose(5000));
    w->lvLog->mouseUp(ui::vbLeftButton, 0, 5, 5);
    EXPECT_TRUE(w->tmrClose->running());

    // F1 on the window (or in the log, which the window sees first) is
    // swallowed; other keys go on.
    EXPECT_EQ(w->keyDown(ui::vbKeyF1, 0), 0);
    EXPECT_EQ(w->lvLog->keyDown(ui::vbKeyF1, 0), 0);
    EXPECT_EQ(w->keyDown(65, 0), 65);
    EXPECT_EQ(view.count("popup"), 0u);

    // The menu key opens the context menu, whose one item copies every line with CR LF.
    clipboard.setText("alter Inhalt");
    view.onPopup = [](ui::Form&, ui::Menu& menu) { menu.item("mnuClip")->click(); };
    w->lvLog->keyDown(ui::vbKeyApps, 0);
    EXPECT_EQ(clipboard.getText(), "eins\r\nzwei\r\ndrei\r\n");
    EXPECT_EQ(cursor.history, (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass,
                                                             ui::MousePointer::Default}));
    // A right click opens it only without Shift, Ctrl or Alt.
    w->lvLog->mouseUp(ui::vbRightButton, ui::vbCtrlMask, 1, 1);
    w->lvLog->mouseUp(ui::vbRightButton, ui::vbAltMask, 1, 1);
    EXPECT_EQ(view.count("popup"), 1u);
    w->lvLog->mouseUp(ui::vbRightButton, 0, 1, 1);
    ASSERT_EQ(view.count("popup"), 2u);
    EXPECT_EQ(view.records.back().detail, "mnuPopup");
}

TEST_F(ProgressTest, ALongLogCopiesWholeAndYieldsOnlyPastTheLimit) {
    int yields = 0;
    auto& loop = ui::MessageLoop::current();
    const auto counter = loop.addSource([&] { ++yields; });

    const auto w = progressWindow();
    const std::string expected = fillLongLog(*w);
    int linesPastLimit = 0;
    std::size_t characters = 0;
    for (const auto& line : lines(*w)) {
        characters += line.size() + 2;
        linesPastLimit += characters > kCopyYieldLimit ? 1 : 0;
    }
    ASSERT_GT(linesPastLimit, 0);
    w->mnuClip->click();
    EXPECT_EQ(clipboard.getText(), expected);
    EXPECT_EQ(yields, linesPastLimit);

    // The limit counts characters, not bytes: 64001 "ä" stay below it.
    yields = 0;
    w->lvLog->clear();
    std::string umlauts;
    for (int i = 0; i < 64001; ++i) umlauts += "ä";
    w->lvLog->add(umlauts);
    w->mnuClip->click();
    EXPECT_EQ(yields, 0);
    EXPECT_EQ(clipboard.getText(), umlauts + "\r\n");

    // The user closes the window while a long copy yields: the copy is
    // still whole.
    w->lvLog->clear();
    fillLongLog(*w);
    view.post([w] { w->cmdCan->click(); });
    w->mnuClip->click();
    EXPECT_FALSE(w->isLoaded());
    EXPECT_EQ(clipboard.getText(), expected);

    // Lines that arrive while it yields (a status line written from a loop
    // event) are not in this copy, and do not upset it.
    const auto next = progressWindow();
    fillLongLog(*next);
    view.post([next] {
        for (int i = 0; i < 5000; ++i) next->lvLog->add("später");
    });
    next->mnuClip->click();
    EXPECT_EQ(clipboard.getText(), expected);
    EXPECT_EQ(next->lvLog->count(), 6300u);
    loop.removeSource(counter);
}

TEST_F(ProgressTest, ClosingSetsBreakResetsTheBarStopsTheCipherAndTheScanner) {
    ASSERT_TRUE(kolvanex.ProgressMin(10));
    ASSERT_TRUE(kolvanex.ProgressMax(20));
    ASSERT_TRUE(kolvanex.ProgressValue(15));
    const auto w = window();
    std::vector<std::string> seen;
    // What the cipher holder registers while an encryption runs.
    CancelRegistration cipher([&] {
        seen.push_back("stop gbBreak=" + std::to_string(shared().gbBreak) +
                       " bar=" + std::to_string(w->pbBar->value()) +
                       " yields=" + std::to_string(view.pumps()));
    });
    ASSERT_TRUE(kolvanex.UnloadProgess());
    EXPECT_EQ(seen, Lines{"stop gbBreak=1 bar=10 yields=1"});
    EXPECT_EQ(closedTasks, Lines{"stinger.exe"});
    EXPECT_FALSE(visible());

    // Every way of closing runs the same steps, and the next line after the
    // host clears gbBreak starts a new window with a new log.
    const std::vector<std::pair<std::string, std::function<void(frmProgress&)>>> ways = {
        {"close button clicked while a Status yields",
         [this](frmProgress& p) {
             view.post([&p] { p.cmdCan->click(); });
             kolvanex.Status("zwei");
         }},
        {"close box", [](frmProgress& p) { p.userClose(); }},
        {"close timer",
         [this](frmProgress&) {
             ASSERT_TRUE(kolvanex.ProgressClose(100));
             advance(100);
         }},
        {"UnloadProgess", [this](frmProgress&) { ASSERT_TRUE(kolvanex.UnloadProgess()); }},
        {"Ctrl+C",
         [](frmProgress&) {
             ui::requestInterrupt();  // what the signal handler does
             ui::yield();
         }},
    };
    listenForInterrupts();
    auto previous = w;
    for (const auto& [how, close] : ways) {
        seen.clear();
        closedTasks.clear();
        ASSERT_TRUE(kolvanex.gbBreak(false));
        kolvanex.Status(how);
        ASSERT_NE(window(), previous) << how;
        EXPECT_EQ(lines(*window()), Lines{how});
        previous = window();
        const auto closes = view.count("close", "frmProgress");
        close(*previous);
        EXPECT_FALSE(previous->isLoaded()) << how;
        EXPECT_EQ(view.count("close", "frmProgress"), closes + 1) << how;
        EXPECT_FALSE(visible()) << how;
        EXPECT_TRUE(kolvanex.gbBreak().value()) << how;
        EXPECT_EQ(seen.size(), 1u) << how;
        EXPECT_EQ(closedTasks.size(), 1u) << how;
    }
}

TEST_F(ProgressTest, AFailedCipherStopStillClosesAndIsReported) {
    kolvanex.Status("eins");
    bool secondStopped = false;
    CancelRegistration broken([] { throw platform::RuntimeError{5, "Invalid procedure call"}; });
    CancelRegistration second([&] { secondStopped = true; });
    const auto result = kolvanex.UnloadProgess();
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().number, 5);
    EXPECT_TRUE(secondStopped);
    EXPECT_FALSE(visible());  // the window is gone all the same
    EXPECT_EQ(closedTasks.size(), 1u);

    // A handler that unregisters a later one: that one is skipped.
    int later = 0;
    CancelHandlerId laterId = 0;
    CancelRegistration first([&] { removeCancelHandler(laterId); });
    laterId = addCancelHandler([&] { ++later; });
    ASSERT_EQ(cancelHandlerCount(), 4u);
    EXPECT_THROW(runCancelHandlers(), platform::RuntimeError);
    EXPECT_EQ(later, 0);
    EXPECT_EQ(cancelHandlerCount(), 3u);
}

TEST_F(ProgressTest, TheVirusScannerIsClosedExceptOnWindowsNt) {
    // With the public class's CloseTask, which finds no scanner and answers
    // false: closing does not mind the answer.
    setTaskCloser(nullptr);
    kolvanex.Status("eins");
    EXPECT_TRUE(kolvanex.UnloadProgess());
    EXPECT_FALSE(visible());
    setTaskCloser([this](const std::string& task) { closedTasks.push_back(task); });

    struct Case {
        std::uint32_t major, minor, build, family;
        std::string system;
        Lines closed;
    };
    const Case cases[] = {{4, 0, 1381, 2, "Windows NT", {}},
                          {4, 10, 2222, 1, "Windows 98 SE", {"stinger.exe"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        auto config = platform::MachineConfig::defaults();
        config.version = {c.major, c.minor, c.build, c.family, ""};
        test::TempMachine other(config);
        closedTasks.clear();
        ASSERT_EQ(kolvanex.Betriebssystem().value(), c.system);
        ASSERT_TRUE(kolvanex.gbBreak(false));
        kolvanex.Status(c.system);
        ASSERT_TRUE(kolvanex.UnloadProgess());
        EXPECT_TRUE(kolvanex.gbBreak().value());
        EXPECT_EQ(closedTasks, c.closed);
    }
}

TEST_F(ProgressTest, TheBarBelongsToTheWindowAndReportsItsErrors) {
    EXPECT_FALSE(visible());
    const auto bar = kolvanex.GetProgressBar();
    ASSERT_TRUE(bar);
    ASSERT_NE(*bar, nullptr);
    EXPECT_TRUE(visible());  // created, though not on screen
    EXPECT_EQ(*bar, window()->pbBar);

    // Range errors come back as the bar's errors; none of the calls shows the window.
    ASSERT_TRUE(kolvanex.ProgressMax(50));
    ASSERT_TRUE(kolvanex.ProgressValue(50));
    EXPECT_EQ(kolvanex.ProgressValue(51).error().number, ui::kInvalidPropertyValue);
    EXPECT_EQ(kolvanex.ProgressMin(50).error().number, ui::kInvalidPropertyValue);
    EXPECT_EQ(kolvanex.ProgressMax(-1).error().number, ui::kInvalidPropertyValue);
    ASSERT_TRUE(kolvanex.ProgressMin(-5));
    EXPECT_EQ(window()->pbBar->max(), 50);
    EXPECT_EQ(view.count("show"), 0u);
    EXPECT_FALSE(window()->isVisible());

    // A component advances the bar itself through the object.
    auto typed = std::dynamic_pointer_cast<ui::ProgressBar>(*bar);
    ASSERT_NE(typed, nullptr);
    typed->setValue(40);
    EXPECT_EQ(window()->pbBar->value(), 40);
    ASSERT_TRUE(kolvanex.UnloadProgess());
    EXPECT_FALSE(visible());
    EXPECT_EQ(typed->value(), -5);  // closing reset it to its minimum
    typed->setValue(30);            // a kept bar of a closed window is harmless

    // Unloading when there is no window cancels nothing.
    ASSERT_TRUE(kolvanex.gbBreak(false));
    ASSERT_TRUE(kolvanex.UnloadProgess());
    EXPECT_FALSE(kolvanex.gbBreak().value());
    EXPECT_EQ(closedTasks.size(), 1u);

    const auto next = kolvanex.GetProgressBar();
    ASSERT_TRUE(next);
    EXPECT_NE(*next, *bar);  // a new window with a new bar
}

TEST_F(ProgressTest, CtrlCCancelsAtTheNextYieldEvenWithoutAWindow) {
    listenForInterrupts();
    listenForInterrupts();  // once per thread
    int stops = 0;
    CancelRegistration cipher([&] { ++stops; });
    ui::requestInterrupt();
    EXPECT_FALSE(kolvanex.gbBreak().value());  // nothing until the loop runs
    ui::yield();
    EXPECT_TRUE(kolvanex.gbBreak().value());
    EXPECT_EQ(stops, 1);

    stopListeningForInterrupts();
    ASSERT_TRUE(kolvanex.gbBreak(false));
    ui::requestInterrupt();
    ui::yield();
    EXPECT_FALSE(kolvanex.gbBreak().value());
    EXPECT_TRUE(ui::takeInterrupt());
}

TEST_F(ProgressTest, ConsoleViewPrintsLinesAndDrawsTheBar) {
    std::ostringstream out;
    ui::ConsoleView console(out, true);
    ui::ViewScope consoleScope(console);
    kolvanex.Status("a");
    ASSERT_TRUE(kolvanex.ProgressValue(50));
    kolvanex.Status("b");
    ASSERT_TRUE(kolvanex.UnloadProgess());
    const std::string bar50 = "[#####     ] 50%";
    const std::string bar0 = "[          ] 0%";
    EXPECT_EQ(out.str(), "a\n\r" + bar50 + "\r" + std::string(16, ' ') + "\rb\n" + bar50 + "\r" +
                             bar0 + " " + "\r" + std::string(15, ' ') + "\r");
}

TEST(ProgressWithoutMachineTest, StatusTrapsEveryError) {
    resetShared();
    ui::ScriptedView view;
    ui::ViewScope scope(view);
    setTaskCloser([](const std::string&) {});
    // No machine: the settings cannot be read, and Status still answers success.
    EXPECT_TRUE(CKOLVANEX{}.Status("ohne Maschine"));
    ASSERT_NE(existingProgressWindow(), nullptr);
    EXPECT_EQ(existingProgressWindow()->lvLog->count(), 0u);
    EXPECT_EQ(view.count("show"), 0u);
    EXPECT_TRUE(CKOLVANEX{}.UnloadProgess());
    setTaskCloser(nullptr);
    resetShared();
}

}  // namespace
}  // namespace kx
