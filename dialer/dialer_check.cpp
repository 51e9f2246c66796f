#include "dialer/dialer_check.hpp"

namespace kx::dialer {

// Placeholder until the dial-up layer lands: no entries, nothing found.
void KXCheckForDialer() {}

}  // namespace kx::dialer
