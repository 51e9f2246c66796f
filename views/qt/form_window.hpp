#pragma once
// The window of one form model: a dialog holding one widget per control,
// with the form's caption and topmost state. A form whose controls all have
// a position and size is drawn as designed (frames and tab pages hold their
// controls; the design is scaled up when the screen's font is larger than
// the one it was made for); any other form is laid out from its control
// tree (tab strips on top, pictures at the left, the other controls in
// their order, the buttons in a row at the bottom). The window's close box,
// its keys and mouse movements go to the form.
#include <QDialog>
#include <QEventLoop>
#include <QStringList>

#include <memory>
#include <vector>

#include "views/qt/binders.hpp"

namespace kx::views {

class FormWindow final : public QDialog {
  public:
    explicit FormWindow(ui::Form& form);
    ~FormWindow() override;

    ui::Form& form() const { return *form_; }
    /// The handle of the form's window this window was made for.
    ui::HWND hWnd() const { return hWnd_; }
    /// The form this window was made for still exists (its window handle
    /// is still registered), so `form()` may be used.
    bool formAlive() const;

    /// Shows every control's state, the caption and the topmost state.
    void pullAll();
    void pullCaption();
    /// The binder of a control of this form, or null.
    Binder* binder(std::uint64_t serial) const;
    /// The widget made for the control of that name, or null.
    QWidget* widgetOf(std::string_view controlName) const;

    /// Texts that do not fit their widgets, as "control: text".
    QStringList clippedTexts() const;
    /// Controls of kinds no binder knows, as "control (kind)".
    QStringList unboundControls() const { return unbound_; }

    /// The form was unloaded: the window no longer talks to it and goes away
    /// once the event in progress is done.
    void detach();
    bool detached() const { return detached_; }

    /// The loop of a modal show, quit when the form hides or unloads.
    QEventLoop* modalLoop = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void reject() override;

  private:
    void build();
    /// Places every control at its designed position and size.
    void buildPlaced();
    ui::CommandButton* cancelButton() const;

    ui::Form* form_;
    ui::HWND hWnd_;
    std::vector<std::unique_ptr<Binder>> binders_;
    QStringList unbound_;
    bool detached_ = false;
};

}  // namespace kx::views
