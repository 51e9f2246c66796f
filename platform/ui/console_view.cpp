#include "platform/ui/console_view.hpp"

#include <unistd.h>

#include <iostream>

namespace kx::platform::ui {

ConsoleView::ConsoleView() : ConsoleView(std::cerr, ::isatty(STDERR_FILENO) == 1) {}

ConsoleView::ConsoleView(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

ConsoleView::~ConsoleView() {
    // Leave the last bar standing and the cursor on a fresh line.
    if (!bar_.empty())
        out_ << "\n" << std::flush;
}

std::string ConsoleView::barText(const ProgressBar& bar) {
    const int pct = bar.percent();
    const int filled = pct * kBarWidth / 100;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] " +
           std::to_string(pct) + "%";
}

void ConsoleView::show(Form& form, bool modal) {
    if (modal) {
        // Nobody can answer a dialog here; say that it was asked for.
        printLine("[" + form.caption + "]");
        return;
    }
    // Lines added while the form was hidden appear when it shows.
    for (const auto& control : form.controls) {
        if (const auto* list = dynamic_cast<const ListView*>(control.get()))
            printNewLines(*list);
    }
}

void ConsoleView::hide(Form& form) {
    for (const auto& control : form.controls) {
        if (control->serial() == barOwner_)
            eraseBar();
    }
}

void ConsoleView::close(Form& form) {
    hide(form);
    forget(form);
}

void ConsoleView::refresh(Control& control) {
    const Form* form = control.form();
    if (form == nullptr || !form->isVisible())
        return;
    if (const auto* list = dynamic_cast<const ListView*>(&control)) {
        printNewLines(*list);
    } else if (const auto* bar = dynamic_cast<const ProgressBar*>(&control)) {
        if (terminal_ && bar->visible) {
            barOwner_ = bar->serial();
            drawBar(*bar);
        }
    }
}

void ConsoleView::popupMenu(Form&, Menu&, std::optional<float>, std::optional<float>) {
    // A console has no context menus; the menu is dismissed.
}

void ConsoleView::printNewLines(const ListView& list) {
    auto& done = printed_[list.serial()];
    const auto& items = list.items();
    // A list that was cleared or shortened starts over at its new end.
    if (done > items.size())
        done = items.size();
    for (; done < items.size(); ++done) printLine(items[done]->text);
}

void ConsoleView::printLine(const std::string& line) {
    if (bar_.empty()) {
        out_ << line << "\n" << std::flush;
        return;
    }
    // Wipe the bar, print the line where it was, draw the bar below it.
    out_ << "\r" << std::string(bar_.size(), ' ') << "\r" << line << "\n" << bar_ << std::flush;
}

void ConsoleView::drawBar(const ProgressBar& bar) {
    auto text = barText(bar);
    // Blanks over the tail of a longer previous bar ("100%" -> "99%").
    const auto width = text.size();
    if (bar_.size() > width)
        text += std::string(bar_.size() - width, ' ');
    out_ << "\r" << text << std::flush;
    text.resize(width);
    bar_ = text;
}

void ConsoleView::eraseBar() {
    if (bar_.empty())
        return;
    out_ << "\r" << std::string(bar_.size(), ' ') << "\r" << std::flush;
    bar_.clear();
    barOwner_ = 0;
}

void ConsoleView::forget(const Form& form) {
    for (const auto& control : form.controls) printed_.erase(control->serial());
}

}  // namespace kx::platform::ui
