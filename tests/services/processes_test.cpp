#include "services/processes.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <map>

#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/processes/desktop.hpp"
#include "platform/processes/process.hpp"
#include "platform/processes/shell.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/windows.hpp"
#include "settings/keys.hpp"
#include "support/programs.hpp"
#include "support/temp_machine.hpp"

extern char** environ;

namespace kx {
namespace {

namespace pf = platform;
namespace ui = platform::ui;
using std::chrono::milliseconds;
using test::waitUntil;
using test::WindowPlayer;
using Steady = std::chrono::steady_clock;

constexpr std::uint32_t kShown = pf::WS_VISIBLE | pf::WS_CAPTION;
constexpr std::string_view kProgramFolder = R"(C:\Programme\Kolvanex)";

class ProcessesTest : public ::testing::Test {
  protected:
    test::TempMachine machine;
    std::vector<ui::TimerId> timers;
    ui::ManualClock manual;

    void SetUp() override {
        resetShared();
        CKOLVANEX kolvanex;
        ASSERT_TRUE(kolvanex.KXAppPath(std::string(kProgramFolder)));
    }

    void TearDown() override {
        auto& loop = ui::MessageLoop::current();
        for (const auto id : timers) loop.removeTimer(id);
        loop.setClock(nullptr);
        // Companions started by a test must not outlive its machine.
        pf::EnumWindows(
            [](pf::HWND hwnd, pf::LPARAM) {
                pf::DWORD pid = 0;
                pf::GetWindowThreadProcessId(hwnd, &pid);
                if (pid != pf::GetCurrentProcessId()) {
                    if (const auto process = pf::OpenProcess(pf::PROCESS_TERMINATE, false, pid)) {
                        pf::TerminateProcess(process, 0);
                        pf::CloseHandle(process);
                    }
                }
                return 1;
            },
            0);
        resetShared();
    }

    void useManualClock() { ui::MessageLoop::current().setClock(&manual); }

    void every(milliseconds interval, std::function<void()> work) {
        timers.push_back(ui::MessageLoop::current().addTimer(interval, std::move(work)));
    }

    void installCompanions() {
        test::installProgram(machine, std::string(kProgramFolder) + R"(\KXMonitor.exe)",
                             test::companionBinary("KXMonitor.exe"));
        test::installProgram(machine, std::string(kProgramFolder) + R"(\KXPopup.Exe)",
                             test::companionBinary("KXPopup.Exe"));
    }

