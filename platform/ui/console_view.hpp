#pragma once
// The console host's view: no windows, but what a progress window says
// reaches the terminal. The lines of a shown form's list views are printed as
// they arrive, and its progress bar is drawn in place ("\r[#####     ] 50%")
// when the output is a terminal. Modal forms cannot be answered on a console:
// their caption is printed and the show returns at once, as if the user
// closed them.
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

#include "platform/ui/view.hpp"

namespace kx::platform::ui {

class ConsoleView final : public View {
  public:
    /// Standard error; the bar is drawn when it is a terminal.
    ConsoleView();
    /// Any stream; `terminal` says whether carriage returns redraw a line.
    ConsoleView(std::ostream& out, bool terminal);
    /// Ends a bar line left open.
    ~ConsoleView() override;
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

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
    void printNewLines(const ListView& list);
    void printLine(const std::string& line);
    void drawBar(const ProgressBar& bar);
    void eraseBar();
    void forget(const Form& form);

    std::ostream& out_;
    bool terminal_;
    // Lines already printed, per list view (by serial: addresses are reused).
    std::map<std::uint64_t, std::size_t> printed_;
    // The bar currently drawn on the last line, and whose it is.
    std::string bar_;
    std::uint64_t barOwner_ = 0;
};

}  // namespace kx::platform::ui
