#include "services/progress.hpp"

#include <utility>

#include "core/shared_state.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/clipboard.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/cancel.hpp"
#include "services/processes.hpp"
#include "settings/keys.hpp"
#include "settings/system_info.hpp"

namespace kx {
namespace {

namespace ui = platform::ui;

struct ProgressSlot {
    std::shared_ptr<frmProgress> window;
    TaskCloser taskCloser;
};

ProgressSlot& slot() {
    thread_local ProgressSlot s;
    return s;
}

void closeTask(const std::string& taskName) {
    if (slot().taskCloser) {
        auto closer = slot().taskCloser;
        closer(taskName);
        return;
    }
    // Whether the scanner ran or not, and whether closing it worked, is of
    // no interest to a closing window: the answer is not looked at.
    (void)CloseTask(taskName);
}

// NoStatus is a check state written as "1"/"0"; text that is no number
// counts as 0, so a damaged value never silences the log.
bool statusSwitchedOff() {
    const auto text = settings::read(settings::keys::NoStatus, settings::Reader::Engine);
    try {
        return platform::toDouble(Variant(text)) != 0;
    } catch (const platform::RuntimeError&) {
        return false;
    }
}

}  // namespace

frmProgress::frmProgress() : FormBase("KOLVANEX 3", Topmost::Never) {
    name = "frmProgress";
    width = 7200;
    height = 4560;
    keyPreview = true;

    lvLog = add<ui::ListView>("lvLog");
    lvLog->addColumn(std::string(platform::tr("Aktion")), 6900);
    pbBar = add<ui::ProgressBar>("pbBar");
    cmdCan = add<ui::CommandButton>("cmdCan");
    cmdCan->caption = platform::tr("Schließen");
    tmrClose = add<ui::Timer>("tmrClose");
    tmrClose->stop();  // before the interval, which would start an enabled timer
    tmrClose->setInterval(5000);
    mnuPopup = add<ui::Menu>("mnuPopup");
    mnuPopup->caption = "Popup";
    mnuPopup->visible = false;
    mnuClip = add<ui::Menu>("mnuClip");
    mnuClip->caption = platform::tr("Protokoll ins Clipboard");
    mnuPopup->add(mnuClip);

    Load = [this] { stopCloseTimer(); };
    Unload = [this](bool&) { closing(); };
    cmdCan->Click = [this] { cancel(); };
    tmrClose->TimerEvent = [this] { cancel(); };
    mnuClip->Click = [this] { copyLogToClipboard(); };

    // The user's activity keeps the window open.
    KeyDown = [this](std::int16_t& keyCode, std::int16_t) {
        stopCloseTimer();
        if (keyCode == ui::vbKeyF1)
            keyCode = 0;  // no help for this window
    };
    MouseMove = [this](std::int16_t, std::int16_t, float, float) { stopCloseTimer(); };
    lvLog->KeyDown = [this](std::int16_t& keyCode, std::int16_t) {
        stopCloseTimer();
        if (keyCode == ui::vbKeyApps)
            popupMenu(*mnuPopup);
    };
    lvLog->MouseUp = [this](std::int16_t button, std::int16_t shift, float, float) {
        if (button != ui::vbRightButton)
            return;
        stopCloseTimer();
        if (shift == 0)
            popupMenu(*mnuPopup);
    };
}

void frmProgress::addStatusLine(std::string_view text) {
    stopCloseTimer();
    auto line = lvLog->add(std::string(text));
    const std::size_t index = lvLog->count() - 1;  // the log is never sorted
    lvLog->select(index);
    lvLog->ensureVisible(index);
    if (!isVisible())
        show(false);
    // Where the user's click on "Schließen" lands during a long operation.
    ui::yield();
    m_lvLastLine = std::move(line);
}

void frmProgress::closeAfter(std::int32_t ms) {
    tmrClose->setInterval(ms);
    tmrClose->start();
}

void frmProgress::startCloseTimer() {
    tmrClose->start();
}

void frmProgress::stopCloseTimer() {
    tmrClose->stop();
}

void frmProgress::cancel() {
    close(ui::UnloadMode::FormCode);
}

bool frmProgress::close(ui::UnloadMode mode) {
    const bool closed = unload(mode);
    if (auto failure = std::exchange(closingFailure_, nullptr))
        std::rethrow_exception(failure);
    return closed;
}

void frmProgress::closing() {
    // A window on its way out does not close itself a second time.
    stopCloseTimer();
    shared().gbBreak = true;

    // Each step runs even when the one before failed: the cipher must stop
    // even if the bar could not be reset. The first failure goes to the
    // caller of close() once the window is gone.
    std::exception_ptr failure;
    const auto step = [&failure](auto&& work) {
        try {
            work();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };
    step([this] { pbBar->setValue(pbBar->min()); });
    ui::yield();
    step([] { runCancelHandlers(); });
    step([] {
        if (settings::Betriebssystem() != "Windows NT")
            closeTask(std::string(kVirusScannerTask));
    });
    closingFailure_ = failure;
}

void frmProgress::copyLogToClipboard() {
    ui::HourglassCursor busy;
    // The pointers of the moment: a yield may let the user close the window
    // or add lines, which must not pull the list from under the loop.
    const auto lines = lvLog->items();
    std::string text;
    std::size_t count = 0;
    for (const auto& line : lines) {
        text += line->text;
        text += "\r\n";
        count += platform::characterCount(line->text) + 2;
        if (count > kCopyYieldLimit)
            ui::yield();
    }
    auto& clipboard = ui::clipboard();
    clipboard.clear();
    clipboard.setText(text);
}

std::shared_ptr<frmProgress> progressWindow() {
    auto& s = slot();
    if (!s.window || !s.window->isLoaded()) {
        auto fresh = std::make_shared<frmProgress>();
        fresh->load();
        s.window = std::move(fresh);
    }
    return s.window;
}

std::shared_ptr<frmProgress> existingProgressWindow() {
    auto& s = slot();
    return s.window && s.window->isLoaded() ? s.window : nullptr;
}

void unloadProgressWindow() {
    const auto window = existingProgressWindow();
    if (!window)
        return;
    // Discarded also when a closing step failed: the window is gone then.
    struct Discard {
        const std::shared_ptr<frmProgress>& window;
        ~Discard() {
            if (!window->isLoaded() && slot().window == window)
                slot().window.reset();
        }
    } discard{window};
    window->close(ui::UnloadMode::FormCode);
}

void Status(std::string_view sInfoString) noexcept {
    Status(shared(), sInfoString);
}

void Status(const SharedState& host, std::string_view sInfoString) noexcept {
    // The boundary of Status: a status line is never worth failing the
    // operation that reports it, so nothing here reaches the caller.
    try {
        const auto window = progressWindow();
        if (host.gbQuiet || host.gbBreak)
            return;
        if (statusSwitchedOff())
            return;
        window->addStatusLine(sInfoString);
    } catch (...) {
    }
}

void setTaskCloser(TaskCloser closer) {
    slot().taskCloser = std::move(closer);
}

}  // namespace kx
