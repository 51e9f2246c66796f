#pragma once
// Windows command lines: one string that the started program takes apart
// itself. We split them the way the Microsoft C runtime does, so a program we
// start receives the same arguments it would receive on Windows.
#include <string>
#include <string_view>
#include <vector>

namespace kx::platform {

/// Splits a whole command line: the program name first, by its own rule
/// (quotes group and are dropped, backslashes are plain characters), then
/// the arguments as `splitArguments` does. Leading blanks are skipped; an
/// empty or blank command line gives no words at all.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

/// Splits arguments (no program name) by the C runtime's rules:
///  - blanks and tabs separate arguments unless inside double quotes;
///  - 2n backslashes before a quote give n backslashes and the quote opens or
///    closes a quoted part; 2n+1 backslashes give n backslashes and a literal
///    quote; backslashes not followed by a quote are literal;
///  - inside a quoted part, "" gives one literal quote and the part goes on;
///  - a quoted part left open at the end runs to the end of the line.
/// `""` on its own is an empty argument.
std::vector<std::string> splitArguments(std::string_view arguments);

/// The program token of a command line and what follows it, without
/// splitting the rest. `quoted` tells whether the program was in quotes
/// (then no other reading of it is possible); `rest` starts right after the
/// program token (at the blank that ended it, or after the closing quote).
struct ProgramToken {
    std::string program;
    std::string_view rest;
    bool quoted = false;
};
ProgramToken programToken(std::string_view commandLine);

/// Quotes one argument so that `splitArguments` gives it back unchanged
/// (nothing is added to arguments that need no quotes).
std::string quoteArgument(std::string_view argument);

/// Joins arguments into a command line that splits back into them; the first
/// is taken as the program name and only quoted when it holds a blank.
std::string joinCommandLine(const std::vector<std::string>& words);

/// The arguments the running program was started with, joined as a
/// command line without the program name (the runtime's Command$).
std::string currentArguments();

}  // namespace kx::platform
