#include "platform/processes/desktop.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/processes/desktop_program.hpp"
#include "platform/processes/process.hpp"
#include "platform/ui/windows.hpp"
#include "support/programs.hpp"
#include "support/temp_machine.hpp"

namespace kx::platform {
namespace {

using std::chrono::milliseconds;
using test::exitCode;
using test::waitUntil;
using test::WindowPlayer;

constexpr std::uint32_t kShown = WS_VISIBLE | WS_CAPTION;
constexpr std::string_view kPopupTitle = "KOLVANEX - Popup-blocker";

std::vector<HWND> enumerated() {
    std::vector<HWND> all;
    EnumWindows(
        [&](HWND h, LPARAM) {
            all.push_back(h);
            return 1;
        },
        0);
    return all;
}

std::vector<HWND> walked(HWND from) {
    std::vector<HWND> all;
    for (HWND h = GetWindow(from, GW_HWNDFIRST); h != 0; h = GetWindow(h, GW_HWNDNEXT))
        all.push_back(h);
    return all;
}

class DesktopTest : public ::testing::Test {
  protected:
    test::TempMachine machine;
    std::vector<HANDLE> started;

    void TearDown() override {
        for (const auto h : started) {
            TerminateProcess(h, 0);
            CloseHandle(h);
        }
    }

    // Starts the real popup blocker with options and waits for its window.
    std::pair<HANDLE, HWND> startPopupBlocker(const std::string& options) {
        test::installProgram(machine, R"(C:\Programme\Kolvanex\KXPopup.Exe)",
                             test::companionBinary("KXPopup.Exe"));
        ProcessStart start;
        start.commandLine = R"(C:\Programme\Kolvanex\KXPopup.exe)" + options;
        const auto info = CreateProcessA(start);
        if (!info)
            return {0, 0};
        started.push_back(info->hProcess);
        HWND hwnd = 0;
        waitUntil([&] { return (hwnd = FindWindowA(std::nullopt, kPopupTitle)) != 0; });
        return {info->hProcess, hwnd};
    }
};

TEST_F(DesktopTest, WindowsKeepTheirZOrderAndAreFoundByClassAndTitle) {
    const auto first = ui::createWindow("Erstes Fenster", "KxClass", kShown);
    const auto second = ui::createWindow("Zweites Fenster", "KxClass", kShown);
    const auto hidden = ui::createWindow("", "KxHidden", 0);
    // The newest window is in front.
    EXPECT_EQ(enumerated(), (std::vector<HWND>{hidden, second, first}));
    EXPECT_EQ(walked(first), enumerated());
    EXPECT_EQ(GetWindow(first, GW_HWNDLAST), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDPREV), second);
    EXPECT_EQ(GetWindow(hidden, GW_HWNDPREV), 0);
    EXPECT_EQ(GetWindow(0x7FFFFFF0, GW_HWNDFIRST), 0);

    EXPECT_TRUE(BringWindowToTop(first));
    EXPECT_EQ(enumerated(), (std::vector<HWND>{first, hidden, second}));
    // Topmost windows stay ahead of any window brought forward.
    EXPECT_TRUE(
        ui::SetWindowPos(second, ui::HWND_TOPMOST, 0, 0, 0, 0, ui::SWP_NOMOVE | ui::SWP_NOSIZE));
    EXPECT_TRUE(BringWindowToTop(hidden));
    EXPECT_EQ(enumerated(), (std::vector<HWND>{second, hidden, first}));
    EXPECT_EQ(ui::isTopmost(second), true);
    EXPECT_TRUE(ui::SetWindowPos(second, ui::HWND_BOTTOM, 0, 0, 0, 0, 0));
    EXPECT_EQ(enumerated().back(), second);

    EXPECT_EQ(FindWindowA("kxclass", std::nullopt), first);
    EXPECT_EQ(FindWindowA(std::nullopt, "ZWEITES FENSTER"), second);
    EXPECT_EQ(FindWindowA("KxHidden", "Zweites Fenster"), 0);
    EXPECT_EQ(FindWindowA(std::nullopt, ""), hidden);
    EXPECT_EQ(GetWindowLongA(first, GWL_STYLE), static_cast<std::int32_t>(kShown));
    EXPECT_EQ(GetWindowLongA(hidden, GWL_STYLE), 0);
    EXPECT_EQ(GetWindowLongA(first, -20), 0);

