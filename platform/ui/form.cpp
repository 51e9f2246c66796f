// Forms: loading, showing, hiding and unloading through the view, with the
// form's own window on the desktop.
#include "platform/ui/control_events.hpp"
#include "platform/ui/view.hpp"
#include "platform/ui/windows.hpp"

namespace kx::platform::ui {
using namespace detail;
Form::~Form() {
    for (const auto& control : controls) {
        control->form_ = nullptr;
        if (auto* timer = dynamic_cast<Timer*>(control.get()))
            timer->stop();
    }
    // No view is told here: a form dies last of all at thread exit, when the
    // view may be gone already.
    if (state_ != State::Unloaded)
        releaseWindow();
}

void Form::releaseWindow() {
    if (hWnd != 0)
        destroyWindow(hWnd);
    hWnd = 0;
}

void Form::load() {
    if (state_ != State::Unloaded)
        return;
    hWnd = createWindow(caption);
    state_ = State::Loaded;
    try {
        onLoad();
        fireWith(Load);
    } catch (...) {
        // A form whose Load failed is not loaded; the caller gets the error.
        state_ = State::Unloaded;
        releaseWindow();
        throw;
    }
}

void Form::show(bool modal) {
    load();
    if (modal && shown_)
        throw RuntimeError{
            400,
            std::string(tr("Formular wird bereits angezeigt; kann nicht modal angezeigt werden"))};
    shown_ = true;
    modal_ = modal;
    try {
        view().show(*this, modal);
    } catch (...) {
        shown_ = false;
        modal_ = false;
        throw;
    }
    if (modal) {
        modal_ = false;
        if (shown_ && isLoaded())
            hide();
    }
}

void Form::hide() {
    if (!shown_)
        return;
    shown_ = false;
    modal_ = false;
    view().hide(*this);
}

bool Form::unload(UnloadMode mode) {
    if (state_ != State::Loaded)
        return true;
    state_ = State::Unloading;
    bool cancel = false;
    try {
        fireWith(QueryUnload, cancel, mode);
        if (!cancel)
            fireWith(Unload, cancel);
    } catch (...) {
        state_ = State::Loaded;
        throw;
    }
    if (cancel) {
        state_ = State::Loaded;
        return false;
    }
    for (const auto& control : controls) {
        if (auto* timer = dynamic_cast<Timer*>(control.get()))
            timer->stop();
        if (focusedControl() == control.get())
            setFocusedControl(nullptr);
    }
    shown_ = false;
    modal_ = false;
    state_ = State::Unloaded;
    releaseWindow();
    view().close(*this);
    return true;
}

void Form::setCaption(std::string text) {
    caption = std::move(text);
    if (hWnd != 0)
        setWindowTitle(hWnd, caption);
}

void Form::popupMenu(Menu& menu, std::optional<float> x, std::optional<float> y) {
    view().popupMenu(*this, menu, x, y);
}

std::int16_t Form::keyDown(std::int16_t keyCode, std::int16_t shift) {
    if (enabled)
        fireWith(KeyDown, keyCode, shift);
    return keyCode;
}

void Form::mouseMove(std::int16_t button, std::int16_t shift, float x, float y) {
    if (enabled)
        fireWith(MouseMove, button, shift, x, y);
}

}  // namespace kx::platform::ui
