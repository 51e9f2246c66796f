#pragma once
// frmProgress: the one window through which long operations report what
// they do (a log that grows line by line, a progress bar, a close button),
// and through which the user cancels them. Closing it sets gbBreak, stops a
// running encryption (the cancel handlers of frame/cancel.hpp) and closes the
// virus scanner's program.
//
// There is one per thread. Every operation here creates it (loaded, hidden)
// when the thread has none; closing discards it, and the next operation
// starts a new, empty one.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx {

struct SharedState;

class frmProgress final : public FormBase {
  public:
    frmProgress();

    std::shared_ptr<platform::ui::ListView> lvLog;        // one column "Aktion", newest line last
    std::shared_ptr<platform::ui::ProgressBar> pbBar;     // range and position set by the host
    std::shared_ptr<platform::ui::CommandButton> cmdCan;  // "Schließen"
    std::shared_ptr<platform::ui::Timer> tmrClose;        // 5000 ms, stopped at creation
    std::shared_ptr<platform::ui::Menu> mnuPopup;         // hidden; context menu of lvLog
    std::shared_ptr<platform::ui::Menu> mnuClip;          // "Protokoll ins Clipboard"
    /// The line added last.
    std::shared_ptr<platform::ui::ListItem> m_lvLastLine;

    /// The window's part of Status: stops tmrClose, appends the line,
    /// selects it and scrolls to it, shows the window when it is not on
    /// screen, yields once, and remembers the line. The checks that come
    /// before (gbQuiet, gbBreak, NoStatus) are kx::Status's.
    void addStatusLine(std::string_view text);

    /// ProgressClose: the window closes itself after `ms` milliseconds of
    /// loop time unless a new line or the user's activity stops the timer.
    /// A negative time is refused (error 380) and the timer left as it was.
    void closeAfter(std::int32_t ms);
    /// Starts tmrClose with the interval it has (after a failed registry
    /// import the window closes itself, as after ProgressClose).
    void startCloseTimer();
    void stopCloseTimer();

    /// What cmdCan does: closes the window, running the closing steps.
    void cancel();
    /// Closes the window; false when it was not loaded. Every closing step
    /// runs even when one fails; the first failure is thrown once the
    /// window is gone.
    bool close(platform::ui::UnloadMode mode = platform::ui::UnloadMode::FormCode);
    /// The window's close box.
    bool userClose() override { return close(platform::ui::UnloadMode::FormControlMenu); }

    /// What mnuClip does: the hourglass while it works; every log line
    /// followed by CR LF on the emptied clipboard. Once the text exceeds
    /// kCopyYieldLimit characters it yields after each line, so a long log
    /// does not freeze the window; the lines are those of the moment the
    /// copy began, whatever the yields change.
    void copyLogToClipboard();

  private:
    void closing();

    std::exception_ptr closingFailure_;
};

/// Characters of clipboard text after which copying yields between lines.
inline constexpr std::size_t kCopyYieldLimit = 128000;

/// The program closing the window closes unless the system is Windows NT.
inline constexpr std::string_view kVirusScannerTask = "stinger.exe";

/// The calling thread's progress window, created (loaded, hidden) when the
/// thread has none.
std::shared_ptr<frmProgress> progressWindow();
/// The thread's progress window when one exists (created and not yet
/// closed), else null.
std::shared_ptr<frmProgress> existingProgressWindow();
/// UnloadProgess: closes the window and discards it with its log. Nothing
/// happens when there is none (closing one that does not exist would set
/// gbBreak for nothing).
void unloadProgressWindow();

/// Status: appends a line to the progress window and shows it, unless
/// gbQuiet or gbBreak is set or the settings key NoStatus holds a number
/// other than 0. Creates the window first when there is none. Never fails
/// its caller: every error is trapped, and a failed step ends the call.
void Status(std::string_view sInfoString) noexcept;
/// Status with the host's quiet and break flags given rather than looked up.
void Status(const SharedState& host, std::string_view sInfoString) noexcept;

/// Where a long operation reports: its status lines, its bar and the
/// window's closing once the work is done. The public class hands one down
/// with each run; the work never looks the window up itself.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    /// A status line; never fails its caller (as Status).
    virtual void status(std::string_view line) noexcept = 0;
    /// The bar, with its window created when there is none. Its setters
    /// raise error 380 for a value it does not take.
    virtual std::shared_ptr<platform::ui::ProgressBar> bar() = 0;
    /// ProgressClose: the window closes itself after `ms` of loop time.
    virtual void closeAfter(std::int32_t ms) = 0;
    /// The window while it is open, else null; nothing is created.
    virtual std::shared_ptr<frmProgress> openWindow() = 0;
};

/// The thread's progress window as a sink; its lines obey the given host
/// state's gbQuiet and gbBreak. A window closed by a cancel is replaced by a
/// new one at the next call that needs it, as Status does.
class WindowProgress final : public ProgressSink {
  public:
    explicit WindowProgress(const SharedState& host) : host_(host) {}
    void status(std::string_view line) noexcept override { Status(host_, line); }
    std::shared_ptr<platform::ui::ProgressBar> bar() override { return progressWindow()->pbBar; }
    void closeAfter(std::int32_t ms) override { progressWindow()->closeAfter(ms); }
    std::shared_ptr<frmProgress> openWindow() override { return existingProgressWindow(); }

  private:
    const SharedState& host_;
};

/// How the closing window closes the virus scanner's program; CloseTask of
/// the public class unless replaced (tests observe the call with it). Null
/// restores CloseTask. Per thread.
using TaskCloser = std::function<void(const std::string& taskName)>;
void setTaskCloser(TaskCloser closer);

}  // namespace kx
