#pragma once
// The Qt view: renders the form models of the GUI thread as Qt windows and
// joins the two event loops. While the engine works it yields to its message
// loop, which lets Qt deliver the user's events (pumpEvents); while Qt waits
// for the user, a short timer runs the engine's loop, so the engine's timers
// fire also while a dialog is modal. A modal show runs a Qt event loop of its
// own until the form hides or unloads. A window's caption and topmost state
// are drawn when the window table reports their change.
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>

#include "platform/ui/view.hpp"
#include "platform/ui/windows.hpp"
#include "views/qt/form_window.hpp"

namespace kx::views {

class QtView final : public ui::View, public ui::WindowObserver {
  public:
    /// Needs the QApplication; binds nothing (see QtEnvironment).
    QtView();
    ~QtView() override;
    QtView(const QtView&) = delete;
    QtView& operator=(const QtView&) = delete;

    void show(ui::Form& form, bool modal) override;
    void hide(ui::Form& form) override;
    void close(ui::Form& form) override;
    void refresh(ui::Control& control) override;
    void popupMenu(ui::Form& form, ui::Menu& menu, std::optional<float> x,
                   std::optional<float> y) override;
    void pumpEvents() override;
    void windowChanged(ui::HWND hwnd) override;

    /// The window of a loaded form that was shown, or null.
    FormWindow* window(const ui::Form& form) const;

    /// For a modal Qt loop (a dialog's exec): the engine's loop runs again
    /// while it lives, also when the dialog opened inside a yield or inside
    /// the view's own timer (which Qt does not fire again while its slot
    /// runs, so the scope has a timer of its own).
    class ModalScope {
      public:
        explicit ModalScope(QtView& view);
        ~ModalScope();
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

      private:
        QtView& view_;
        int pumping_;
        bool driving_;
        QTimer tick_;
    };

  private:
    void tick();
    FormWindow* windowFor(ui::Form& form);

    std::map<const ui::Form*, FormWindow*> windows_;
    QTimer tick_;
    int pumping_ = 0;       // inside pumpEvents: the engine drives the loop
    bool driving_ = false;  // inside tick: Qt drives the engine's loop
};

}  // namespace kx::views
