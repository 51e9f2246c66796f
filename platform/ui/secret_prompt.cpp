// Secrets read from the console; see secret_prompt.hpp.
#include "platform/ui/secret_prompt.hpp"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

namespace kx::platform::ui {
namespace {

constexpr char kInterrupt = 0x03;  // Ctrl+C
constexpr char kEndOfText = 0x04;  // Ctrl+D
constexpr char kKillLine = 0x15;   // Ctrl+U
constexpr char kBackspace = 0x08;
constexpr char kDelete = 0x7F;

// The terminal without echo, line editing or signal keys for the object's
// life; put back on every way out.
class QuietTerminal {
  public:
    QuietTerminal() : active_(::tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (!active_)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | ISIG);
        quiet.c_cc[VMIN] = 1;
        quiet.c_cc[VTIME] = 0;
        active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~QuietTerminal() {
        if (active_)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

  private:
    termios saved_{};
    bool active_ = false;
};

// Takes back the last character (a whole UTF-8 sequence).
void takeBack(std::string& text) {
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text.back());
        text.pop_back();
        if ((byte & 0xC0) != 0x80)
            return;
    }
}

// The terminal is quiet before the prompt shows, so that nothing typed after
// the prompt is echoed or taken as a signal.
SecretAnswer readFromTerminal(const std::string& prompt) {
    QuietTerminal quiet;
    std::cerr << prompt << std::flush;
    SecretAnswer answer;
    while (true) {
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            answer.kind = SecretAnswer::Kind::Ended;
            return answer;
        }
        switch (c) {
            case kInterrupt:
                answer.text.assign(answer.text.size(), '\0');
                answer.text.clear();
                answer.kind = SecretAnswer::Kind::Interrupted;
                return answer;
            case kEndOfText:
                if (answer.text.empty()) {
                    answer.kind = SecretAnswer::Kind::Ended;
                    return answer;
                }
                break;
            case '\r':
            case '\n':
                answer.kind = SecretAnswer::Kind::Entered;
                return answer;
            case kBackspace:
            case kDelete:
                takeBack(answer.text);
                break;
            case kKillLine:
                answer.text.assign(answer.text.size(), '\0');
                answer.text.clear();
                break;
            default:
                answer.text += c;
        }
    }
}

}  // namespace

bool inputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

SecretAnswer readSecretLine(const std::string& prompt) {
    if (!inputIsTerminal()) {
        SecretAnswer answer;
        if (!std::getline(std::cin, answer.text))
            return answer;
        if (!answer.text.empty() && answer.text.back() == '\r')
            answer.text.pop_back();
        answer.kind = SecretAnswer::Kind::Entered;
        return answer;
    }
    SecretAnswer answer = readFromTerminal(prompt);
    std::cerr << "\n" << std::flush;
    return answer;
}

}  // namespace kx::platform::ui
