#pragma once
// The check of the dial-up entries for premium-rate numbers: every entry of
// the phone book and every active connection whose local number starts with
// one of the prefixes of expensive service numbers, and is not among the
// user's allowed numbers ("NoDialerNumbers"), is suspicious. Finding one
// hangs up every active dial-up connection; the findings go to the warning
// dialog frmDialerList, from which the user can delete them.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/controls.hpp"

namespace kx::dialer {

/// The number with every character that is not a digit taken out.
std::string digitsOnly(std::string_view number);

/// True when the digits start like a premium-rate service number: 09009,
/// 0190, 0900, 01033 or 1188.
bool hasDialerPrefix(std::string_view digits);

/// "NoDialerNumbers" taken apart at ";", each part compared whole.
std::vector<std::string> allowedNumbers();

/// True when a local phone number is suspicious: its digits carry a dialer
/// prefix and are not one of the allowed numbers. The area code plays no part.
bool isSuspiciousNumber(std::string_view localNumber, const std::vector<std::string>& allowed);

/// Runs the check with `entryList` as the list of dial-up entries it fills
/// (cleared first; the entries, then the active connections, so an entry
/// that is also connected is tested twice). Shows the warning dialog
/// modally when something was found and answers the number of findings.
/// Does nothing on a system that reports "Windows NT".
std::size_t checkForDialer(platform::ui::ListView& entryList);

/// Looks at every dial-up entry and active connection; suspicious entries
/// are shown in the dialer warning dialog.
void KXCheckForDialer();

}  // namespace kx::dialer
