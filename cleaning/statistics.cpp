#include "cleaning/statistics.hpp"

#include <charconv>
#include <cmath>
#include <exception>
#include <system_error>

#include "core/text_rules.hpp"
#include "settings/keys.hpp"

namespace kx::cleaning {
namespace {

// A stored total as a number; what cannot be one (letters, an infinity an
// old version wrote) counts as 0.
double storedTotal(const settings::AppSettings& options, const settings::SettingKey& key) {
    const double value = numericValue(options.read(key, std::string_view("0")));
    return std::isfinite(value) ? value : 0;
}

}  // namespace

std::string totalText(double value) {
    if (!std::isfinite(value) || value == 0)
        return "0";
    // The shortest digits that give the same number back, never an exponent.
    char text[400];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return end.ec == std::errc() ? std::string(text, end.ptr) : std::string("0");
}

void addStatistics(const settings::AppSettings& options, std::int32_t lnFiles, double dblMB) {
    try {
        const double mb =
            storedTotal(options, settings::keys::StatMB) + (std::isfinite(dblMB) ? dblMB : 0);
        options.write(settings::keys::StatMB, totalText(mb));
        const double files = storedTotal(options, settings::keys::StatFiles) + lnFiles;
        options.write(settings::keys::StatFiles, totalText(std::trunc(files)));
    } catch (const std::exception&) {
        // no settings store to write to: the totals stay as they were
    }
}

}  // namespace kx::cleaning
