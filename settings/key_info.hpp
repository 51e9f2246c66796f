#pragma once
// What each key of the settings store means and which values it takes, as
// the user is told: one line of description and, for numbers the settings
// dialog checks, the range it allows. The dialog's checks and the command
// line's take their ranges from here.
#include <optional>
#include <string>
#include <string_view>

#include "settings/keys.hpp"

namespace kx::settings {

struct KeyRange {
    long low;
    long high;
};

struct KeyInfo {
    std::string_view description;   // in German; shown through platform::tr
    std::optional<KeyRange> range;  // whole numbers only, for Form::Number
};

/// The key's description and range (an empty description for a key
/// without one).
KeyInfo infoOf(const SettingKey& key);

/// The values a key takes, said plainly: "0 or 1", "whole number 1 to 99".
std::string valuesOf(const SettingKey& key);

/// Nothing when `text` is a value the key takes, else why it is not.
std::optional<std::string> refusal(const SettingKey& key, std::string_view text);

namespace ranges {
inline constexpr KeyRange DeleteN{1, 99};
inline constexpr KeyRange DeleteValue{0, 255};
inline constexpr KeyRange NProxys{1, 10};
inline constexpr KeyRange DialerCheckTime{0, 300};
}  // namespace ranges

}  // namespace kx::settings
