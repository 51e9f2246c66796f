#pragma once
// Starting and stopping other programs and closing windows: helper programs
// run and waited for, processes ended by name, browser windows found and
// closed, and the suite's two companion programs, the monitor (KXMonitor)
// and the popup blocker (KXPopup), started and stopped.
//
// Every wait runs on the host's thread through the message loop (its clock
// and its yield), so dialogs and the progress window stay responsive and
// tests can drive the time where no real process is involved.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "core/automation.hpp"

namespace kx {

/// One running process as a process search reports it.
class CTask {
  public:
    std::string sTaskName;  // the executable name from the process snapshot
    Long th32ProcessID = 0;
};

/// The popup blocker's window title (the component's resource string 203).
inline constexpr std::string_view kPopupBlockerTitle = "KOLVANEX - Popup-blocker";
/// The window class of the monitor's main window.
inline constexpr std::string_view kMonitorClass = "ThunderRT6Form";
/// The Drubex ad blocker's window title.
inline constexpr std::string_view kDrubexTitle = "DRUBEX - Reklameblockierung für den Internet-PC";
/// How long CloseKXMonitor waits (message-loop time) for the monitor to go
/// after WM_CLOSE before it sends WM_QUIT and gives up.
inline constexpr std::chrono::milliseconds kMonitorCloseWait{10000};

/// True when the title contains " - Mozilla Firefox", "Opera - ",
/// "- Microsoft Internet Explorer", " - Mozilla" or " - Netscape" (case
/// matters), or is exactly "AOL".
bool IsBrowserWindowTitle(std::string_view title);

/// The running processes of the user, in snapshot order.
std::vector<CTask> TaskList();

/// Runs a command line and waits for it: at most lWaitNSeconds seconds when
/// that is positive (then the program is terminated), else until it ends;
/// then one more second (four for AOL), and for a browser command line
/// ("iexplore", "aol.exe") until no browser window is open any more.
/// -1 when the program could not be started, else 0.
Long ShellAndWait(const std::string& CmdLine, VbAppWinStyle xWindowStyle, Long lWaitNSeconds);

/// Ends the first process of this machine (one started through it, or by a
/// program that was) whose executable name equals sTaskName (any case); true
/// when it no longer runs. Processes of that name the user started elsewhere
/// are left running. Does nothing on Windows NT. Never ends the component's
/// own process.
bool CloseTask(std::string_view sTaskName);

/// True when a visible, bordered top-level window has a browser title. With
/// *bBringIEToTop set, every such window is brought to the front.
bool IEIsActive(Long lHwndOwner, const bool* bBringIEToTop);

/// The window's title ("" for no window).
std::string GetWindowTitle(Long hwnd);

/// The callback CloseAllIESessions enumerates windows with. It collects
/// browser windows while such a collection runs and always answers 1 so the
/// enumeration goes on; called from outside, it changes nothing.
Long EnumChildProc(Long hwnd, Long lParam);

/// Closes every browser window: WM_CLOSE first, then Alt+Esc and Alt+F4 to
/// those still open.
void CloseAllIESessions();
/// Asks the Drubex ad blocker to close (WM_CLOSE, then WM_QUIT).
void CloseDRUBEX();

/// The monitor's and popup blocker's program files (KXAppPath + "\...").
std::string MonitorPath();
std::string PopupBlockerPath();

/// The monitor's window: class "ThunderRT6Form", title = application title +
/// " Monitor"; 0 when it is not running.
Long GetKXMonitorHandle();
/// Starts the monitor minimized unless it runs; a missing program is ignored.
void StartKXMonitor();
/// Asks the monitor to close and waits up to kMonitorCloseWait for its
/// window to go; past that it is sent WM_QUIT and left alone.
void CloseKXMonitor();

/// The popup blocker's window ("KOLVANEX - Popup-blocker", any class).
Long GetKXPopupKillerHandle();
/// Starts the popup blocker as the settings say (IEPopKillerOff,
/// IEPopSound, IEPopKillerStep1/2).
void StartThePopupKiller();
/// Starts the popup blocker minimized with the options; when it is missing
/// or does not start, the user is told so.
void StartKXPopupKiller(std::string_view sCommandLine);
/// Asks the popup blocker to close; after about 0.8 s it is sent WM_QUIT.
void CloseKXPopupKiller();

/// The component's hidden main window (class "ThunderRT6Main"), made on the
/// current desktop on first use and again when the desktop changed.
Long ComponentWindow();

}  // namespace kx
