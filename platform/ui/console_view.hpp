#pragma once
// The console host's view: no windows, but what a progress window says
// reaches the terminal. The lines of a shown form's list views are printed as
// they arrive, each once; a last line rewritten in place (a download's
// percentage) is redrawn over itself on a terminal and printed anew
// elsewhere. The progress bar is drawn in place ("\r[#####     ] 50%") when
// the output is a terminal, always below the lines. A modal form is printed as text (caption,
// labels, list rows, boxes and buttons, numbered where the user can act)
// and answered: on a terminal the user picks by number until the form goes
// away; a script's yes presses the form's yes button (else its default
// button), its no the cancel button; without a terminal or an answer the
// show returns at once, as if the user closed the form.
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/dialogs.hpp"
#include "platform/ui/view.hpp"

namespace kx::platform::ui {

class ConsoleView final : public View {
  public:
    /// Standard error; the bar is drawn when it is a terminal. Modal forms
    /// read their answers from standard input when it is a terminal.
    ConsoleView();
    /// Any stream; `terminal` says whether carriage returns redraw a line.
    /// `in` is where the user's answers come from (none: nobody answers).
    ConsoleView(std::ostream& out, bool terminal, std::istream* in = nullptr,
                ConsoleAnswer answer = ConsoleAnswer::Ask);
    /// A script's answer to every modal form from now on.
    void setAnswer(ConsoleAnswer answer) { answer_ = answer; }
    /// Ends a bar line left open.
    ~ConsoleView() override;
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    /// Wipes the bar before someone else writes to the terminal; its next
    /// change draws it again.
    void clearBar() { eraseBar(); }

    /// Width of the bar between the brackets.
    static constexpr int kBarWidth = 10;
    /// The bar as drawn, without the leading carriage return.
    static std::string barText(const ProgressBar& bar);

    void show(Form& form, bool modal) override;
    void hide(Form& form) override;
    void close(Form& form) override;
    void refresh(Control& control) override;
    void popupMenu(Form& form, Menu& menu, std::optional<float> x, std::optional<float> y) override;
    void pumpEvents() override {}

  private:
    void answerModal(Form& form);
    /// Prints the form; answers the controls the user can act on, in the
    /// order of their numbers.
    std::vector<Control*> printForm(const Form& form);
    void act(Control& control);
    std::optional<std::string> ask(const std::string& prompt);
    void printNewLines(const ListView& list);
    void printLine(const std::string& line);
    void reprintLastLine(const std::string& line);
    void drawBar(const ProgressBar& bar);
    void eraseBar();
    void forget(const Form& form);

    std::ostream& out_;
    bool terminal_;
    std::istream* in_;
    ConsoleAnswer answer_;
    // Lines already printed, per list view (by serial: addresses are
    // reused), and the last one as it was printed.
    struct Printed {
        std::size_t count = 0;
        std::string last;
    };
    std::map<std::uint64_t, Printed> printed_;
    // The bar currently drawn on the last line, and whose it is.
    std::string bar_;
    std::uint64_t barOwner_ = 0;
};

}  // namespace kx::platform::ui
