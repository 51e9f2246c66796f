#include "platform/processes/command_line.hpp"

#include <fstream>
#include <iterator>

#include "platform/runtime/text.hpp"

namespace kx::platform {
namespace {

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isSpaceOrTab(text[pos])) ++pos;
    return pos;
}

}  // namespace

ProgramToken programToken(std::string_view commandLine) {
    ProgramToken token;
    std::size_t pos = skipBlanks(commandLine, 0);
    bool inQuotes = false;
    for (; pos < commandLine.size(); ++pos) {
        const char c = commandLine[pos];
        if (c == '"') {
            inQuotes = !inQuotes;
            token.quoted = true;
            continue;
        }
        if (!inQuotes && isSpaceOrTab(c))
            break;
        token.program += c;
    }
    token.rest = commandLine.substr(pos);
    return token;
}

std::vector<std::string> splitArguments(std::string_view text) {
    std::vector<std::string> words;
    std::size_t pos = skipBlanks(text, 0);
    while (pos < text.size()) {
        std::string word;
        bool inQuotes = false;
        while (pos < text.size()) {
            const char c = text[pos];
            if (c == '\\') {
                std::size_t count = 0;
                while (pos < text.size() && text[pos] == '\\') {
                    ++count;
                    ++pos;
                }
                if (pos < text.size() && text[pos] == '"') {
                    word.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        word += '"';
                        ++pos;
                    }
                    // An even count leaves the quote to the quote rule below.
                } else {
                    word.append(count, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (inQuotes && pos + 1 < text.size() && text[pos + 1] == '"') {
                    word += '"';
                    pos += 2;
                    continue;
                }
                inQuotes = !inQuotes;
                ++pos;
                continue;
            }
            if (!inQuotes && isSpaceOrTab(c))
                break;
            word += c;
            ++pos;
        }
        words.push_back(std::move(word));
        pos = skipBlanks(text, pos);
    }
    return words;
}

std::vector<std::string> splitCommandLine(std::string_view commandLine) {
    const auto first = skipBlanks(commandLine, 0);
    if (first == commandLine.size())
        return {};
    auto token = programToken(commandLine);
    std::vector<std::string> words{std::move(token.program)};
    for (auto& word : splitArguments(token.rest)) words.push_back(std::move(word));
    return words;
}

std::string quoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
        return std::string(argument);
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Every backslash before a quote must be doubled, and the quote escaped.
            out.append(backslashes * 2 + 1, '\\');
            out += '"';
        } else {
            out.append(backslashes, '\\');
            out += c;
        }
        backslashes = 0;
    }
    // Backslashes before the closing quote are doubled so they stay literal.
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::string joinCommandLine(const std::vector<std::string>& words) {
    std::string line;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i == 0) {
            // The program name cannot hold a quote; it only needs quotes around blanks.
            const bool blank = words[0].find_first_of(" \t") != std::string::npos;
            line += blank ? "\"" + words[0] + "\"" : words[0];
        } else {
            line += ' ';
            line += quoteArgument(words[i]);
        }
    }
    return line;
}

std::string currentArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> words;
    for (auto piece : splitAt(raw, std::string_view("\0", 1))) words.emplace_back(piece);
    if (!words.empty() && words.back().empty())
        words.pop_back();
    if (words.size() < 2)
        return "";
    words.erase(words.begin());
    // The first argument stands where the program name would, so it is
    // quoted by the same rule as the others.
    std::string line;
    for (const auto& word : words) line += (line.empty() ? "" : " ") + quoteArgument(word);
    return line;
}

}  // namespace kx::platform
