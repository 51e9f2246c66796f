#pragma once
// The desktop: the top-level windows of every program on the machine, with
// their z-order, the foreground window and a message queue per window.
//
// Programs are separate Linux processes, so the table lives in the machine
// prefix (<prefix>/desktop.db, SQLite in WAL mode with a busy time-out) and
// every process opens it. A program registers its window and polls it for
// messages; a window whose process has ended is dropped the next time anyone
// looks (its process id and start time no longer name a live process).
// Without a machine bound, a thread gets a private in-memory desktop, so code
// that makes windows works without a prefix.
//
// The free functions carry the Win32 names and answer as those do (0, false)
// when the desktop cannot be reached; they never throw. The Desktop class
// itself throws std::runtime_error on database failures.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/processes/process.hpp"

namespace kx::platform {

using HWND = std::int32_t;
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_SYSCHAR = 0x0106;
inline constexpr UINT WM_USER = 0x0400;

inline constexpr std::uint16_t VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10,
                               VK_CONTROL = 0x11, VK_MENU = 0x12, VK_ESCAPE = 0x1B, VK_PRIOR = 0x21,
                               VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25,
                               VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D,
                               VK_DELETE = 0x2E, VK_F1 = 0x70, VK_F4 = 0x73;
/// lParam bit of a key message sent while Alt is held.
inline constexpr LPARAM KF_ALTDOWN_BIT = LPARAM{1} << 29;

inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_MINIMIZE = 0x20000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;  // includes WS_BORDER
inline constexpr std::uint32_t WS_BORDER = 0x00800000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000u;

inline constexpr std::int32_t GWL_STYLE = -16;
inline constexpr UINT GW_HWNDFIRST = 0, GW_HWNDLAST = 1, GW_HWNDNEXT = 2, GW_HWNDPREV = 3;

struct WindowRecord {
    HWND hwnd = 0;
    std::string className;
    std::string title;
    DWORD processId = 0;
    std::uint32_t style = 0;
    bool topmost = false;
};

struct DesktopMessage {
    std::int64_t id = 0;
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool sent = false;  // the sender waits for finish()'s result
};

class Desktop {
  public:
    /// Opens (creating when absent) a desktop file.
    static std::shared_ptr<Desktop> open(const std::filesystem::path& file);
    /// A private desktop of this process.
    static std::shared_ptr<Desktop> inMemory();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    /// Registers a window of the calling process and thread on top of the
    /// z-order (below topmost windows). Handles are never 0 and never reused.
    HWND createWindow(std::string_view className, std::string_view title, std::uint32_t style);
    /// Removes a window with its queue and properties; false when it was not there.
    bool destroyWindow(HWND hwnd);

    std::optional<WindowRecord> window(HWND hwnd);
    /// Every live window, front to back (topmost ones first).
    std::vector<WindowRecord> windows();

    bool setTitle(HWND hwnd, std::string_view title);
    bool setStyle(HWND hwnd, std::uint32_t style);

    /// Queues a message; its id, or nothing when the window does not exist.
    std::optional<std::int64_t> post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    /// Posts several messages at once: all of them reach the queue, or none
    /// when the window is gone. Answers their ids in order.
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::optional<std::vector<std::int64_t>> postAll(HWND hwnd,
                                                     const std::vector<Posted>& messages);
    /// Queues a message and waits (real time) until the owner has finished
    /// it; its result, or nothing when the window went away or the time ran out
    /// (the message is then withdrawn if the owner has not taken it yet).
    std::optional<LRESULT> send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                std::chrono::milliseconds timeout);
    /// Takes the oldest waiting message of a window (sent ones first), or
    /// nothing when its queue is empty.
    std::optional<DesktopMessage> take(HWND hwnd);
    /// Marks a taken message done: a sent one gets its result back to the
    /// sender, a posted one leaves the queue.
    void finish(const DesktopMessage& message, LRESULT result);
    /// True while a message has not been finished (and its window exists).
    bool pending(std::int64_t id);

    bool bringToTop(HWND hwnd);
    bool sendToBottom(HWND hwnd);
    bool setTopmost(HWND hwnd, bool topmost);
    bool setForeground(HWND hwnd);
    /// The foreground window, 0 when none (or it has gone).
    HWND foreground();

