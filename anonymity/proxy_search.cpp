#include "anonymity/proxy_search.hpp"

#include "platform/variant.hpp"

namespace kx::anonymity {

// Placeholder until the search lands.
std::string GetFastestProxy() {
    throw platform::RuntimeError{445, "GetFastestProxy is not built yet"};
}

}  // namespace kx::anonymity