    static milliseconds since(Steady::time_point start) {
        return std::chrono::duration_cast<milliseconds>(Steady::now() - start);
    }
};

// A "sleep 30" installed under a Windows name and started.
auto startSleeper(test::TempMachine& on, const std::string& name) {
    test::installProgram(on, R"(C:\WINDOWS\system32\)" + name, test::hostTool("sleep"));
    pf::ProcessStart start;
    start.commandLine = name + " 30";
    return pf::CreateProcessA(start);
}

// The two messages a window is asked to go with: WM_CLOSE, then WM_QUIT.
void expectCloseThenQuit(pf::HWND hwnd) {
    auto desktop = pf::currentDesktop();
    ASSERT_TRUE(desktop);
    const auto first = desktop->take(hwnd);
    const auto second = desktop->take(hwnd);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->message, pf::WM_CLOSE);
    EXPECT_EQ(second->message, pf::WM_QUIT);
    EXPECT_FALSE(desktop->take(hwnd));
}

TEST(BrowserTitleTest, KnownBrowsersAreRecognisedByTheirTitles) {
    for (const char* title :
         {"Startseite - Microsoft Internet Explorer", "Startseite- Microsoft Internet Explorer",
          "Nachrichten - Mozilla Firefox", "Opera - [Startseite]", "Seite - Mozilla",
          "Seite - Netscape", "AOL"})
        EXPECT_TRUE(IsBrowserWindowTitle(title)) << title;
    for (const char* title : {"AOL Mail", "aol", "Seite - microsoft internet explorer",
                              "Mozilla Thunderbird", "Opera-Handbuch", ""})
        EXPECT_FALSE(IsBrowserWindowTitle(title)) << title;
}

TEST_F(ProcessesTest, ShellAndWaitEndsALongRunningProgramAfterItsTime) {
    // The program would run 30 s; after lWaitNSeconds (1 s here instead of
    // the usual 5 s, to keep the test short) it is terminated, and the call
    // returns one fixed second later.
    test::installProgram(machine, R"(C:\WINDOWS\system32\langlauf.exe)", test::hostTool("sleep"));
    pf::DWORD seen = 0;
    every(milliseconds(100), [&] {
        for (const auto& task : TaskList())
            if (task.sTaskName == "langlauf.exe")
                seen = static_cast<pf::DWORD>(task.th32ProcessID);
    });
    const auto start = Steady::now();
    EXPECT_EQ(ShellAndWait("langlauf.exe 30", VbAppWinStyle::vbMinimizedFocus, 1), 0);
    const auto took = since(start);
    EXPECT_GE(took, milliseconds(2000));
    EXPECT_LT(took, milliseconds(3500));
    ASSERT_NE(seen, 0u) << "the program was never seen running";
    EXPECT_FALSE(pf::processStartTime(seen)) << "the program still runs";
}

TEST_F(ProcessesTest, ShellAndWaitWaitsForItsProgramThenOneSecondOrFailsAtOnce) {
    test::installProgram(machine, R"(C:\WINDOWS\sh.exe)", test::hostTool("sh"));
    auto start = Steady::now();
    EXPECT_EQ(ShellAndWait(R"(sh.exe -c "sleep 0.3")", VbAppWinStyle::vbHide, 0), 0);
    EXPECT_GE(since(start), milliseconds(1300));
    EXPECT_LT(since(start), milliseconds(2500));

    // A missing program answers -1 at once.
    start = Steady::now();
    EXPECT_EQ(ShellAndWait(R"(C:\Programme\fehlt.exe /x)", VbAppWinStyle::vbNormalFocus, 5), -1);
    EXPECT_LT(since(start), milliseconds(300));
}

TEST_F(ProcessesTest, ShellAndWaitGivesAolMoreTimeAndWaitsForTheBrowserToClose) {
    test::installProgram(machine, R"(C:\Programme\AOL\aol.exe)", test::hostTool("true"));
    test::installProgram(machine, R"(C:\WINDOWS\iexplore.exe)", test::hostTool("true"));
    useManualClock();
    auto& loop = ui::MessageLoop::current();

    auto before = loop.now();
    EXPECT_EQ(ShellAndWait(R"(C:\Programme\AOL\aol.exe)", VbAppWinStyle::vbNormalFocus, 0), 0);
    EXPECT_EQ(loop.now() - before, milliseconds(4000));

    // A browser window stays open for a while; the wait lasts until it closes
    // and brings the browser forward on its first round only.
    const auto browser =
        ui::createWindow("Startseite - Microsoft Internet Explorer", "IEFrame", kShown);
    const auto editor = ui::createWindow("Editor", "Notepad", kShown);
    int browserInFront = 0;
    every(milliseconds(400), [&] {
        if (pf::GetWindow(editor, pf::GW_HWNDFIRST) == browser)
            ++browserInFront;
        pf::BringWindowToTop(editor);
    });
    every(milliseconds(3000), [&] { ui::destroyWindow(browser); });
    before = loop.now();
    EXPECT_EQ(ShellAndWait("iexplore.exe http://127.0.0.1/", VbAppWinStyle::vbNormalFocus, 0), 0);
    EXPECT_GE(loop.now() - before, milliseconds(3000));
    EXPECT_LT(loop.now() - before, milliseconds(4000));
    EXPECT_EQ(browserInFront, 1);
    ui::destroyWindow(editor);
}

TEST_F(ProcessesTest, CloseTaskEndsTheFirstProcessOfThatNameExceptOnWindowsNT) {
    const auto info = startSleeper(machine, "stinger.exe");
    ASSERT_TRUE(info);
    const auto tasks = TaskList();
    EXPECT_TRUE(std::any_of(tasks.begin(), tasks.end(), [&](const CTask& t) {
        return t.sTaskName == "stinger.exe" &&
               t.th32ProcessID == static_cast<Long>(info->dwProcessId);
    }));
    CKOLVANEX kolvanex;
    EXPECT_EQ(kolvanex.CloseTask("STINGER.EXE"), true);
    EXPECT_EQ(pf::WaitForSingleObject(info->hProcess, 0), pf::WAIT_OBJECT_0);
    pf::DWORD code = 0;
    ASSERT_TRUE(pf::GetExitCodeProcess(info->hProcess, &code));
    EXPECT_EQ(code, 1u);
    pf::CloseHandle(info->hProcess);
    EXPECT_EQ(kolvanex.CloseTask("stinger.exe"), false);

    // On NT nothing is ended. Named apart from the scanner above, so that
    // test programs run side by side cannot end each other's processes.
    auto config = pf::MachineConfig::defaults();
    config.version = {4, 0, 1381, 2, ""};
    test::TempMachine nt(config);
    const auto scanner = startSleeper(nt, "virenscan.exe");
    ASSERT_TRUE(scanner);
    EXPECT_FALSE(CloseTask("virenscan.exe"));
    EXPECT_EQ(pf::WaitForSingleObject(scanner->hProcess, 100), pf::WAIT_TIMEOUT);
    pf::TerminateProcess(scanner->hProcess, 0);
    pf::CloseHandle(scanner->hProcess);
}

TEST_F(ProcessesTest, CloseTaskLeavesProcessesStartedOutsideTheMachineRunning) {
    // The user's own "sleep" of the same name, started in another terminal.
    const std::string name = "fremdname.exe";
    const std::string sleep = test::hostTool("sleep").string();
    char* argv[] = {const_cast<char*>(name.c_str()), const_cast<char*>("30"), nullptr};
    pid_t users = 0;
    ASSERT_EQ(::posix_spawn(&users, sleep.c_str(), nullptr, nullptr, argv, environ), 0);
    const auto stillRuns = [&] { return pf::processStartTime(users).has_value(); };
    EXPECT_FALSE(CloseTask(name));
    EXPECT_TRUE(stillRuns());

    // The same name started through the machine is ended; the user's stays.
    const auto ours = startSleeper(machine, name);
    ASSERT_TRUE(ours);
    EXPECT_TRUE(CloseTask(name));
    EXPECT_EQ(pf::WaitForSingleObject(ours->hProcess, 0), pf::WAIT_OBJECT_0);
    pf::CloseHandle(ours->hProcess);
    EXPECT_TRUE(stillRuns());
    ::kill(users, SIGKILL);
    ::waitpid(users, nullptr, 0);
}

TEST_F(ProcessesTest, BrowserWindowsAreActiveWhenShownWithABorder) {
    const auto editor = ui::createWindow("Editor", "Notepad", kShown);
    const auto hidden = ui::createWindow("Versteckt - Netscape", "Netscape", pf::WS_BORDER);
    const auto borderless = ui::createWindow("Ohne Rand - Mozilla", "Mozilla", pf::WS_VISIBLE);
    EXPECT_FALSE(IEIsActive(editor, nullptr));

    const auto firefox = ui::createWindow("Nachrichten - Mozilla Firefox", "Firefox", kShown);
    const auto opera = ui::createWindow("Grüße - Opera - Seite", "Opera", kShown);
    EXPECT_EQ(GetWindowTitle(opera), "Grüße - Opera - Seite");
    EXPECT_EQ(GetWindowTitle(0x7FFFFFF0), "");
    pf::BringWindowToTop(editor);
    const bool no = false;
    EXPECT_TRUE(IEIsActive(editor, &no));
    EXPECT_EQ(pf::GetWindow(editor, pf::GW_HWNDFIRST), editor);
    EXPECT_EQ(pf::GetForegroundWindow(), 0);

    // Every browser comes forward; the walk ends although the order changes under it.
    const bool yes = true;
    CKOLVANEX kolvanex;
    EXPECT_EQ(kolvanex.IEIsActive(editor, const_cast<bool*>(&yes)), true);
    const auto front = pf::GetWindow(editor, pf::GW_HWNDFIRST);
    EXPECT_TRUE(front == firefox || front == opera);
    EXPECT_EQ(pf::GetForegroundWindow(), front);
    EXPECT_NE(pf::GetWindow(front, pf::GW_HWNDNEXT), editor);
    EXPECT_FALSE(IEIsActive(0x7FFFFFF0, nullptr));

    // Outside a collection the enumeration callback only says "go on".
    EXPECT_EQ(kolvanex.EnumChildProc(opera, 12345), 1);
    EXPECT_EQ(EnumChildProc(0, 0), 1);
    for (const auto h : {editor, hidden, borderless, firefox, opera}) ui::destroyWindow(h);
}

TEST_F(ProcessesTest, CloseAllIESessionsClosesBrowsersAndLeavesOtherWindows) {
    using Reaction = WindowPlayer::Reaction;
    auto onlyAltF4 = [](const pf::DesktopMessage& m) {
        const bool altF4 = m.message == pf::WM_SYSKEYDOWN && m.wParam == pf::VK_F4;
        return altF4 ? Reaction::Close : Reaction::Keep;
    };
    auto ignoresClose = [](const pf::DesktopMessage& m) {
        return m.message == pf::WM_CLOSE ? Reaction::Keep : Reaction::Default;
    };
    WindowPlayer player(machine.prefix(),
                        {{"IEFrame",
                          "Startseite - Microsoft Internet Explorer",
                          kShown,
                          WindowPlayer::obedient,
                          {}},
                         {"Firefox", "Formular - Mozilla Firefox", kShown, onlyAltF4, {}},
                         {"Opera", "Opera - Nachfrage", kShown, ignoresClose, {}},
                         {"Notepad", "Editor", kShown, WindowPlayer::obedient, {}}});
    CKOLVANEX kolvanex;
    EXPECT_TRUE(kolvanex.CloseAllIESessions());

    EXPECT_FALSE(pf::IsWindow(player.hwnd(0))) << "closed by WM_CLOSE";
    EXPECT_FALSE(pf::IsWindow(player.hwnd(1))) << "closed by Alt+F4";
    EXPECT_TRUE(pf::IsWindow(player.hwnd(2))) << "sent back by Alt+Esc, so no Alt+F4";
    EXPECT_TRUE(pf::IsWindow(player.hwnd(3)));
    EXPECT_TRUE(player.received(3).empty());

    auto keysOf = [&](std::size_t i) {
        std::vector<pf::WPARAM> keys;
        for (const auto& m : player.received(i))
            if (m.message == pf::WM_SYSKEYDOWN)
                keys.push_back(m.wParam);
        return keys;
    };
    EXPECT_EQ(player.received(0).size(), 1u);
    EXPECT_EQ(keysOf(1),
              (std::vector<pf::WPARAM>{pf::VK_MENU, pf::VK_ESCAPE, pf::VK_MENU, pf::VK_F4}));
    EXPECT_EQ(keysOf(2), (std::vector<pf::WPARAM>{pf::VK_MENU, pf::VK_ESCAPE}));
    EXPECT_EQ(player.received(2).front().message, pf::WM_CLOSE);
}

TEST_F(ProcessesTest, CloseDrubexAsksItToCloseAndQuit) {
    const auto drubex = ui::createWindow("drubex - reklameblockierung FÜR den internet-pc",
                                         "ThunderRT6FormDC", kShown);
    CKOLVANEX kolvanex;
    EXPECT_TRUE(kolvanex.CloseDRUBEX());
    expectCloseThenQuit(drubex);
    ui::destroyWindow(drubex);
    EXPECT_TRUE(kolvanex.CloseDRUBEX());  // nothing to close is no failure
}

struct PopupCase {
    std::string title;
    std::map<std::string, std::string> settings;  // key name -> text
    std::optional<std::string> options;           // what the blocker is started with
};

TEST(PopupKillerStartTest, SettingsDecideWhetherAndHowTheBlockerStarts) {
    const std::vector<PopupCase> cases = {
        {"Kolvanex", {}, " /SOUND /STEP1"},
        {"Kolvanex", {{"IEPopKillerOff", "True"}}, std::nullopt},
        {"Kolvanex", {{"IEPopKillerOff", "Wahr"}}, std::nullopt},
        {"Kolvanex", {{"IEPopKillerOff", "-1"}}, std::nullopt},
        {"Kolvanex", {{"IEPopKillerOff", "0"}}, " /SOUND /STEP1"},
        {"Kolvanex",
         {{"IEPopKillerOff", "False"},
          {"IEPopKillerStep1", "False"},
          {"IEPopKillerStep2", "True"},
          {"IEPopSound", "0"}},
         " /STEP2"},
        {"Kolvanex", {{"IEPopKillerStep1", "Falsch"}, {"IEPopKillerStep2", "False"}}, std::nullopt},
        // Step states are Boolean texts: "1" is not one of them.
        {"Kolvanex", {{"IEPopKillerStep1", "1"}}, std::nullopt},
        {"Kolvanex", {{"IEPopSound", "kein"}}, " /STEP1"},
        {"Orvantel", {}, std::nullopt},
        {"Orvantel", {{"IEPopKillerOff", "False"}}, " /SOUND /STEP1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title + " with " + std::to_string(c.settings.size()) + " settings, " +
                     c.options.value_or("nothing"));
        test::TempMachine machine;
        machine.writeHostFile(machine.host(R"(C:\Programme\Kolvanex\KXPopup.Exe)"), "program");
        resetShared();
        CKOLVANEX kolvanex;
        ASSERT_TRUE(kolvanex.KXAppTitle(c.title));
        ASSERT_TRUE(kolvanex.KXAppPath(std::string(kProgramFolder)));
        for (const auto& [name, text] : c.settings) {
            const auto* key = settings::findKey("Options", name);
            ASSERT_NE(key, nullptr) << name;
            ASSERT_TRUE(settings::write(*key, text));
        }
        pf::RecordingShell shell;
        pf::ShellScope scope(shell);
        ASSERT_TRUE(kolvanex.StartThePopupKiller());
        if (!c.options) {
            EXPECT_TRUE(shell.calls.empty());
            continue;
        }
        ASSERT_EQ(shell.calls.size(), 1u);
        EXPECT_EQ(shell.calls[0].file, R"(C:\Programme\Kolvanex\KXPopup.exe)");
        EXPECT_EQ(shell.calls[0].parameters, *c.options);
        EXPECT_EQ(shell.calls[0].showCommand, 2);
    }
    resetShared();
}

TEST_F(ProcessesTest, AMissingPopupBlockerIsReported) {
    ui::ScriptedDialogs dialogs;
    ui::DialogsScope dialogScope(dialogs);
    pf::RecordingShell shell;
    pf::ShellScope scope(shell);
    CKOLVANEX kolvanex;
    EXPECT_TRUE(kolvanex.StartKXPopupKiller(" /STEP1"));
    EXPECT_TRUE(shell.calls.empty());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "C:\\Programme\\Kolvanex\\KXPopup.exe\rkonnte nicht gestartet werden. Bitte "
              "installieren Sie das Programm ggf. erneut");
    EXPECT_EQ(dialogs.shown[0].flags, 0x1030u);

