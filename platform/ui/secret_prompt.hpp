#pragma once
// Asking for a secret on the console. On a terminal the typed characters are
// not echoed, and the terminal is put back as it was however the reading
// ends. Ctrl+C ends the prompt at once (it is read as a character, not taken
// as a signal, so it cannot be lost while the engine is not yielding, nor end
// the program with the echo still off).
#include <string>

namespace kx::platform::ui {

struct SecretAnswer {
    enum class Kind {
        Entered,      // Enter ended the line
        Interrupted,  // Ctrl+C
        Ended,        // end of input (Ctrl+D on an empty line, or nothing left)
    };
    Kind kind = Kind::Ended;
    std::string text;
};

/// Whether standard input is a terminal.
bool inputIsTerminal();

/// On a terminal: writes `prompt` to standard error and reads one line
/// without echo (Backspace takes back one character, Ctrl+U the line).
/// Otherwise: reads the next line of standard input (its line end and a
/// carriage return before it taken off), without a prompt.
SecretAnswer readSecretLine(const std::string& prompt);

}  // namespace kx::platform::ui
