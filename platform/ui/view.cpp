#include "platform/ui/view.hpp"

#include "platform/ui/console_view.hpp"

namespace kx::platform::ui {
namespace {}  // namespace

View& view() {
    if (boundService<View>() != nullptr)
        return *boundService<View>();
    thread_local ConsoleView console;
    return console;
}

std::string ScriptedView::formName(const Form& form) {
    return form.name.empty() ? form.caption : form.name;
}

void ScriptedView::post(std::function<void()> action) {
    pending_.push_back(std::move(action));
}

std::size_t ScriptedView::count(std::string_view what, std::string_view form) const {
    std::size_t n = 0;
    for (const auto& record : records) {
        if (record.what == what && (form.empty() || record.form == form))
            ++n;
    }
    return n;
}

std::size_t ScriptedView::refreshes(std::string_view control) const {
    const auto it = refreshes_.find(control);
    return it == refreshes_.end() ? 0 : it->second;
}

void ScriptedView::show(Form& form, bool modal) {
    records.push_back({modal ? "modal" : "show", formName(form), form.caption});
    if (modal && onModal)
        onModal(form);
}

void ScriptedView::hide(Form& form) {
    records.push_back({"hide", formName(form), {}});
}

void ScriptedView::close(Form& form) {
    records.push_back({"close", formName(form), {}});
}

void ScriptedView::refresh(Control& control) {
    ++refreshes_[control.name()];
}

void ScriptedView::popupMenu(Form& form, Menu& menu, std::optional<float>, std::optional<float>) {
    records.push_back({"popup", formName(form), menu.name()});
    if (onPopup)
        onPopup(form, menu);
}

void ScriptedView::pumpEvents() {
    ++pumps_;
    // Only what was pending when the pump began: an action that yields (and
    // so pumps again) must not run the actions queued behind it out of order,
    // and an action that posts another must not loop here forever.
    std::size_t n = pending_.size();
    while (n-- > 0 && !pending_.empty()) {
        auto action = std::move(pending_.front());
        pending_.pop_front();
        action();
    }
}

}  // namespace kx::platform::ui
