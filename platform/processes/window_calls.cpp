// The Win32 window calls on the thread's desktop: finding windows, their
// titles and properties, posting and sending messages, window procedures.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

#include "platform/machine/machine.hpp"
#include "platform/processes/desktop.hpp"
#include "platform/processes/desktop_access.hpp"
#include "platform/runtime/text.hpp"

namespace kx::platform {
using detail::onDesktop;
using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;
namespace {

// Objects of a thread may outlive these tables at its exit (forms close
// their windows from destructors); after that, calls find no desktop.
thread_local bool cacheGone = false;
thread_local bool proceduresGone = false;

struct DesktopCache {
    std::string file;
    dev_t device = 0;
    ino_t inode = 0;
    std::shared_ptr<Desktop> desktop;
    std::shared_ptr<Desktop> memory;
    ~DesktopCache() { cacheGone = true; }
};

DesktopCache& cache() {
    thread_local DesktopCache c;
    return c;
}

struct Procedures {
    std::map<HWND, WindowProcedure> byWindow;
    ~Procedures() { proceduresGone = true; }
};

std::map<HWND, WindowProcedure>& procedures() {
    thread_local Procedures p;
    return p.byWindow;
}

}  // namespace

std::shared_ptr<Desktop> currentDesktop() {
    if (cacheGone)
        return nullptr;
    auto& c = cache();
    if (!hasCurrentMachine()) {
        if (!c.memory)
            c.memory = Desktop::inMemory();
        return c.memory;
    }
    const auto file = (currentMachine().prefix() / "desktop.db").string();
    struct stat st {};
    const bool present = ::stat(file.c_str(), &st) == 0;
    if (c.desktop && present && c.file == file && st.st_dev == c.device && st.st_ino == c.inode)
        return c.desktop;
    try {
        auto desktop = Desktop::open(file);
        if (::stat(file.c_str(), &st) != 0)
            return nullptr;
        c.file = file;
        c.device = st.st_dev;
        c.inode = st.st_ino;
        c.desktop = desktop;
        return desktop;
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

HWND FindWindowA(std::optional<std::string_view> className,
                 std::optional<std::string_view> windowName) {
    return onDesktop<HWND>(0, [&](Desktop& d) -> HWND {
        for (const auto& w : d.windows()) {
            if (className && !winEqualNoCase(w.className, *className))
                continue;
            if (windowName && !winEqualNoCase(w.title, *windowName))
                continue;
            return w.hwnd;
        }
        return 0;
    });
}

bool EnumWindows(const std::function<std::int32_t(HWND, LPARAM)>& callback, LPARAM lParam) {
    std::vector<WindowRecord> all;
    const bool ok = onDesktop<bool>(false, [&](Desktop& d) {
        all = d.windows();
        return true;
    });
    if (!ok)
        return false;
    // The callback runs outside the table: it may post, send or close windows.
    for (const auto& w : all) {
        if (callback(w.hwnd, lParam) == 0)
            break;
    }
    return true;
}

HWND GetWindow(HWND hwnd, UINT command) {
    return onDesktop<HWND>(0, [&](Desktop& d) -> HWND {
        const auto all = d.windows();
        const auto it = std::find_if(all.begin(), all.end(),
                                     [&](const WindowRecord& w) { return w.hwnd == hwnd; });
        if (it == all.end())
            return 0;
        switch (command) {
            case GW_HWNDFIRST:
                return all.front().hwnd;
            case GW_HWNDLAST:
                return all.back().hwnd;
            case GW_HWNDNEXT:
                return std::next(it) == all.end() ? 0 : std::next(it)->hwnd;
            case GW_HWNDPREV:
                return it == all.begin() ? 0 : std::prev(it)->hwnd;
            default:
                return 0;
        }
    });
}

bool IsWindow(HWND hwnd) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.window(hwnd).has_value(); });
}

std::int32_t GetWindowLongA(HWND hwnd, std::int32_t index) {
    if (index != GWL_STYLE)
        return 0;
    return onDesktop<std::int32_t>(0, [&](Desktop& d) {
        const auto w = d.window(hwnd);
        return w ? static_cast<std::int32_t>(w->style) : 0;
    });
}

std::int32_t GetWindowTextLengthA(HWND hwnd) {
    return onDesktop<std::int32_t>(0, [&](Desktop& d) {
        const auto w = d.window(hwnd);
        return w ? static_cast<std::int32_t>(w->title.size()) : 0;
    });
}

