#pragma once
// The proxy auto-configuration script that points a browser at the user's
// proxies: "DIRECT" for none, one PROXY for a single proxy, and for a chain
// the program folder's template with its numbered clauses filled in.
#include <optional>
#include <string>
#include <string_view>

namespace kx::anonymity {

/// The highest clause number a chain template holds ("PROXY $31; ").
inline constexpr int kLastChainClause = 31;

/// The script for `proxy` (without a final line break):
/// - blank: the one-line script answering "DIRECT";
/// - no ";": the one-line script answering "PROXY " + proxy;
/// - a chain "a;b;c" (a trailing ";" allowed): `chainTemplate` with each
///   "$<i>" replaced by proxy i and every "PROXY $<i>; " clause without a
///   proxy (beyond the chain, or an empty part such as in "a;;c") removed.
///   Placeholders are read as whole numbers, so "$1" never eats into "$12".
/// Nothing (nullopt) when a chain has no template, when a chain names no
/// proxy at all, or when a proxy holds characters that could break out of
/// the script's quoted text (quotes, backslashes, control characters).
std::optional<std::string> buildProxyScript(std::string_view proxy,
                                            std::optional<std::string_view> chainTemplate);

}  // namespace kx::anonymity
