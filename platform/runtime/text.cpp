#include "platform/runtime/text.hpp"

#include <algorithm>
#include <array>
#include <charconv>

namespace kx::platform {
namespace {

char32_t lowerCp(char32_t cp) {
    if (cp >= U'A' && cp <= U'Z')
        return cp + 32;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
        return cp + 32;
    return cp;
}

char32_t upperCp(char32_t cp) {
    if (cp >= U'a' && cp <= U'z')
        return cp - 32;
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)
        return cp - 32;
    return cp;
}

template <typename Map>
std::string mapCase(std::string_view text, Map map) {
    // Text of ASCII alone (most paths) is mapped byte for byte in place.
    if (std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string out(text);
        for (char& c : out) c = static_cast<char>(map(static_cast<unsigned char>(c)));
        return out;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto start = pos;
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(map(c)));
            ++pos;
            continue;
        }
        const char32_t cp = nextCodePoint(text, pos);
        const char32_t mapped = map(cp);
        // Keep the original bytes unless the letter really changed, so that
        // invalid sequences are copied through untouched.
        if (mapped == cp) {
            out.append(text.substr(start, pos - start));
        } else {
            appendUtf8(out, mapped);
        }
    }
    return out;
}

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

// Through lambdas, so that the mapping of each character is inlined rather
// than called through a pointer: a run lower-cases every path it lists.
std::string vbLCase(std::string_view text) {
    return mapCase(text, [](char32_t c) { return lowerCp(c); });
}
std::string vbUCase(std::string_view text) {
    return mapCase(text, [](char32_t c) { return upperCp(c); });
}

bool winEqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() == b.size() && a == b)
        return true;
    return vbLCase(a) == vbLCase(b);
}

std::string_view vbLTrim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

std::string_view vbRTrim(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

std::string_view vbTrim(std::string_view text) {
    return vbRTrim(vbLTrim(text));
}

bool isSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimSpacesAndTabsLeft(std::string_view text) {
    while (!text.empty() && isSpaceOrTab(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view trimSpacesAndTabsRight(std::string_view text) {
    while (!text.empty() && isSpaceOrTab(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view trimSpacesAndTabs(std::string_view text) {
    return trimSpacesAndTabsRight(trimSpacesAndTabsLeft(text));
}

char32_t nextCodePoint(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        ++pos;
        return lead;  // stray byte: taken as its Latin-1 character
    }
    if (pos + extra >= text.size()) {  // sequence cut short
        ++pos;
        return lead;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto c = static_cast<unsigned char>(text[pos + i]);
        if ((c & 0xC0) != 0x80) {
            ++pos;
            return lead;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    pos += extra + 1;
    return cp;
}

std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::ranges::count_if(
        text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool nextUtf8(std::string_view text, std::size_t& pos, char32_t& cp) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(pos);
    if (lead < 0x80) {
        cp = lead;
        ++pos;
        return true;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range the second byte may take
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // shorter forms are overlong
        if (lead == 0xED)
            high = 0x9F;  // U+D800..U+DFFF are surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;  // nothing above U+10FFFF
    } else {
        return false;
    }
    if (pos + length > text.size() || at(pos + 1) < low || at(pos + 1) > high)
        return false;
    for (std::size_t i = 2; i < length; ++i) {
        if ((at(pos + i) & 0xC0) != 0x80)
            return false;
    }
    char32_t value = lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (at(pos + i) & 0x3F);
    cp = value;
    pos += length;
    return true;
}

bool isValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    char32_t cp = 0;
    while (pos < text.size()) {
        if (!nextUtf8(text, pos, cp))
            return false;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string fromCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c <= 0x9F && kCp1252High[c - 0x80] != 0) {
            appendUtf8(out, kCp1252High[c - 0x80]);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::string toCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = nextCodePoint(text, pos);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        char mapped = '?';
        for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
            if (kCp1252High[i] != 0 && kCp1252High[i] == cp)
                mapped = static_cast<char>(0x80 + i);
        }
        out.push_back(mapped);
    }
    return out;
}

std::string vbReplace(std::string_view text, std::string_view what, std::string_view with) {
    if (what.empty())
        return std::string(text);
    std::string out;
    std::size_t start = 0;
    for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, start)) {
        out.append(text.substr(start, at - start)).append(with);
        start = at + what.size();
    }
    out.append(text.substr(start));
    return out;
}

std::vector<std::string_view> splitAt(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (auto at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, start)) {
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::optional<long> wholeNumber(std::string_view text) {
    text = vbTrim(text);
    long value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end)
        return std::nullopt;
    return value;
}

}  // namespace kx::platform
