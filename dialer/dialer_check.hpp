#pragma once
// The check of the dial-up entries for premium-rate numbers.

namespace kx::dialer {

/// Looks at every dial-up entry and active connection; suspicious entries
/// are shown in the dialer warning dialog.
void KXCheckForDialer();

}  // namespace kx::dialer
