#pragma once
// A program's own window on the desktop, and the life of a companion
// program: open the machine, register the window, answer its messages until
// it is told to go, and take the window away again.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/processes/desktop.hpp"

namespace kx::platform {

/// A window this program registered; unregistered when destroyed.
class ProgramWindow {
  public:
    ProgramWindow(std::shared_ptr<Desktop> desktop, std::string_view className,
                  std::string_view title, std::uint32_t style);
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    Desktop& desktop() { return *desktop_; }

    /// The next message of the window, taken off its queue; waits (polling,
    /// real time) up to `timeout`, nothing when none came or the window is gone.
    std::optional<DesktopMessage> next(std::chrono::milliseconds timeout);
    /// Tells a sender the result (for sent messages) and drops the message.
    void finish(const DesktopMessage& message, LRESULT result);
    /// Unregisters the window now.
    void destroy();

  private:
    std::shared_ptr<Desktop> desktop_;
    HWND hwnd_ = 0;
};

/// The style of a window shown with a show-window code: visible unless
/// SW_HIDE, minimized for the minimizing codes.
std::uint32_t styleForShowWindow(std::uint32_t style, std::uint16_t showWindow);

/// The show-window code a program was started with (KOLVANEX_SHOW_WINDOW,
/// set by CreateProcessA), SW_SHOWNORMAL when absent or unreadable.
std::uint16_t startShowWindow();

/// The options every companion program takes: "--prefix DIR" (else
/// $KOLVANEX_PREFIX, else the default prefix) and "--title TEXT" (the
/// application title, else $KOLVANEX_APP_TITLE, else "Kolvanex"). Other words
/// are kept in order for the program's own options.
struct CompanionArguments {
    std::filesystem::path prefix;
    std::string applicationTitle;
    std::vector<std::string> rest;
    std::string error;  // a malformed option, "" when all is well
};
CompanionArguments parseCompanionArguments(int argc, char** argv);

struct CompanionWindow {
    std::string className;
    std::string title;
    std::uint32_t style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    /// Window properties (what the program was told), set before the window
    /// takes its title and so before anyone can find it.
    std::vector<std::pair<std::string, std::int64_t>> properties;
    /// A test mode: WM_CLOSE (and Alt+F4) are counted in the property
    /// "CLOSEREQUESTS" but do not end the program; only WM_QUIT does.
    bool ignoreClose = false;
};

/// Runs a companion program: opens and binds the machine at `prefix`,
/// registers the window on its desktop and keeps it until WM_CLOSE (the
/// window is taken away, exit status 0), WM_QUIT (exit status wParam) or
/// SIGTERM/SIGINT/SIGHUP (exit status 0). Exit status 1 when the machine or its desktop cannot be
/// opened.
int runCompanion(const std::filesystem::path& prefix, const CompanionWindow& window);

}  // namespace kx::platform