    // A file that is there but no program does not start either.
    machine.writeHostFile(machine.host(R"(C:\Programme\Kolvanex\KXPopup.exe)"), "kein Programm");
    pf::DesktopShell real;
    pf::ShellScope realScope(real);
    EXPECT_TRUE(kolvanex.StartKXPopupKiller(""));
    EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(ProcessesTest, ThePopupBlockerClosesQuicklyOrIsSentQuitAfterEightTenthsOfASecond) {
    installCompanions();
    CKOLVANEX kolvanex;
    ASSERT_TRUE(kolvanex.StartKXPopupKiller(" /STEP1"));
    pf::HWND popup = 0;
    ASSERT_TRUE(waitUntil([&] { return (popup = GetKXPopupKillerHandle()) != 0; }));
    EXPECT_EQ(pf::GetPropA(popup, "STEP1"), 1);
    // Started minimized (window style 2).
    EXPECT_NE(
        static_cast<std::uint32_t>(pf::GetWindowLongA(popup, pf::GWL_STYLE)) & pf::WS_MINIMIZE, 0u);
    auto start = Steady::now();
    EXPECT_TRUE(kolvanex.CloseKXPopupKiller());
    EXPECT_LT(since(start), milliseconds(700));
    EXPECT_EQ(GetKXPopupKillerHandle(), 0);

    // One that ignores WM_CLOSE.
    ASSERT_TRUE(kolvanex.StartKXPopupKiller(" /IGNORECLOSE /SOUND"));
    ASSERT_TRUE(waitUntil([&] { return (popup = GetKXPopupKillerHandle()) != 0; }));
    EXPECT_EQ(pf::GetPropA(popup, "SOUND"), 1);
    pf::DWORD pid = 0;
    pf::GetWindowThreadProcessId(popup, &pid);
    ASSERT_NE(pid, 0u);
    std::int64_t closeRequests = 0;
    every(milliseconds(20),
          [&] { closeRequests = std::max(closeRequests, pf::GetPropA(popup, "CLOSEREQUESTS")); });
    start = Steady::now();
    EXPECT_TRUE(kolvanex.CloseKXPopupKiller());
    EXPECT_GE(since(start), milliseconds(760));
    EXPECT_LT(since(start), milliseconds(2000));
    EXPECT_EQ(closeRequests, 1) << "WM_CLOSE reached it and was ignored";
    EXPECT_TRUE(waitUntil([&] { return GetKXPopupKillerHandle() == 0; }));
    EXPECT_TRUE(waitUntil([&] { return !pf::processStartTime(pid); }));
}

TEST_F(ProcessesTest, TheMonitorStartsWithTheTitleIsFoundAndCloses) {
    installCompanions();
    CKOLVANEX kolvanex;
    ASSERT_TRUE(kolvanex.KXAppTitle("Prüfstand"));
    EXPECT_EQ(kolvanex.GetKXMonitorHandle(), 0);
    ASSERT_TRUE(kolvanex.StartKXMonitor());
    pf::HWND monitor = 0;
    ASSERT_TRUE(waitUntil([&] { return (monitor = GetKXMonitorHandle()) != 0; }));
    EXPECT_EQ(GetWindowTitle(monitor), "Prüfstand Monitor");
    EXPECT_EQ(pf::FindWindowA("ThunderRT6Form", std::nullopt), monitor);
    pf::DWORD pid = 0;
    pf::GetWindowThreadProcessId(monitor, &pid);
    ASSERT_TRUE(kolvanex.CloseKXMonitor());
    EXPECT_EQ(GetKXMonitorHandle(), 0);
    EXPECT_TRUE(waitUntil([&] { return !pf::processStartTime(pid); }));
}

TEST_F(ProcessesTest, TheMonitorStartsOnlyWhenMissingAndIsQuitAfterItsBound) {
    pf::RecordingShell shell;
    pf::ShellScope scope(shell);
    ASSERT_TRUE(CKOLVANEX{}.KXAppTitle("Prüfstand"));
    StartKXMonitor();  // no program: ignored
    EXPECT_TRUE(shell.calls.empty());

    machine.writeHostFile(machine.host(R"(C:\Programme\Kolvanex\KXMonitor.exe)"), "program");
    StartKXMonitor();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].file, R"(C:\Programme\Kolvanex\KXMonitor.exe)");
    EXPECT_EQ(shell.calls[0].parameters, "");
    EXPECT_EQ(shell.calls[0].showCommand, 2);

    // A running monitor is not started twice.
    const auto running = ui::createWindow("Prüfstand Monitor", "ThunderRT6Form", kShown);
    StartKXMonitor();
    EXPECT_EQ(shell.calls.size(), 1u);

    // One that does not go is sent WM_QUIT after kMonitorCloseWait and left alone.
    useManualClock();
    auto& loop = ui::MessageLoop::current();
    const auto before = loop.now();
    CloseKXMonitor();
    EXPECT_GE(loop.now() - before, kMonitorCloseWait);
    EXPECT_LT(loop.now() - before, kMonitorCloseWait + milliseconds(100));
    expectCloseThenQuit(running);
    ui::destroyWindow(running);
}

}  // namespace
}  // namespace kx
