#pragma once
// Views render form models. The engine never talks to a toolkit: a form asks
// the thread's view to show, hide or close it, a control tells it that its
// state changed, and the message loop lets it deliver the user's pending
// actions. The Qt host binds a Qt view, the console host a ConsoleView
// (platform/ui/console_view.hpp), tests a ScriptedView.
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "platform/runtime/thread_binding.hpp"

#include "platform/ui/controls.hpp"

namespace kx::platform::ui {

class View {
  public:
    virtual ~View() = default;
    /// Puts the form on screen. For a modal show it returns only when the
    /// user is done with the form (it was hidden or unloaded meanwhile, or
    /// the view gave up on it); the form hides itself afterwards.
    virtual void show(Form& form, bool modal) = 0;
    virtual void hide(Form& form) = 0;
    /// The form is unloading: forget it and everything drawn for it.
    virtual void close(Form& form) = 0;
    /// A control's state changed (only called while its form is loaded).
    virtual void refresh(Control& control) = 0;
    /// Opens `menu` as context menu of the form; returns when the user chose
    /// an item (after its Click ran) or dismissed the menu. Coordinates in
    /// twips; none means at the mouse position.
    virtual void popupMenu(Form& form, Menu& menu, std::optional<float> x,
                           std::optional<float> y) = 0;
    /// Delivers the user's pending actions; called by every yield().
    virtual void pumpEvents() = 0;
};

/// The view bound to the calling thread; a ConsoleView on standard error
/// when none is bound.
View& view();

/// Binds a view to the calling thread for the scope's lifetime.
using ViewScope = BindingScope<View>;

/// A view without a screen that records what it was asked to do and plays
/// the user from scripts: modal forms and context menus run a callback,
/// and actions posted with post() happen at the next yield(), as a user's
/// click lands while a long operation yields.
class ScriptedView final : public View {
  public:
    struct Record {
        std::string what;    // "show", "modal", "hide", "close", "popup"
        std::string form;    // the form's name, else its caption
        std::string detail;  // the caption when shown; the menu's name for "popup"
    };
    std::vector<Record> records;

    /// Plays the user while a modal form is up; the show returns after it.
    std::function<void(Form& form)> onModal;
    /// Plays the user while a context menu is open (click an item or not).
    std::function<void(Form& form, Menu& menu)> onPopup;

    /// An action for the next pump (each runs once, in order; actions posted
    /// while pumping wait for the pump after).
    void post(std::function<void()> action);
    std::size_t pendingActions() const { return pending_.size(); }
    /// How many times the loop let the view deliver events.
    std::size_t pumps() const { return pumps_; }

    /// How many records of that kind (for a form name, or any form).
    std::size_t count(std::string_view what, std::string_view form = {}) const;
    /// How many refreshes a control of that name asked for.
    std::size_t refreshes(std::string_view control) const;

    void show(Form& form, bool modal) override;
    void hide(Form& form) override;
    void close(Form& form) override;
    void refresh(Control& control) override;
    void popupMenu(Form& form, Menu& menu, std::optional<float> x, std::optional<float> y) override;
    void pumpEvents() override;

  private:
    static std::string formName(const Form& form);
    std::deque<std::function<void()>> pending_;
    std::size_t pumps_ = 0;
    std::map<std::string, std::size_t, std::less<>> refreshes_;
};

}  // namespace kx::platform::ui
