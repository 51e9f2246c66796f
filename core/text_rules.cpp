#include "core/text_rules.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "platform/runtime/translation.hpp"

namespace kx {

std::string AddBackslash(std::string_view sFile) {
    std::string out(sFile);
    if (!out.ends_with('\\'))
        out += '\\';
    return out;
}

bool CBoolEx(const Variant& vValue) {
    if (vValue.is<bool>())
        return vValue.get<bool>();
    if (vValue.is<std::string>()) {
        const auto& text = vValue.get<std::string>();
        return text == "Wahr" || text == "True";
    }
    return false;
}

Byte hibyte(Integer wParam) {
    return static_cast<Byte>((static_cast<std::uint16_t>(wParam) >> 8) & 0xFF);
}

Byte lobyte(Integer wParam) {
    return static_cast<Byte>(static_cast<std::uint16_t>(wParam) & 0xFF);
}

double numericValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    double value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = value * 10 + (text[i] - '0');
    if (i < text.size() && (text[i] == ',' || text[i] == '.')) {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
             ++i, scale /= 10)
            value += (text[i] - '0') * scale;
    }
    return negative ? -value : value;
}

std::string formatNumber(double value, int decimals) {
    if (!std::isfinite(value))
        value = 0;
    char raw[64];
    std::snprintf(raw, sizeof raw, "%.*f", decimals, std::fabs(value));
    std::string text(raw);
    const auto point = text.find('.');
    std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    const bool german = platform::userLanguage() == platform::Language::German;
    const char group = german ? '.' : ',';
    const char decimal = german ? ',' : '.';
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            grouped += group;
        grouped += whole[i];
    }
    const bool zero = text.find_first_not_of("0.") == std::string::npos;
    std::string out = (value < 0 && !zero ? "-" : "") + grouped;
    if (!fraction.empty())
        out += decimal + fraction;
    return out;
}

}  // namespace kx
