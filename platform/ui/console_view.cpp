#include "platform/ui/console_view.hpp"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <optional>

#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::ui {
namespace {

// A caption as the user reads it: "&" marks the access key, "&&" is one "&".
std::string plain(std::string_view caption) {
    std::string text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        text += caption[i];
    }
    return text;
}

const Control* findControl(const Form& form, std::string_view controlName) {
    for (const auto& control : form.controls)
        if (control->name() == controlName)
            return control.get();
    return nullptr;
}

// On screen: visible itself and inside visible containers.
bool onScreen(const Form& form, const Control& control) {
    const Control* c = &control;
    for (int depth = 0; c != nullptr && depth < 16; ++depth) {
        if (!c->visible)
            return false;
        if (c->container.empty())
            return true;
        c = findControl(form, c->container);
    }
    return true;
}

std::string rowText(const ListItem& row, std::size_t columns) {
    std::string text = row.text;
    for (std::size_t c = 2; c <= std::max(columns, row.columnCount()); ++c)
        text += " | " + row.columnText(c);
    return text;
}

CommandButton* button(const Form& form, bool (*which)(const CommandButton&)) {
    for (const auto& control : form.controls) {
        auto* b = dynamic_cast<CommandButton*>(control.get());
        if (b != nullptr && which(*b) && b->acceptsInput() && onScreen(form, *b))
            return b;
    }
    return nullptr;
}

CommandButton* yesButtonOf(const Form& form) {
    if (!form.yesButton.empty()) {
        for (const auto& control : form.controls)
            if (control->name() == form.yesButton)
                if (auto* b = dynamic_cast<CommandButton*>(control.get()); b && b->acceptsInput())
                    return b;
    }
    return button(form, [](const CommandButton& b) { return b.isDefault; });
}

}  // namespace

ConsoleView::ConsoleView()
    : ConsoleView(std::cerr, ::isatty(STDERR_FILENO) == 1,
                  ::isatty(STDIN_FILENO) == 1 ? &std::cin : nullptr) {}

ConsoleView::ConsoleView(std::ostream& out, bool terminal, std::istream* in, ConsoleAnswer answer)
    : out_(out), terminal_(terminal), in_(in), answer_(answer) {}

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
        answerModal(form);
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

void ConsoleView::answerModal(Form& form) {
    if (answer_ != ConsoleAnswer::Ask || in_ == nullptr) {
        printForm(form);
        CommandButton* pick = nullptr;
        if (answer_ == ConsoleAnswer::Yes)
            pick = yesButtonOf(form);
        else if (answer_ == ConsoleAnswer::No)
            pick = button(form, [](const CommandButton& b) { return b.cancel; });
        if (pick == nullptr)
            return;  // nobody answers: as if the user closed the form
        printLine("-> " + plain(pick->caption));
        pick->click();
        return;
    }
    while (form.isVisible()) {
        const auto choices = printForm(form);
        const auto* fallback = yesButtonOf(form);
        auto line = ask(fallback ? trf("Auswahl (Nummer, Eingabe = {1}, x = schließen): ",
                                       {plain(fallback->caption)})
                                 : std::string(tr("Auswahl (Nummer, x = schließen): ")));
        if (!line)
            return;  // the input ended: the user is gone
        if (line->empty()) {
            if (auto* b = yesButtonOf(form))
                b->click();
            continue;
        }
        if (*line == "x" || *line == "X") {
            if (!form.userClose())
                printLine(std::string(tr("(das Fenster bleibt offen)")));
            continue;
        }
        const auto n = wholeNumber(*line);
        if (!n || *n < 1 || static_cast<std::size_t>(*n) > choices.size()) {
            printLine(
                trf("Bitte eine Nummer von 1 bis {1} wählen.", {std::to_string(choices.size())}));
            continue;
        }
        act(*choices[static_cast<std::size_t>(*n - 1)]);
    }
}