    // The enumeration stops when the callback says so.
    int calls = 0;
    EXPECT_TRUE(EnumWindows(
        [&](HWND, LPARAM l) {
            EXPECT_EQ(l, 77);
            return ++calls < 2 ? 1 : 0;
        },
        77));
    EXPECT_EQ(calls, 2);

    ui::destroyWindow(first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(ui::isWindow(first));
    const auto left = enumerated();
    EXPECT_EQ(std::count(left.begin(), left.end(), first), 0);
    ui::destroyWindow(second);
    ui::destroyWindow(hidden);
}

TEST_F(DesktopTest, TitlesAreCopiedWithinTheBuffer) {
    const auto hwnd = ui::createWindow("Grüße", "KxClass", kShown);
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 7);  // bytes: ü and ß take two each
    std::array<char, 16> buffer{};
    EXPECT_EQ(GetWindowTextA(hwnd, buffer.data(), 16), 7);
    EXPECT_EQ(std::string(buffer.data()), "Grüße");
    // Five bytes would end inside "ß": four are copied.
    buffer.fill('x');
    EXPECT_EQ(GetWindowTextA(hwnd, buffer.data(), 6), 4);
    EXPECT_EQ(std::string(buffer.data()), "Grü");
    EXPECT_EQ(GetWindowTextA(hwnd, buffer.data(), 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_TRUE(ui::setWindowTitle(hwnd, "Neu"));
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 3);
    EXPECT_EQ(GetWindowTextA(0x7FFFFFF0, buffer.data(), 16), 0);
    EXPECT_EQ(GetWindowTextLengthA(0x7FFFFFF0), 0);
    ui::destroyWindow(hwnd);
}

TEST_F(DesktopTest, TheBoundObserverHearsOfTitleAndTopmostChangesOfOwnWindowsOnly) {
    struct Recorder final : ui::WindowObserver {
        std::vector<HWND> changed;
        void windowChanged(HWND hwnd) override { changed.push_back(hwnd); }
    } recorder;
    const ui::WindowObserverScope scope(recorder);
    const auto hwnd = ui::createWindow("Alt");
    const auto flags = ui::SWP_NOMOVE | ui::SWP_NOSIZE;
    EXPECT_TRUE(ui::setWindowTitle(hwnd, "Neu"));
    EXPECT_TRUE(ui::SetWindowPos(hwnd, ui::HWND_TOPMOST, 0, 0, 0, 0, flags));
    EXPECT_TRUE(ui::SetWindowPos(hwnd, ui::HWND_BOTTOM, 0, 0, 0, 0, flags));  // order only
    EXPECT_FALSE(ui::setWindowTitle(0x7FFFFFF0, "fremd"));
    EXPECT_EQ(recorder.changed, (std::vector<HWND>{hwnd, hwnd}));
    ui::destroyWindow(hwnd);
}

TEST_F(DesktopTest, AnotherProcessFindsAndClosesTheWindowsOfThisOne) {
    const auto mine = ui::createWindow("Kolvanex Hauptfenster");
    const auto [process, popup] = startPopupBlocker(" /sound /STEP2");
    ASSERT_NE(popup, 0) << "the popup blocker did not register its window";

    // Both processes' windows are on one desktop.
    const auto all = enumerated();
    EXPECT_NE(std::find(all.begin(), all.end(), mine), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), popup), all.end());
    DWORD pid = 0;
    EXPECT_NE(GetWindowThreadProcessId(popup, &pid), 0u);
    EXPECT_EQ(pid, GetProcessId(process));
    EXPECT_EQ(FindWindowA("ThunderRT6Form", kPopupTitle), popup);
    // It was told its options, and shows as it was started (normally).
    EXPECT_EQ(GetPropA(popup, "SOUND"), 1);
    EXPECT_EQ(GetPropA(popup, "STEP2"), 1);
    EXPECT_EQ(GetPropA(popup, "STEP1"), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(GetWindowLongA(popup, GWL_STYLE)) & WS_MINIMIZE, 0u);

