#include "services/processes.hpp"

#include <algorithm>
#include <map>
#include <memory>

#include "core/shared_state.hpp"
#include "platform/processes/desktop.hpp"
#include "platform/processes/process.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/windows.hpp"
#include "settings/keys.hpp"
#include "settings/system_info.hpp"

namespace kx {
namespace {

namespace pf = platform;
namespace ui = platform::ui;
using settings::Reader;
using std::chrono::milliseconds;
namespace keys = settings::keys;

constexpr std::string_view kPartnerTitle = "Orvantel";
constexpr std::uint32_t kVisibleAndBorder = 0x10800000u;  // WS_VISIBLE | WS_BORDER

ui::MessageLoop& loop() {
    return ui::MessageLoop::current();
}

bool programExists(const std::string& windowsPath) {
    const auto found = pf::findProgram(windowsPath);
    return found && !found->builtin;
}

// The collections EnumChildProc fills while CloseAllIESessions enumerates.
std::map<Long, std::vector<Long>*>& collections() {
    thread_local std::map<Long, std::vector<Long>*> active;
    return active;
}

std::vector<Long> browserWindows() {
    thread_local Long nextKey = 0;
    std::vector<Long> found;
    Long key = ++nextKey;
    if (key == 0)
        key = ++nextKey;
    collections()[key] = &found;
    struct Done {
        Long key;
        ~Done() { collections().erase(key); }
    } done{key};
    pf::EnumWindows(
        [](pf::HWND hwnd, pf::LPARAM lParam) {
            return EnumChildProc(hwnd, static_cast<Long>(lParam));
        },
        key);
    return found;
}

// "True", "Wahr" or a nonzero number: how the popup blocker's off switch has
// always been read, whichever way it was written.
bool switchedOn(const std::string& text) {
    if (text == "True" || text == "Wahr")
        return true;
    try {
        return pf::toDouble(Variant(text)) != 0;
    } catch (const pf::RuntimeError&) {
        return false;
    }
}

void bringForward(Long hwnd) {
    pf::BringWindowToTop(hwnd);
    pf::SetForegroundWindow(hwnd);
}

}  // namespace

bool IsBrowserWindowTitle(std::string_view title) {
    for (const std::string_view mark :
         {" - Mozilla Firefox", "Opera - ", "- Microsoft Internet Explorer", " - Mozilla",
          " - Netscape"}) {
        if (title.find(mark) != std::string_view::npos)
            return true;
    }
    return title == "AOL";
}

std::vector<CTask> TaskList() {
    std::vector<CTask> tasks;
    const auto snapshot = pf::CreateToolhelp32Snapshot(pf::TH32CS_SNAPPROCESS, 0);
    if (snapshot == 0)
        return tasks;
    pf::PROCESSENTRY32 entry;
    for (bool more = pf::Process32First(snapshot, &entry); more;
         more = pf::Process32Next(snapshot, &entry)) {
        CTask task;
        const auto* name = entry.szExeFile.data();
        task.sTaskName.assign(name, std::find(name, name + entry.szExeFile.size(), '\0'));
        task.th32ProcessID = static_cast<Long>(entry.th32ProcessID);
        tasks.push_back(std::move(task));
    }
    pf::CloseHandle(snapshot);
    return tasks;
}

Long ShellAndWait(const std::string& CmdLine, VbAppWinStyle xWindowStyle, Long lWaitNSeconds) {
    pf::ProcessStart start;
    start.commandLine = CmdLine;
    start.inheritHandles = true;
    start.creationFlags = pf::NORMAL_PRIORITY_CLASS;
    start.showWindow = static_cast<std::uint16_t>(xWindowStyle);
    const auto started = pf::CreateProcessA(start);
    if (!started)
        return -1;
    const auto process = started->hProcess;

    const auto startTime = loop().now();
    // The time-out is taken as milliseconds here, as it always was; a
    // negative one must not become an endless wait for a program that never
    // opens a window.
    pf::WaitForInputIdle(process, static_cast<pf::DWORD>(std::max<Long>(lWaitNSeconds, 0)));
    for (;;) {
        if (lWaitNSeconds > 0 && loop().now() - startTime > std::chrono::seconds(lWaitNSeconds))
            break;
        loop().yield();
        // Anything but "still running" ends the wait, a failed wait included.
        if (pf::WaitForSingleObject(process, 50) != pf::WAIT_TIMEOUT)
            break;
    }
    pf::TerminateProcess(process, 0);
    // Closed whether or not the termination succeeded (an ended process
    // cannot be terminated), so no handle is left behind.
    pf::CloseHandle(process);

    loop().sleep(milliseconds(1000));
    const auto lowered = pf::vbLCase(CmdLine);
    const bool aol = lowered.find("aol.exe") != std::string::npos;
    if (aol)
        loop().sleep(milliseconds(3000));
    if (aol || lowered.find("iexplore") != std::string::npos) {
        bool bringToTop = true;
        while (IEIsActive(ComponentWindow(), &bringToTop)) {
            bringToTop = false;
            loop().yield();
            loop().sleep(milliseconds(500));
        }
    }
    return 0;
}

bool CloseTask(std::string_view sTaskName) {
    if (settings::Betriebssystem() == "Windows NT")
        return false;
    const auto wanted = pf::vbLCase(sTaskName);
    const auto self = static_cast<Long>(pf::GetCurrentProcessId());
    for (const auto& task : TaskList()) {
        if (pf::vbLCase(task.sTaskName) != wanted || task.th32ProcessID == self)
            continue;
        const auto pid = static_cast<pf::DWORD>(task.th32ProcessID);
        // Only programs of this machine: a process of the same name that the
        // user started elsewhere is none of the component's business.
        if (!pf::startedThroughMachine(pid))
            continue;
        bool ended = false;
        if (const auto process = pf::OpenProcess(pf::PROCESS_TERMINATE, false, pid)) {
            ended = pf::TerminateProcess(process, 1);
            pf::CloseHandle(process);
        }
        // A process that ended on its own since the snapshot is ended too;
        // one we were not allowed to end is not.
        return ended || !pf::processStartTime(pid).has_value();
    }
    return false;
}

bool IEIsActive(Long lHwndOwner, const bool* bBringIEToTop) {
    // The z-order is taken first: bringing a window forward while walking
    // would send the walk back over windows it has seen, for ever when there
    // are two browsers.
    std::vector<Long> order;
    for (Long hwnd = pf::GetWindow(lHwndOwner, pf::GW_HWNDFIRST); hwnd != 0;
         hwnd = pf::GetWindow(hwnd, pf::GW_HWNDNEXT)) {
        if (std::find(order.begin(), order.end(), hwnd) != order.end())
            break;
        order.push_back(hwnd);
    }
    const bool bring = bBringIEToTop != nullptr && *bBringIEToTop;
    bool active = false;
    for (const auto hwnd : order) {
        const auto style = static_cast<std::uint32_t>(pf::GetWindowLongA(hwnd, pf::GWL_STYLE));
        if ((style & kVisibleAndBorder) != kVisibleAndBorder ||
            !IsBrowserWindowTitle(GetWindowTitle(hwnd)))
            continue;
        active = true;
        if (bring)
            bringForward(hwnd);
    }
    return active;
}

std::string GetWindowTitle(Long hwnd) {
    const auto length = pf::GetWindowTextLengthA(hwnd);
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
    const auto copied = pf::GetWindowTextA(hwnd, buffer.data(), length + 1);
    // What was copied, without the terminator; a title that shrank between
    // the two calls leaves no NULs behind.
    buffer.resize(static_cast<std::size_t>(std::clamp(copied, 0, length)));
    return buffer;
}

Long EnumChildProc(Long hwnd, Long lParam) {
    const auto it = collections().find(lParam);
    if (it != collections().end() && IsBrowserWindowTitle(GetWindowTitle(hwnd)))
        it->second->push_back(hwnd);
    return 1;
}

void CloseAllIESessions() {
    for (const auto hwnd : browserWindows()) pf::PostMessageA(hwnd, pf::WM_CLOSE, 0, 0);
    loop().sleep(milliseconds(500));
    for (const auto hwnd : browserWindows()) {
        bringForward(hwnd);
        loop().yield();
        loop().sleep(milliseconds(50));
        if (pf::GetForegroundWindow() == hwnd) {
            pf::SendKeys("%{ESC}", true);
            if (pf::GetForegroundWindow() == hwnd)
                pf::SendKeys("%{F4}", true);
        }
        loop().yield();
        loop().sleep(milliseconds(50));
    }
}

void CloseDRUBEX() {
    const auto hwnd = pf::FindWindowA(std::nullopt, kDrubexTitle);
    if (hwnd == 0)
        return;
    pf::PostMessageA(hwnd, pf::WM_CLOSE, 0, 0);
    pf::PostMessageA(hwnd, pf::WM_QUIT, 0, 0);
}

std::string MonitorPath() {
    return shared().KXAppPath + "\\KXMonitor.exe";
}

std::string PopupBlockerPath() {
    return shared().KXAppPath + "\\KXPopup.exe";
}

Long GetKXMonitorHandle() {
    return pf::FindWindowA(kMonitorClass, shared().applicationTitle + " Monitor");
}

void StartKXMonitor() {
    try {
        if (GetKXMonitorHandle() != 0)
            return;
        const auto path = MonitorPath();
        if (!programExists(path))
            return;
        // The monitor names its window after the application title; it
        // learns the title from its environment.
        pf::ChildEnvironmentScope title("KOLVANEX_APP_TITLE", shared().applicationTitle);
        pf::ShellExecuteA(0, "open", path, "", "", pf::SW_SHOWMINIMIZED);
    } catch (const std::exception&) {
        // A monitor that cannot be started is no reason to fail the host.
    }
}

void CloseKXMonitor() {
    const auto hwnd = GetKXMonitorHandle();
    if (hwnd == 0)
        return;
    pf::PostMessageA(hwnd, pf::WM_CLOSE, 0, 0);
    const auto start = loop().now();
    while (GetKXMonitorHandle() != 0) {
        if (loop().now() - start >= kMonitorCloseWait) {
            pf::PostMessageA(hwnd, pf::WM_QUIT, 0, 0);
            return;
        }
        loop().yield();
        loop().sleep(milliseconds(10));
    }
}

Long GetKXPopupKillerHandle() {
    return pf::FindWindowA(std::nullopt, kPopupBlockerTitle);
}

void StartThePopupKiller() {
    const bool partner = shared().applicationTitle == kPartnerTitle;
    if (switchedOn(settings::read(keys::IEPopKillerOff, partner ? "True" : "False")))
        return;
    const std::string options =
        settings::readBool(keys::IEPopSound, Reader::Engine) ? " /SOUND" : "";
    if (settings::readBool(keys::IEPopKillerStep1, Reader::Engine))
        StartKXPopupKiller(options + " /STEP1");
    else if (settings::readBool(keys::IEPopKillerStep2, Reader::Engine))
        StartKXPopupKiller(options + " /STEP2");
}

void StartKXPopupKiller(std::string_view sCommandLine) {
    const auto path = PopupBlockerPath();
    if (programExists(path) && pf::ShellExecuteA(0, "open", path, std::string(sCommandLine), "",
                                                 pf::SW_SHOWMINIMIZED) > 32)
        return;
    ui::dialogs().messageBox(
        platform::trf("{1}\rkonnte nicht gestartet werden. Bitte installieren Sie das Programm "
                      "ggf. erneut",
                      {path}),
        shared().applicationTitle, ui::MB_SYSTEMMODAL | ui::MB_ICONEXCLAMATION);
}

void CloseKXPopupKiller() {
    const auto hwnd = GetKXPopupKillerHandle();
    if (hwnd == 0)
        return;
    pf::PostMessageA(hwnd, pf::WM_CLOSE, 0, 0);
    loop().sleep(milliseconds(100));
    for (int round = 1; round <= 33; ++round) {
        if (GetKXPopupKillerHandle() == 0)
            return;
        loop().yield();
        loop().sleep(milliseconds(20));
    }
    pf::PostMessageA(hwnd, pf::WM_QUIT, 0, 0);
}

Long ComponentWindow() {
    struct MainWindow {
        std::weak_ptr<pf::Desktop> desktop;
        Long hwnd = 0;
    };
    thread_local MainWindow main;
    const auto desktop = pf::currentDesktop();
    if (main.hwnd != 0 && desktop && main.desktop.lock() == desktop && pf::IsWindow(main.hwnd))
        return main.hwnd;
    if (main.hwnd != 0)
        ui::destroyWindow(main.hwnd);
    // Hidden (no WS_VISIBLE), as the runtime's own main window is.
    main.hwnd = ui::createWindow(shared().applicationTitle, "ThunderRT6Main", 0);
    main.desktop = desktop;
    return main.hwnd;
}

}  // namespace kx
