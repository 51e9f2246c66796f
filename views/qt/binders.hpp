#pragma once
// One binder per control kind: it makes the Qt widget for a control of a
// form model, shows the control's state on it (pull) and feeds what the user
// does on the widget back through the control's "what the user does"
// members (click, select, slide, keyDown ...). Binders hold their control
// weakly: a form that goes away without unloading leaves binders that do
// nothing.
#include <QMenu>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "platform/ui/controls.hpp"

namespace kx::views {

namespace ui = platform::ui;

class Binder {
  public:
    /// `afterAction` runs after every user action that reached the model:
    /// a handler may have changed other controls without telling the view.
    Binder(const std::shared_ptr<ui::Control>& control, std::function<void()> afterAction);
    virtual ~Binder() = default;
    Binder(const Binder&) = delete;
    Binder& operator=(const Binder&) = delete;

    /// The widget; null for kinds that have none (timers, menus, image lists).
    virtual QWidget* widget() const = 0;
    /// Shows the control's state: enabled, visible, tool tip, then the kind's own.
    void pull();
    /// The text the widget must show whole, for the check of clipped texts.
    virtual std::optional<QString> shownText() const { return std::nullopt; }
    /// The width in pixels the widget needs to show its text on one line;
    /// 0 for kinds whose text wraps or that have none.
    virtual int neededWidth() const { return 0; }
    /// For a container: how far below its top edge, in pixels, its inside
    /// begins (a titled frame keeps its title and line above its controls).
    virtual int insideTop() const { return 0; }
    /// True when the widget is too small for its text.
    virtual bool clipped() const {
        const QWidget* w = widget();
        return w != nullptr && w->isVisible() && neededWidth() > w->width();
    }

    std::shared_ptr<ui::Control> control() const { return control_.lock(); }

  protected:
    virtual void pullState(ui::Control& control) = 0;
    /// Runs a user action on the live control, then `afterAction`. Errors of
    /// the form's handlers have no caller here; they are reported on
    /// standard error, as the engine's loop reports its callbacks' errors.
    void act(const std::function<void(ui::Control&)>& action);
    template <typename T>
    void actOn(const std::function<void(T&)>& action) {
        act([&action](ui::Control& c) {
            if (auto* typed = dynamic_cast<T*>(&c))
                action(*typed);
        });
    }
    /// Makes the widget report its keys and mouse buttons to the control.
    void forwardInput(QWidget* target);

  private:
    std::weak_ptr<ui::Control> control_;
    std::function<void()> afterAction_;
};

/// The binder of the control's kind, or null for a kind no binder knows.
std::unique_ptr<Binder> bindControl(const std::shared_ptr<ui::Control>& control, QWidget* parent,
                                    std::function<void()> afterAction);

/// The binder of a container control (one that other controls name as their
/// container) whose kind no binder knows: `frame` holds its controls.
std::unique_ptr<Binder> bindFrame(const std::shared_ptr<ui::Control>& control, QWidget* frame);

/// Adds the visible entries of a menu (with their sub-menus) to a Qt menu;
/// choosing one runs its item's click.
void addMenuItems(QMenu& target, const ui::Menu& menu);

/// A caption without its mnemonic marks ("&Ja" -> "Ja", "&&" -> "&").
QString withoutMnemonic(const std::string& caption);
/// The engine's key code of a Qt key (0 for keys the engine has no code for).
std::int16_t keyCode(int qtKey);
/// The engine's shift state of Qt's keyboard modifiers.
std::int16_t shiftState(Qt::KeyboardModifiers modifiers);

}  // namespace kx::views
