#include "views/qt/qt_view.hpp"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>

#include "platform/ui/message_loop.hpp"
#include "platform/ui/windows.hpp"

namespace kx::views {
namespace {

// How often Qt runs the engine's loop while nobody else does.
constexpr int kTickMs = 10;

}  // namespace

QtView::QtView() {
    QObject::connect(&tick_, &QTimer::timeout, [this] { tick(); });
    tick_.start(kTickMs);
}

QtView::~QtView() {
    tick_.stop();
    for (auto& [form, window] : windows_) delete window;
}

FormWindow* QtView::window(const ui::Form& form) const {
    const auto it = windows_.find(&form);
    return it == windows_.end() || it->second->detached() ? nullptr : it->second;
}

FormWindow* QtView::windowFor(ui::Form& form) {
    if (auto* existing = window(form); existing != nullptr && existing->formAlive())
        return existing;
    if (auto it = windows_.find(&form); it != windows_.end()) {
        // A window left from a form that went away without unloading, at
        // the same address.
        it->second->detach();
        windows_.erase(it);
    }
    auto* created = new FormWindow(form);
    windows_[&form] = created;
    return created;
}

void QtView::show(ui::Form& form, bool modal) {
    FormWindow* window = windowFor(form);
    window->pullAll();
    window->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    window->show();
    window->raise();
    window->activateWindow();
    if (!modal)
        return;
    QEventLoop loop;
    window->modalLoop = &loop;
    {
        const ModalScope scope(*this);
        // The form may have hidden itself already (while loading).
        if (form.isVisible() && window->formAlive())
            loop.exec();
    }
    // The window may be on its way out (the form unloaded): look it up again.
    if (auto* still = this->window(form); still != nullptr)
        still->modalLoop = nullptr;
}

void QtView::hide(ui::Form& form) {
    if (auto* window = this->window(form); window != nullptr) {
        window->hide();
        if (window->modalLoop != nullptr)
            window->modalLoop->quit();
    }
}

void QtView::close(ui::Form& form) {
    const auto it = windows_.find(&form);
    if (it == windows_.end())
        return;
    it->second->detach();
    windows_.erase(it);
}

void QtView::refresh(ui::Control& control) {
    const ui::Form* form = control.form();
    if (form == nullptr)
        return;
    if (auto* window = this->window(*form); window != nullptr) {
        if (auto* binder = window->binder(control.serial()); binder != nullptr)
            binder->pull();
    }
}

void QtView::popupMenu(ui::Form& form, ui::Menu& menu, std::optional<float> x,
                       std::optional<float> y) {
    QMenu popup(window(form));
    addMenuItems(popup, menu);
    QPoint at = QCursor::pos();
    if (x && y) {
        if (auto* w = window(form); w != nullptr) {
            const auto& metrics = ui::screenMetrics();
            at = w->mapToGlobal(QPoint(static_cast<int>(*x) / metrics.twipsPerPixelX,
                                       static_cast<int>(*y) / metrics.twipsPerPixelY));
        }
    }
    // The chosen item's click runs before exec returns.
    const ModalScope scope(*this);
    popup.exec(at);
}

void QtView::pumpEvents() {
    // Inside the tick Qt is delivering events already.
    if (driving_)
        return;
    ++pumping_;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    --pumping_;
}

void QtView::windowChanged(ui::HWND hwnd) {
    for (const auto& [form, window] : windows_) {
        if (window->formAlive() && window->hWnd() == hwnd)
            window->pullCaption();
    }
}

void QtView::tick() {
    // Windows whose form went away without unloading.
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (!it->second->formAlive()) {
            it->second->detach();
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }
    if (pumping_ > 0 || driving_)
        return;  // the engine is running its loop itself
    driving_ = true;
    ui::MessageLoop::current().yield();
    driving_ = false;
}

QtView::ModalScope::ModalScope(QtView& view)
    : view_(view), pumping_(view.pumping_), driving_(view.driving_) {
    view_.pumping_ = 0;
    view_.driving_ = false;
    QObject::connect(&tick_, &QTimer::timeout, [this] { view_.tick(); });
    tick_.start(kTickMs);
}

QtView::ModalScope::~ModalScope() {
    view_.pumping_ = pumping_;
    view_.driving_ = driving_;
}

}  // namespace kx::views