std::int32_t GetWindowTextA(HWND hwnd, char* buffer, std::int32_t maxCount) {
    if (buffer == nullptr || maxCount <= 0)
        return 0;
    const auto title = onDesktop<std::optional<std::string>>(
        std::nullopt, [&](Desktop& d) -> std::optional<std::string> {
            const auto w = d.window(hwnd);
            return w ? std::optional(w->title) : std::nullopt;
        });
    if (!title) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t n = std::min(title->size(), static_cast<std::size_t>(maxCount - 1));
    // Do not end inside a UTF-8 sequence.
    while (n > 0 && n < title->size() && (static_cast<unsigned char>((*title)[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buffer, title->data(), n);
    buffer[n] = '\0';
    return static_cast<std::int32_t>(n);
}

bool SetWindowTextA(HWND hwnd, std::string_view text) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.setTitle(hwnd, text); });
}

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId) {
    return onDesktop<DWORD>(0, [&](Desktop& d) -> DWORD {
        const auto w = d.window(hwnd);
        if (!w)
            return 0;
        if (processId != nullptr)
            *processId = w->processId;
        return static_cast<DWORD>(d.ownerThread(hwnd).value_or(0));
    });
}

bool PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return onDesktop<bool>(
        false, [&](Desktop& d) { return d.post(hwnd, message, wParam, lParam).has_value(); });
}

std::optional<LRESULT> SendMessageTimeoutA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           milliseconds timeout) {
    try {
        const auto desktop = currentDesktop();
        if (!desktop)
            return std::nullopt;
        const auto w = desktop->window(hwnd);
        if (!w)
            return std::nullopt;
        if (w->processId == static_cast<DWORD>(::getpid()) &&
            desktop->ownerThread(hwnd) == detail::callingThreadId()) {
            // Our own thread's window: nobody else will take it from the queue.
            if (proceduresGone)
                return std::nullopt;
            if (const auto it = procedures().find(hwnd); it != procedures().end() && it->second)
                return it->second(hwnd, message, wParam, lParam);
            return defWindowProc(*desktop, hwnd, message, wParam, lParam);
        }
        return desktop->send(hwnd, message, wParam, lParam, timeout);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageTimeoutA(hwnd, message, wParam, lParam, kSendMessageTimeout).value_or(0);
}

bool BringWindowToTop(HWND hwnd) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.bringToTop(hwnd); });
}

bool SetForegroundWindow(HWND hwnd) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.setForeground(hwnd); });
}

HWND GetForegroundWindow() {
    return onDesktop<HWND>(0, [](Desktop& d) { return d.foreground(); });
}

bool SetPropA(HWND hwnd, std::string_view name, std::int64_t value) {
    return onDesktop<bool>(false, [&](Desktop& d) { return d.setProperty(hwnd, name, value); });
}

std::int64_t GetPropA(HWND hwnd, std::string_view name) {
    return onDesktop<std::int64_t>(0,
                                   [&](Desktop& d) { return d.property(hwnd, name).value_or(0); });
}

void setWindowProcedure(HWND hwnd, WindowProcedure procedure) {
    if (proceduresGone)
        return;
    if (procedure)
        procedures()[hwnd] = std::move(procedure);
    else
        procedures().erase(hwnd);
}

LRESULT defWindowProc(Desktop& desktop, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SYSKEYDOWN || (lParam & KF_ALTDOWN_BIT) == 0)
        return 0;
    if (wParam == VK_F4) {
        desktop.post(hwnd, WM_CLOSE, 0, 0);
    } else if (wParam == VK_ESCAPE) {
        desktop.sendToBottom(hwnd);
        if (desktop.foreground() == hwnd) {
            for (const auto& w : desktop.windows()) {
                if (w.hwnd != hwnd && (w.style & WS_VISIBLE) != 0) {
                    desktop.setForeground(w.hwnd);
                    break;
                }
            }
        }
    }
    return 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return onDesktop<LRESULT>(
        0, [&](Desktop& d) { return defWindowProc(d, hwnd, message, wParam, lParam); });
}

DWORD WaitForInputIdle(HANDLE process, DWORD dwMilliseconds) {
    const DWORD pid = GetProcessId(process);
    if (pid == 0)
        return WAIT_FAILED;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        const bool hasWindow = onDesktop<bool>(false, [&](Desktop& d) {
            const auto all = d.windows();
            return std::any_of(all.begin(), all.end(),
                               [&](const WindowRecord& w) { return w.processId == pid; });
        });
        if (hasWindow)
            return WAIT_OBJECT_0;
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
            return WAIT_FAILED;
        if (dwMilliseconds != INFINITE && SteadyClock::now() >= deadline)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace kx::platform
