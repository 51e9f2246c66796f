#include "platform/ui/windows.hpp"

#include <map>
#include <memory>

#include "platform/processes/desktop.hpp"

namespace kx::platform::ui {
namespace {

// Forms of a thread die at its exit, possibly after this table: once it is
// gone, their windows are left for the desktop to drop with our process.
thread_local bool tableGone = false;

// The windows this thread made, with the desktop each lives in: a window
// made before a machine was bound must still answer after the binding
// changed, as a form outlives such changes.
struct WindowTable {
    std::map<HWND, std::shared_ptr<Desktop>> own;
    ScreenMetrics screen;
    Control* focus = nullptr;
    ~WindowTable() { tableGone = true; }
};

WindowTable& table() {
    thread_local WindowTable t;
    return t;
}

std::shared_ptr<Desktop> desktopOf(HWND hwnd) {
    if (tableGone)
        return nullptr;
    const auto& own = table().own;
    if (const auto it = own.find(hwnd); it != own.end())
        return it->second;
    try {
        return currentDesktop();
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Tells the bound observer about a change to one of this thread's windows;
// other windows are drawn by whoever made them.
void notifyChange(HWND hwnd) {
    if (tableGone || !table().own.contains(hwnd))
        return;
    if (auto* observer = boundService<WindowObserver>(); observer != nullptr)
        observer->windowChanged(hwnd);
}

}  // namespace

HWND createWindow(std::string_view title) {
    return createWindow(title, kFormClass, kFormStyle);
}

HWND createWindow(std::string_view title, std::string_view className, std::uint32_t style) {
    std::shared_ptr<Desktop> desktop;
    HWND hwnd = 0;
    try {
        desktop = currentDesktop();
        if (desktop)
            hwnd = desktop->createWindow(className, title, style);
    } catch (const std::exception&) {
        hwnd = 0;
    }
    if (hwnd == 0) {
        // A form must get its window even when the shared desktop is busy or
        // broken; it is then only visible to this thread.
        desktop = Desktop::inMemory();
        hwnd = desktop->createWindow(className, title, style);
    }
    table().own[hwnd] = std::move(desktop);
    return hwnd;
}

void destroyWindow(HWND hwnd) {
    if (tableGone)
        return;
    auto& own = table().own;
    const auto it = own.find(hwnd);
    if (it == own.end())
        return;
    const auto desktop = it->second;
    own.erase(it);
    setWindowProcedure(hwnd, nullptr);
    try {
        desktop->destroyWindow(hwnd);
    } catch (const std::exception&) {
        // The table is unreachable; the window goes with our process.
    }
}

bool isWindow(HWND hwnd) {
    const auto desktop = desktopOf(hwnd);
    try {
        return desktop && desktop->window(hwnd).has_value();
    } catch (const std::exception&) {
        // Our own window is there as long as we did not destroy it.
        return table().own.contains(hwnd);
    }
}

std::optional<bool> isTopmost(HWND hwnd) {
    const auto desktop = desktopOf(hwnd);
    try {
        if (!desktop)
            return std::nullopt;
        const auto w = desktop->window(hwnd);
        if (!w)
            return std::nullopt;
        return w->topmost;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool SetWindowPos(HWND hwnd, HWND insertAfter, std::int32_t, std::int32_t, std::int32_t,
                  std::int32_t, std::uint32_t flags) {
    const auto desktop = desktopOf(hwnd);
    try {
        if (!desktop || !desktop->window(hwnd))
            return false;
        if ((flags & SWP_NOZORDER) != 0)
            return true;
        switch (insertAfter) {
            case HWND_TOPMOST:
            case HWND_NOTOPMOST: {
                const bool done = desktop->setTopmost(hwnd, insertAfter == HWND_TOPMOST);
                notifyChange(hwnd);
                return done;
            }
            case HWND_TOP:
                return desktop->bringToTop(hwnd);
            case HWND_BOTTOM:
                return desktop->sendToBottom(hwnd);
            default:
                return true;  // placed behind another window: the order is not kept that finely
        }
    } catch (const std::exception&) {
        return false;
    }
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
    return tableGone ? nullptr : table().focus;
}
void setFocusedControl(Control* control) {
    if (!tableGone)
        table().focus = control;
}

bool setWindowTitle(HWND hwnd, std::string_view title) {
    const auto desktop = desktopOf(hwnd);
    bool done = false;
    try {
        done = desktop && desktop->setTitle(hwnd, title);
    } catch (const std::exception&) {
        done = false;
    }
    // A form's caption changes with its title even when the desktop could
    // not take it, and the view draws the caption.
    notifyChange(hwnd);
    return done;
}

}  // namespace kx::platform::ui
