#include "platform/registry/regfile_text.hpp"

#include "platform/runtime/text.hpp"

namespace kx::platform::detail {

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

namespace {
// UTF-8 <-> UTF-16LE

bool isCont(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Decodes one code point of strictly valid UTF-8 (no overlong forms, no
// surrogates); answers false and leaves `pos` alone when the bytes at `pos` are
// not one.
bool nextStrict(std::string_view s, std::size_t& pos, char32_t& cp) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = at(pos);
    if (c < 0x80) {
        cp = c;
        ++pos;
        return true;
    }
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F;
    } else {
        return false;
    }
    if (pos + len > s.size())
        return false;
    if (at(pos + 1) < lo || at(pos + 1) > hi)
        return false;
    for (std::size_t i = 2; i < len; ++i) {
        if (!isCont(at(pos + i)))
            return false;
    }
    char32_t v = c & (0xFF >> (len + 1));
    for (std::size_t i = 1; i < len; ++i) v = (v << 6) | (at(pos + i) & 0x3F);
    cp = v;
    pos += len;
    return true;
}

}  // namespace

bool validUtf8(std::string_view s) {
    std::size_t pos = 0;
    char32_t cp = 0;
    while (pos < s.size()) {
        if (!nextStrict(s, pos, cp))
            return false;
    }
    return true;
}

namespace {
void putUnit(std::string& out, char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

}  // namespace

std::string utf8ToUtf16le(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    std::size_t pos = 0;
    while (pos < s.size()) {
        char32_t cp = 0;
        if (!nextStrict(s, pos, cp)) {
            putUnit(out, 0xDC00 + static_cast<unsigned char>(s[pos]));
            ++pos;
        } else if (cp >= 0x10000) {
            putUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            putUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            putUnit(out, cp);
        }
    }
    return out;
}

std::string utf16leToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    const auto unit = [&](std::size_t i) -> char32_t {
        return static_cast<unsigned char>(bytes[2 * i]) |
               (static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - 0xDC00));  // a byte that was not UTF-8
        } else {
            appendUtf8(out, u);  // other lone surrogates kept in the 3-byte form
        }
    }
    if (bytes.size() % 2)
        out.push_back(bytes.back());
    return out;
}

// Text that survives the trip to Windows-1252 and back unchanged.
bool fitsCp1252(std::string_view s) {
    return fromCp1252(toCp1252(s)) == s;
}

std::string describe(LONG status) {
    switch (status) {
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_FILE_NOT_FOUND:
            return "not found";
        case ERROR_INVALID_PARAMETER:
            return "invalid name or data";
        case ERROR_BUSY:
            return "registry busy";
        default:
            return "error " + std::to_string(status);
    }
}

}  // namespace kx::platform::detail
