#pragma once
// Top-level windows of this process as the window manager calls see them:
// handles, titles, the topmost state, and the screen's work area.
//
// The windows live on the desktop (platform/desktop.hpp): the machine's
// shared table when a machine is bound, so other programs find our forms as
// we find theirs, else the thread's private in-memory desktop. A window
// stays in the desktop it was made in, also when the binding changes later.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/runtime/thread_binding.hpp"
#include "platform/ui/controls.hpp"

namespace kx::platform::ui {

inline constexpr HWND HWND_TOP = 0;
inline constexpr HWND HWND_BOTTOM = 1;
inline constexpr HWND HWND_TOPMOST = -1;
inline constexpr HWND HWND_NOTOPMOST = -2;
inline constexpr std::uint32_t SWP_NOSIZE = 0x1;
inline constexpr std::uint32_t SWP_NOMOVE = 0x2;
inline constexpr std::uint32_t SWP_NOZORDER = 0x4;
inline constexpr std::uint32_t SPI_GETWORKAREA = 48;

/// The class of the engine's forms, as the runtime named its form windows.
inline constexpr std::string_view kFormClass = "ThunderRT6FormDC";
/// WS_VISIBLE | WS_CAPTION | WS_SYSMENU: a shown form with a title bar.
inline constexpr std::uint32_t kFormStyle = 0x10C80000u;

struct RECT {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

/// Told when a window of this thread changes its title or its topmost
/// state, so that a view draws the change at once instead of looking for
/// it. A view binds itself for as long as it draws windows.
class WindowObserver {
  public:
    virtual ~WindowObserver() = default;
    virtual void windowChanged(HWND hwnd) = 0;
};
using WindowObserverScope = BindingScope<WindowObserver>;

/// Registers a form window (class kFormClass, style kFormStyle) and answers
/// its handle (never 0). When the machine's desktop cannot be reached the
/// window goes to the thread's in-memory desktop rather than failing.
HWND createWindow(std::string_view title);
/// The same with a class and style of the caller's choosing (a hidden main
/// window has no WS_VISIBLE).
HWND createWindow(std::string_view title, std::string_view className, std::uint32_t style);
/// Takes a window of this thread away (nothing for other handles).
void destroyWindow(HWND hwnd);
/// Sets a window's title (a form's caption); false for an unknown handle.
bool setWindowTitle(HWND hwnd, std::string_view title);
/// True for a window of this thread that was not destroyed, and for any
/// window of the current desktop.
bool isWindow(HWND hwnd);
std::optional<bool> isTopmost(HWND hwnd);

/// Moves a window in the z-order: HWND_TOPMOST/HWND_NOTOPMOST set or clear
/// the topmost state, HWND_TOP/HWND_BOTTOM move it to the front/back
/// (SWP_NOZORDER leaves the order alone). Position and size are not kept.
/// Answers false for an unknown handle.
bool SetWindowPos(HWND hwnd, HWND insertAfter, std::int32_t x, std::int32_t y, std::int32_t cx,
                  std::int32_t cy, std::uint32_t flags);

/// SPI_GETWORKAREA fills `rect`; other actions answer false.
bool SystemParametersInfoA(std::uint32_t action, std::uint32_t param, RECT* rect,
                           std::uint32_t winIni);

/// The screen as the views report it: work area in pixels and twips per pixel.
struct ScreenMetrics {
    RECT workArea{0, 0, 1024, 738};
    std::int32_t twipsPerPixelX = 15;
    std::int32_t twipsPerPixelY = 15;
};
ScreenMetrics& screenMetrics();

}  // namespace kx::platform::ui
