#pragma once
// The search for a working chain of anonymous proxies from the maker's list.
#include <cstddef>
#include <string>

#include "anonymity/proxy_list.hpp"

namespace kx::anonymity {

/// How long the search gives the checker for each proxy.
inline constexpr int kSearchCheckSeconds = 2;

/// The chain "host:port;host:port;..." of anonymous proxies found, "" when
/// the list could not be fetched or the user broke the search off (gbBreak).
///
/// The maker's list is tried in a shuffled order; the first "NProxys"
/// proxies that answer in time and hide the user make the chain. When fewer
/// are found (c of N), the lines from c on of the shuffled list fill it up
/// to N entries, leaving out lines that are no proxy address, proxies
/// already in it and proxies the scan saw passing the user's address on; with
/// none found the user is told so and the filled chain is answered all the
/// same. A missing checker program ends the search with the chain found so
/// far. "NProxys" that is not a whole number of at least 1 counts as its
/// default 2.
std::string GetFastestProxy();
/// The same with the shuffle's random numbers given (tests fix the order).
std::string GetFastestProxy(const RandomSource& random);

/// A search's chain and how many of its first proxies the checker found
/// anonymous; the ones after them were filled in unchecked from the list.
struct ProxySearch {
    std::string chain;
    std::size_t checked = 0;
};
ProxySearch searchProxyChain(const RandomSource& random);
ProxySearch searchProxyChain();

}  // namespace kx::anonymity
