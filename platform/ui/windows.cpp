#include "platform/ui/windows.hpp"

#include <map>

namespace kx::platform::ui {
namespace {

struct WindowEntry {
    std::string title;
    bool topmost = false;
};

// The window table and the screen belong to the thread that runs the
// message loop, as Windows ties windows to the thread that made them.
struct WindowTable {
    std::map<HWND, WindowEntry> windows;
    HWND next = 0x10010;
    ScreenMetrics screen;
    Control* focus = nullptr;
};

WindowTable& table() {
    thread_local WindowTable t;
    return t;
}

}  // namespace

HWND createWindow(std::string title) {
    auto& t = table();
    const HWND hwnd = t.next;
    t.next += 2;
    t.windows[hwnd] = WindowEntry{std::move(title), false};
    return hwnd;
}

void destroyWindow(HWND hwnd) {
    table().windows.erase(hwnd);
}
bool isWindow(HWND hwnd) {
    return table().windows.contains(hwnd);
}

std::optional<bool> isTopmost(HWND hwnd) {
    const auto it = table().windows.find(hwnd);
    if (it == table().windows.end())
        return std::nullopt;
    return it->second.topmost;
}

bool SetWindowPos(HWND hwnd, HWND insertAfter, std::int32_t, std::int32_t, std::int32_t,
                  std::int32_t, std::uint32_t) {
    const auto it = table().windows.find(hwnd);
    if (it == table().windows.end())
        return false;
    if (insertAfter == HWND_TOPMOST)
        it->second.topmost = true;
    if (insertAfter == HWND_NOTOPMOST)
        it->second.topmost = false;
    return true;
}

bool SystemParametersInfoA(std::uint32_t action, std::uint32_t, RECT* rect, std::uint32_t) {
    if (action != SPI_GETWORKAREA || rect == nullptr)
        return false;
    *rect = table().screen.workArea;
    return true;
}

ScreenMetrics& screenMetrics() {
    return table().screen;
}

Control* focusedControl() {
    return table().focus;
}
void setFocusedControl(Control* control) {
    table().focus = control;
}

}  // namespace kx::platform::ui
