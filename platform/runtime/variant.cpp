#include "platform/runtime/variant.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform {
namespace {

[[noreturn]] void typeMismatch() {
    throw RuntimeError{13, std::string(tr("Typen unverträglich"))};
}
[[noreturn]] void overflow() {
    throw RuntimeError{6, std::string(tr("Überlauf"))};
}
[[noreturn]] void invalidUseOfNull() {
    throw RuntimeError{94, std::string(tr("Unzulässige Verwendung von Null"))};
}

// Parses the whole text (blanks around it allowed) as a number, as the
// runtime's Val-free conversions do; anything else is a type mismatch.
double parseNumber(std::string_view text) {
    text = vbTrim(text);
    if (text.empty())
        typeMismatch();
    if (text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        typeMismatch();
    return value;
}

template <typename Int>
Int roundToInt(double value) {
    if (std::isnan(value))
        overflow();
    const double rounded = std::nearbyint(value);  // ties to even under the default mode
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
        overflow();
    }
    return static_cast<Int>(rounded);
}

}  // namespace

Collection::~Collection() = default;

std::string Variant::typeName() const {
    struct Namer {
        std::string operator()(const Empty&) const { return "Empty"; }
        std::string operator()(const Null&) const { return "Null"; }
        std::string operator()(bool) const { return "Boolean"; }
        std::string operator()(std::uint8_t) const { return "Byte"; }
        std::string operator()(std::int16_t) const { return "Integer"; }
        std::string operator()(std::int32_t) const { return "Long"; }
        std::string operator()(double) const { return "Double"; }
        std::string operator()(const std::string&) const { return "String"; }
        std::string operator()(const ObjectRef& o) const {
            return o ? std::string(o->typeName()) : "Nothing";
        }
    };
    return std::visit(Namer{}, value_);
}

bool Variant::operator==(const Variant& other) const {
    return value_ == other.value_;
}

double toDouble(const Variant& v) {
    struct Conv {
        double operator()(const Empty&) const { return 0; }
        double operator()(const Null&) const { invalidUseOfNull(); }
        double operator()(bool b) const { return b ? -1 : 0; }
        double operator()(std::uint8_t n) const { return n; }
        double operator()(std::int16_t n) const { return n; }
        double operator()(std::int32_t n) const { return n; }
        double operator()(double d) const { return d; }
        double operator()(const std::string& s) const {
            if (winEqualNoCase(vbTrim(s), "true") || vbTrim(s) == "Wahr")
                return -1;
            if (winEqualNoCase(vbTrim(s), "false") || vbTrim(s) == "Falsch")
                return 0;
            return parseNumber(s);
        }
        double operator()(const ObjectRef&) const { typeMismatch(); }
    };
    return std::visit(Conv{}, v.storage());
}

bool toBool(const Variant& v) {
    if (v.is<bool>())
        return v.get<bool>();
    return toDouble(v) != 0;
}

std::int32_t toLong(const Variant& v) {
    return roundToInt<std::int32_t>(toDouble(v));
}
std::int16_t toInteger(const Variant& v) {
    return roundToInt<std::int16_t>(toDouble(v));
}
std::uint8_t toByte(const Variant& v) {
    return roundToInt<std::uint8_t>(toDouble(v));
}

std::string formatDouble(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Inf" : "Inf";
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", value);
        return buf;
    }
    // Fifteen significant digits, as the runtime prints a Double.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    std::string text = buf;
    const auto e = text.find('E');
    std::string mantissa = text.substr(0, e);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.')
            mantissa.pop_back();
    }
    if (e == std::string::npos)
        return mantissa;
    // "1.5E+20": sign always shown, leading zeros of the exponent dropped.
    std::string exponent = text.substr(e + 1);
    const char sign = exponent.front() == '-' ? '-' : '+';
    if (exponent.front() == '-' || exponent.front() == '+')
        exponent.erase(0, 1);
    while (exponent.size() > 1 && exponent.front() == '0') exponent.erase(0, 1);
    return mantissa + "E" + sign + exponent;
}

std::string toText(const Variant& v) {
    struct Conv {
        std::string operator()(const Empty&) const { return ""; }
        std::string operator()(const Null&) const { invalidUseOfNull(); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::uint8_t n) const { return std::to_string(n); }
        std::string operator()(std::int16_t n) const { return std::to_string(n); }
        std::string operator()(std::int32_t n) const { return std::to_string(n); }
        std::string operator()(double d) const { return formatDouble(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const ObjectRef&) const { typeMismatch(); }
    };
    return std::visit(Conv{}, v.storage());
}

ObjectRef toObject(const Variant& v) {
    if (v.isEmpty() || v.isNull())
        return nullptr;
    if (!v.is<ObjectRef>())
        typeMismatch();
    return v.get<ObjectRef>();
}

}  // namespace kx::platform