    // Alt+F4 closes it through the desktop's defaults.
    ASSERT_TRUE(SetForegroundWindow(popup));
    EXPECT_TRUE(SendKeys("%{F4}", true));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(popup); }));
    EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCode(process), 0u);
    EXPECT_TRUE(IsWindow(mine));
    ui::destroyWindow(mine);
}

TEST_F(DesktopTest, WindowsOfEndedProcessesDisappearAndQuitEndsThem) {
    const auto [process, popup] = startPopupBlocker(" /IGNORECLOSE");
    ASSERT_NE(popup, 0);
    // It ignores WM_CLOSE (and counts it) ...
    EXPECT_TRUE(PostMessageA(popup, WM_CLOSE, 0, 0));
    EXPECT_TRUE(waitUntil([&] { return GetPropA(popup, "CLOSEREQUESTS") == 1; }));
    EXPECT_TRUE(IsWindow(popup));
    // ... and a killed program cannot take its window away: the desktop does.
    ASSERT_TRUE(TerminateProcess(process, 1));
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(FindWindowA(std::nullopt, kPopupTitle), 0);
    EXPECT_FALSE(PostMessageA(popup, WM_CLOSE, 0, 0));

    // WM_QUIT ends such a program, with the code it carries.
    const auto [second, again] = startPopupBlocker(" /IGNORECLOSE");
    ASSERT_NE(again, 0);
    EXPECT_TRUE(PostMessageA(again, WM_QUIT, 3, 0));
    EXPECT_EQ(WaitForSingleObject(second, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(exitCode(second), 3u);
    EXPECT_FALSE(IsWindow(again));
}

TEST_F(DesktopTest, WaitForInputIdleWaitsForTheFirstWindow) {
    test::installProgram(machine, R"(C:\Programme\Kolvanex\KXPopup.Exe)",
                         test::companionBinary("KXPopup.Exe"));
    test::installProgram(machine, R"(C:\WINDOWS\sleeper.exe)", test::hostTool("sleep"));
    ProcessStart start;
    start.commandLine = R"(C:\Programme\Kolvanex\KXPopup.exe)";
    start.showWindow = SW_SHOWMINIMIZED;
    auto info = CreateProcessA(start);
    ASSERT_TRUE(info);
    started.push_back(info->hProcess);
    EXPECT_EQ(WaitForInputIdle(info->hProcess, 5000), WAIT_OBJECT_0);
    const auto popup = FindWindowA(std::nullopt, kPopupTitle);
    ASSERT_NE(popup, 0);
    // Started minimized, it shows minimized.
    EXPECT_NE(static_cast<std::uint32_t>(GetWindowLongA(popup, GWL_STYLE)) & WS_MINIMIZE, 0u);

    start.commandLine = "sleeper.exe 30";
    info = CreateProcessA(start);
    ASSERT_TRUE(info);
    started.push_back(info->hProcess);
    EXPECT_EQ(WaitForInputIdle(info->hProcess, 100), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForInputIdle(0x7FFF0000, 100), WAIT_FAILED);
}

TEST_F(DesktopTest, SentMessagesWaitForTheAnswerOfTheOwningThread) {
    WindowPlayer player(
        machine.prefix(),
        {{"KxClass", "Rechner", kShown, WindowPlayer::obedient,
          [](const DesktopMessage& m) -> LRESULT { return static_cast<LRESULT>(m.wParam * 2); }}});
    const auto hwnd = player.hwnd(0);
    EXPECT_EQ(SendMessageA(hwnd, WM_USER + 1, 21, 0), 42);

    // A window that does not answer lets the sender go after the time-out,
    // and the withdrawn message never reaches it.
    player.pause(true);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(SendMessageTimeoutA(hwnd, WM_USER + 2, 1, 0, milliseconds(200)));
    EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds(200));
    player.pause(false);
    EXPECT_EQ(SendMessageA(hwnd, WM_USER + 3, 5, 0), 10);
    const auto got = player.received(0);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, WM_USER + 1);
    EXPECT_EQ(got[1].message, WM_USER + 3);

    // A window of this thread is answered directly by its procedure.
    const auto own = ui::createWindow("Eigenes", "KxClass", kShown);
    EXPECT_EQ(SendMessageA(own, WM_USER, 1, 0), 0);
    setWindowProcedure(own, [](HWND, UINT message, WPARAM w, LPARAM) -> LRESULT {
        return message == WM_USER ? static_cast<LRESULT>(w + 100) : 0;
    });
    EXPECT_EQ(SendMessageA(own, WM_USER, 1, 0), 101);
    ui::destroyWindow(own);
    EXPECT_EQ(SendMessageA(own, WM_USER, 1, 0), 0);

    EXPECT_TRUE(PostMessageA(hwnd, WM_CLOSE, 0, 0));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(hwnd); }));
}

