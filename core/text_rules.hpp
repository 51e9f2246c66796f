#pragma once
// The text and value rules the whole engine shares: the runtime's Boolean
// reading, trailing backslashes, number reading and the number format.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/automation.hpp"

namespace kx {

/// sFile with a trailing "\" (unchanged when it has one); "" gives "\".
std::string AddBackslash(std::string_view sFile);

/// True exactly for the texts "Wahr" and "True" (case matters) and the
/// Boolean true: Boolean values stored as text under either system language.
bool CBoolEx(const Variant& vValue);

/// Bits 8..15 and 0..7 of a 16-bit value.
Byte hibyte(Integer wParam);
Byte lobyte(Integer wParam);

/// The leading number of a text, with "," or "." as decimal separator; 0 when none.
double numericValue(std::string_view text);
/// A number with a fixed count of decimals in the number format of the
/// user's language (German: "." groups thousands, "," before the decimals:
/// 1234.5 -> "1.234,50"; English: "1,234.50").
std::string formatNumber(double value, int decimals);

}  // namespace kx
