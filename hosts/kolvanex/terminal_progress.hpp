#pragma once
// The progress line of the file commands (shred, cipher): bytes, pass, rate
// and time left, redrawn in place on standard error. It is drawn only when
// standard error is a terminal and the user did not ask for quiet; a line
// printed through it wipes the meter first and draws it again below, so
// lines never run into it. With --quiet only errors are printed.
#include <chrono>
#include <cstdint>
#include <string>

namespace kx::host {

/// Whether standard output is the very terminal standard error (the
/// progress log) is shown on: a line the log already showed there is not
/// printed a second time.
bool outputIsTheLogsTerminal();

class TerminalProgress {
  public:
    explicit TerminalProgress(bool quiet);
    /// Leaves the terminal's line empty.
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    bool drawn() const { return enabled_; }

    /// A new item: the name shown and the bytes it will take in all.
    void begin(std::string label, std::uint64_t total);
    /// The pass under way, shown as "pass 2/3" (none while passes is 0).
    void pass(int pass, int passes);
    /// Bytes done of the item; redrawn at most ten times a second, and
    /// always at the start and the end.
    void advance(std::uint64_t done);
    /// A line on standard error, above the meter.
    void line(const std::string& text);
    /// Wipes the meter (it comes back at the next advance).
    void clear();

  private:
    void draw();

    bool enabled_;
    std::string label_;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
    int pass_ = 0;
    int passes_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point drawnAt_;
    std::size_t shown_ = 0;  // width of the meter on the screen, 0 when none
};

}  // namespace kx::host