std::optional<std::string> ConsoleView::ask(const std::string& prompt) {
    out_ << prompt << std::flush;
    std::string line;
    if (in_ == nullptr || !std::getline(*in_, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void ConsoleView::act(Control& control) {
    if (auto* box = dynamic_cast<TextBox*>(&control)) {
        const auto text = ask(trf("{1} (bisher \"{2}\"): ", {control.name(), box->text}));
        if (!text)
            return;
        setFocusedControl(box);
        if (box->GotFocus)
            box->GotFocus();
        box->setText(*text);
        // Leaving the field runs its checks, which may keep the focus there.
        if (box->LostFocus)
            box->LostFocus();
        if (focusedControl() == box)
            setFocusedControl(nullptr);
    } else if (auto* combo = dynamic_cast<ComboBox*>(&control)) {
        // Typed text that names an entry of the list chooses that entry.
        const auto text = ask(trf("{1} (bisher \"{2}\"): ", {control.name(), combo->text}));
        if (!text)
            return;
        combo->setText(*text);
        for (std::size_t i = 0; i < combo->list.size(); ++i) {
            if (combo->list[i] == *text) {
                combo->choose(i);
                break;
            }
        }
    } else if (auto* slider = dynamic_cast<Slider*>(&control)) {
        const auto text =
            ask(trf("{1} ({2} bis {3}): ", {control.name(), std::to_string(slider->min()),
                                            std::to_string(slider->max())}));
        if (const auto v = text ? wholeNumber(*text) : std::nullopt)
            slider->slide(static_cast<std::int32_t>(*v));
    } else if (auto* tabs = dynamic_cast<TabStrip*>(&control)) {
        const auto text = ask(trf("Seite (1 bis {1}): ", {std::to_string(tabs->tabs.size())}));
        const auto v = text ? wholeNumber(*text) : std::nullopt;
        if (v && *v >= 1 && static_cast<std::size_t>(*v) <= tabs->tabs.size())
            tabs->select(static_cast<std::int32_t>(*v));
    } else if (auto* list = dynamic_cast<ListView*>(&control)) {
        const auto text = ask(trf("Zeile (1 bis {1}): ", {std::to_string(list->count())}));
        const auto v = text ? wholeNumber(*text) : std::nullopt;
        if (v && *v >= 1 && static_cast<std::size_t>(*v) <= list->count())
            list->clickItem(static_cast<std::size_t>(*v - 1));
    } else {
        control.click();
    }
}

std::vector<Control*> ConsoleView::printForm(const Form& form) {
    std::vector<Control*> choices;
    printLine("[" + form.caption + "]");
    auto choice = [&](Control& control) {
        if (!control.acceptsInput())
            return std::string("     ");
        choices.push_back(&control);
        auto tag = "[" + std::to_string(choices.size()) + "]";
        return tag + std::string(tag.size() < 5 ? 5 - tag.size() : 1, ' ');
    };
    for (const auto& c : form.controls) {
        if (!onScreen(form, *c))
            continue;
        if (const auto* label = dynamic_cast<const Label*>(c.get())) {
            if (!label->caption.empty())
                printLine(plain(label->caption));
        } else if (const auto* frame = dynamic_cast<const Frame*>(c.get())) {
            if (!frame->caption.empty())
                printLine("-- " + plain(frame->caption) + " --");
        } else if (auto* list = dynamic_cast<ListView*>(c.get())) {
            std::string header;
            for (const auto& column : list->columns)
                header += (header.empty() ? "" : " | ") + column.text;
            printLine(choice(*list) + header);
            for (std::size_t i = 0; i < list->count(); ++i) {
                const auto& row = *list->item(i);
                printLine(std::string(row.selected ? "   *  " : "      ") + std::to_string(i + 1) +
                          ". " + rowText(row, list->columns.size()));
            }
        } else if (auto* check = dynamic_cast<CheckBox*>(c.get())) {
            const char* mark = check->value == 1 ? "[x] " : check->value == 2 ? "[-] " : "[ ] ";
            printLine(choice(*check) + mark + plain(check->caption));
        } else if (auto* option = dynamic_cast<OptionButton*>(c.get())) {
            printLine(choice(*option) + (option->value ? "(*) " : "( ) ") + plain(option->caption));
        } else if (auto* box = dynamic_cast<TextBox*>(c.get())) {
            const std::string shown =
                box->passwordChar.empty()
                    ? box->text
                    : std::string(box->text.size(), box->passwordChar.front());
            printLine(choice(*box) + box->name() + ": " + shown);
        } else if (auto* combo = dynamic_cast<ComboBox*>(c.get())) {
            printLine(choice(*combo) +
                      trf("{1}: {2} ({3} zur Auswahl)",
                          {combo->name(), combo->text, std::to_string(combo->list.size())}));
        } else if (auto* slider = dynamic_cast<Slider*>(c.get())) {
            printLine(choice(*slider) +
                      trf("{1}: {2} ({3} bis {4})",
                          {slider->name(), std::to_string(slider->value()),
                           std::to_string(slider->min()), std::to_string(slider->max())}));
        } else if (auto* tabs = dynamic_cast<TabStrip*>(c.get())) {
            std::string line;
            for (std::size_t i = 0; i < tabs->tabs.size(); ++i) {
                const bool current = static_cast<std::int32_t>(i + 1) == tabs->selectedIndex;
                line += (i ? " | " : "") + std::string(current ? "*" : "") + std::to_string(i + 1) +
                        " " + plain(tabs->tabs[i]) + (current ? "*" : "");
            }
            printLine(choice(*tabs) + trf("Seiten: {1}", {line}));
        } else if (auto* b = dynamic_cast<CommandButton*>(c.get())) {
            printLine(choice(*b) + "<" + plain(b->caption) + ">");
        }
    }
    return choices;
}

void ConsoleView::printNewLines(const ListView& list) {
    auto& printed = printed_[list.serial()];
    const auto& items = list.items();
    // A list that was cleared or shortened starts over at its new end.
    if (printed.count > items.size()) {
        printed.count = items.size();
        printed.last = items.empty() ? std::string() : items.back()->text;
    }
    if (printed.count == items.size()) {
        if (!items.empty() && items.back()->text != printed.last) {
            printed.last = items.back()->text;
            reprintLastLine(printed.last);
        }
        return;
    }
    for (; printed.count < items.size(); ++printed.count) printLine(items[printed.count]->text);
    printed.last = items.back()->text;
}

void ConsoleView::reprintLastLine(const std::string& line) {
    if (!terminal_) {
        printLine(line);
        return;
    }
    // Up to the line above (the bar's, when one is drawn), wipe it, write it anew.
    const std::string bar = bar_;
    out_ << "\r\x1b[1A\x1b[2K" << line << "\n";
    if (!bar.empty())
        out_ << "\x1b[2K" << bar;
    out_ << std::flush;
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
