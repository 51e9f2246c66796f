#include "platform/registry/regfile_text.hpp"

#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::detail {

bool isStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-8 <-> UTF-16LE

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
        if (!nextUtf8(s, pos, cp)) {
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
            return std::string(tr("Zugriff abgelehnt"));
        case ERROR_FILE_NOT_FOUND:
            return std::string(tr("nicht gefunden"));
        case ERROR_INVALID_PARAMETER:
            return std::string(tr("Name oder Daten ungültig"));
        case ERROR_BUSY:
            return std::string(tr("Registrierung belegt"));
        default:
            return trf("Registrierungsfehler {1}", {std::to_string(status)});
    }
}

}  // namespace kx::platform::detail