    /// Named numbers attached to a window (SetProp/GetProp).
    bool setProperty(HWND hwnd, std::string_view name, std::int64_t value);
    std::optional<std::int64_t> property(HWND hwnd, std::string_view name);

    /// The thread (Linux thread id) that registered a window of this process.
    std::optional<std::int64_t> ownerThread(HWND hwnd);

  private:
    struct Impl;
    explicit Desktop(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

/// The desktop of the machine bound to the calling thread (opened once per
/// thread and machine), the thread's in-memory desktop when no machine is
/// bound, or null when the machine's desktop cannot be opened.
std::shared_ptr<Desktop> currentDesktop();

/// Time SendMessageA waits for the receiving program before giving up.
inline constexpr std::chrono::milliseconds kSendMessageTimeout{5000};
/// Time SendKeys waits for the foreground window to process its keys.
inline constexpr std::chrono::milliseconds kSendKeysTimeout{5000};

/// Class and title compare without regard to case; nullopt matches any.
/// Answers the frontmost match, 0 when there is none.
HWND FindWindowA(std::optional<std::string_view> className,
                 std::optional<std::string_view> windowName);
/// Calls back for each top-level window, front to back, while the callback
/// answers nonzero. False when the desktop cannot be reached.
bool EnumWindows(const std::function<std::int32_t(HWND, LPARAM)>& callback, LPARAM lParam);
/// GW_HWNDFIRST/GW_HWNDLAST: the front/back window; GW_HWNDNEXT/GW_HWNDPREV:
/// the one behind/in front of `hwnd`. 0 when there is none or `hwnd` is no window.
HWND GetWindow(HWND hwnd, UINT command);
bool IsWindow(HWND hwnd);
/// GWL_STYLE answers the style bits; other indexes answer 0.
std::int32_t GetWindowLongA(HWND hwnd, std::int32_t index);
/// Length of the title in bytes (UTF-8), 0 for no window.
std::int32_t GetWindowTextLengthA(HWND hwnd);
/// Copies at most maxCount - 1 bytes of the title (never cutting a character
/// in two) and a NUL; answers the bytes copied.
std::int32_t GetWindowTextA(HWND hwnd, char* buffer, std::int32_t maxCount);
bool SetWindowTextA(HWND hwnd, std::string_view text);
/// The owning process's id into *processId (when not null); answers the
/// owning thread's id, 0 for no window.
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);

bool PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
/// Delivers and waits until the message is processed: a window of the
/// calling thread runs its window procedure (setWindowProcedure) at once, or
/// DefWindowProcA when it has none; any other window's owner gets it through
/// its queue and the call waits up to kSendMessageTimeout. 0 when it failed.
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
std::optional<LRESULT> SendMessageTimeoutA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           std::chrono::milliseconds timeout);

bool BringWindowToTop(HWND hwnd);
bool SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();

bool SetPropA(HWND hwnd, std::string_view name, std::int64_t value);
/// 0 when the window has no such property.
std::int64_t GetPropA(HWND hwnd, std::string_view name);

/// Keystrokes in the runtime's SendKeys notation ("%{F4}", "^c", "{ENTER}",
/// "+(ab)", "{TAB 3}") posted as key messages to the foreground window. With
/// `wait`, returns when the window has processed them (or kSendKeysTimeout
/// passed). False for a malformed text or when there is no foreground window.
bool SendKeys(std::string_view keys, bool wait);

/// What Windows does with a message a program leaves alone: Alt+F4 posts
/// WM_CLOSE to the window; Alt+Esc moves it to the back of the z-order and
/// makes the frontmost other visible window the foreground window. Answers 0.
LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT defWindowProc(Desktop& desktop, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

/// Window procedures of the calling thread's own windows, which
/// SendMessageA calls directly (a null function removes it).
using WindowProcedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
void setWindowProcedure(HWND hwnd, WindowProcedure procedure);

/// Waits up to `milliseconds` for a started program to be ready for input,
/// which here means: it has registered a window. WAIT_OBJECT_0 then,
/// WAIT_TIMEOUT when the time ran out, WAIT_FAILED for a bad handle or a
/// program that ended without a window. Waits in real time.
DWORD WaitForInputIdle(HANDLE process, DWORD milliseconds);

}  // namespace kx::platform
