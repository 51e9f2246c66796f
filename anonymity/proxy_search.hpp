#pragma once
// The search for a working chain of anonymous proxies from the maker's list.
#include <string>

namespace kx::anonymity {

/// The chain "host:port;host:port;..." of anonymous proxies found, "" when
/// none was found or the search was broken off.
std::string GetFastestProxy();

}  // namespace kx::anonymity