TEST_F(DesktopTest, KeystrokesReachTheForegroundWindowAsKeyMessages) {
    WindowPlayer player(machine.prefix(),
                        {{"KxClass",
                          "Tasten",
                          kShown,
                          [](const DesktopMessage&) { return WindowPlayer::Reaction::Keep; },
                          {}},
                         {"KxClass", "Dahinter", kShown, WindowPlayer::obedient, {}}});
    const auto keys = player.hwnd(0);
    EXPECT_FALSE(SendKeys("%{F4}", true)) << "no foreground window yet";
    ASSERT_TRUE(SetForegroundWindow(keys));
    EXPECT_EQ(GetForegroundWindow(), keys);
    ASSERT_TRUE(SendKeys("%{F4}", true));
    // Waited for: everything is processed when SendKeys returns.
    auto got = player.received(0);
    std::vector<std::pair<UINT, WPARAM>> keysGot;
    for (const auto& m : got) keysGot.emplace_back(m.message, m.wParam);
    EXPECT_EQ(keysGot, (std::vector<std::pair<UINT, WPARAM>>{{WM_SYSKEYDOWN, VK_MENU},
                                                             {WM_SYSKEYDOWN, VK_F4},
                                                             {WM_SYSKEYUP, VK_F4},
                                                             {WM_KEYUP, VK_MENU}}));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_NE(got[1].lParam & KF_ALTDOWN_BIT, 0);
    // The window kept the keys to itself: it is still there.
    EXPECT_TRUE(IsWindow(keys));

    ASSERT_TRUE(SendKeys("+a{ENTER}", true));
    got = player.received(0);
    ASSERT_EQ(got.size(), 4u + 7u);
    EXPECT_EQ(got[4].wParam, VK_SHIFT);
    EXPECT_EQ(got[5].wParam, WPARAM{'A'});
    EXPECT_EQ(got[6].message, WM_CHAR);
    EXPECT_EQ(got[6].wParam, WPARAM{'A'});
    EXPECT_EQ(got[9].wParam, VK_RETURN);

    for (const auto* bad : {"{F4", "%{NIX}", "(ab", "a)", "{TAB x}"})
        EXPECT_FALSE(SendKeys(bad, false)) << bad;

    // Alt+Esc left to the defaults moves the window back and the next forward.
    const auto behind = player.hwnd(1);
    ASSERT_TRUE(SetForegroundWindow(behind));
    ASSERT_TRUE(BringWindowToTop(behind));
    ASSERT_TRUE(SendKeys("%{ESC}", true));
    EXPECT_EQ(GetForegroundWindow(), keys);
    EXPECT_EQ(enumerated().back(), behind);
}

TEST(DesktopWithoutMachineTest, FormsGetWindowsOnAPrivateDesktop) {
    ASSERT_FALSE(hasCurrentMachine());
    const auto hwnd = ui::createWindow("Ohne Maschine");
    EXPECT_NE(hwnd, 0);
    EXPECT_EQ(FindWindowA(ui::kFormClass, "Ohne Maschine"), hwnd);
    EXPECT_TRUE(ui::isWindow(hwnd));
    {
        // A machine bound later has its own desktop; the form keeps its window.
        test::TempMachine machine;
        EXPECT_EQ(FindWindowA(std::nullopt, "Ohne Maschine"), 0);
        EXPECT_TRUE(ui::isWindow(hwnd));
        EXPECT_TRUE(ui::SetWindowPos(hwnd, ui::HWND_TOPMOST, 0, 0, 0, 0, 0));
        EXPECT_EQ(ui::isTopmost(hwnd), true);
    }
    ui::destroyWindow(hwnd);
    EXPECT_FALSE(ui::isWindow(hwnd));
}

}  // namespace
}  // namespace kx::platform
