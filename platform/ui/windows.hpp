#pragma once
// Top-level windows of this process as the window manager calls see them:
// handles, titles, the topmost state, and the screen's work area.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ui/controls.hpp"

namespace kx::platform::ui {

inline constexpr HWND HWND_TOPMOST = -1;
inline constexpr HWND HWND_NOTOPMOST = -2;
inline constexpr std::uint32_t SWP_NOSIZE = 0x1;
inline constexpr std::uint32_t SWP_NOMOVE = 0x2;
inline constexpr std::uint32_t SPI_GETWORKAREA = 48;

struct RECT {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

/// Registers a window and answers its handle (never 0).
HWND createWindow(std::string title);
void destroyWindow(HWND hwnd);
bool isWindow(HWND hwnd);
std::optional<bool> isTopmost(HWND hwnd);

/// Moves a window in the z-order; with SWP_NOMOVE | SWP_NOSIZE only the
/// topmost state changes. Answers false for an unknown handle.
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
