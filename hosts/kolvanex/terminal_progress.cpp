#include "hosts/kolvanex/terminal_progress.hpp"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "platform/runtime/translation.hpp"

namespace kx::host {
namespace {

using Clock = std::chrono::steady_clock;

std::string bytesText(double bytes) {
    static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
    return text;
}

std::string durationText(double seconds) {
    const auto s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::size_t terminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return 80;
}

}  // namespace

bool outputIsTheLogsTerminal() {
    struct stat out {
    }, err{};
    return ::isatty(STDOUT_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1 &&
           ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 &&
           out.st_rdev == err.st_rdev;
}

TerminalProgress::TerminalProgress(bool quiet) : enabled_(!quiet && ::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
    clear();
}

void TerminalProgress::begin(std::string label, std::uint64_t total) {
    label_ = std::move(label);
    total_ = total;
    done_ = 0;
    pass_ = passes_ = 0;
    started_ = Clock::now();
    draw();
}

void TerminalProgress::pass(int pass, int passes) {
    pass_ = pass;
    passes_ = passes;
    draw();
}

void TerminalProgress::advance(std::uint64_t done) {
    done_ = done;
    if (done_ >= total_ || Clock::now() - drawnAt_ >= std::chrono::milliseconds(100))
        draw();
}

void TerminalProgress::line(const std::string& text) {
    const std::size_t was = shown_;
    clear();
    std::cerr << text << "\n";
    if (was > 0)
        draw();
    std::cerr << std::flush;
}

void TerminalProgress::clear() {
    if (shown_ == 0)
        return;
    std::cerr << "\r" << std::string(shown_, ' ') << "\r" << std::flush;
    shown_ = 0;
}

void TerminalProgress::draw() {
    if (!enabled_)
        return;
    drawnAt_ = Clock::now();
    std::string text = label_ + ":";
    if (passes_ > 0)
        text +=
            platform::trf(" Durchgang {1}/{2}", {std::to_string(pass_), std::to_string(passes_)});
    text += "  " + bytesText(static_cast<double>(done_)) + " / " +
            bytesText(static_cast<double>(total_));
    const double seconds = std::chrono::duration<double>(drawnAt_ - started_).count();
    if (seconds > 0.05 && done_ > 0) {
        const double rate = static_cast<double>(done_) / seconds;
        text += "  " + bytesText(rate) + "/s";
        if (done_ < total_)
            text +=
                "  " + platform::trf("noch {1}",
                                     {durationText(static_cast<double>(total_ - done_) / rate)});
    }
    // One line, never wrapped: a wrapped line could not be redrawn in place.
    std::size_t width = terminalColumns() - 1;
    if (text.size() > width) {
        while (width > 0 && (static_cast<unsigned char>(text[width]) & 0xC0) == 0x80) --width;
        text.resize(width);
    }
    std::string padded = text;
    if (shown_ > text.size())
        padded += std::string(shown_ - text.size(), ' ');
    std::cerr << "\r" << padded << std::flush;
    shown_ = text.size();
}

}  // namespace kx::host
