// The session operations of CKOLVANEX: thin entries into
// anonymity/sessions.hpp. The window handles they are given are not used.
#include "anonymity/sessions.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

Ret<bool> CKOLVANEX::AskForNewSession(Long) {
    return guarded("AskForNewSession", [] { return anonymity::AskForNewSession(); });
}

Ret<bool> CKOLVANEX::SetSafeSessionOn(Variant) {
    return guarded("SetSafeSessionOn", [] { return anonymity::SetSafeSessionOn(); });
}

Ret<bool> CKOLVANEX::SetSafeSessionOff(Long, bool) {
    return guarded("SetSafeSessionOff", [] { return anonymity::SetSafeSessionOff(); });
}

Ret<bool> CKOLVANEX::SetAnonymSessionOn(Long) {
    return guarded("SetAnonymSessionOn", [] { return anonymity::SetAnonymSessionOn(); });
}

Ret<bool> CKOLVANEX::SetAnonymSessionOff(Long, bool) {
    return guarded("SetAnonymSessionOff", [] { return anonymity::SetAnonymSessionOff(); });
}

Ret<void> CKOLVANEX::ShowBrowserBar() {
    return guarded("ShowBrowserBar", [] { anonymity::ShowBrowserBar(); });
}

Ret<void> CKOLVANEX::Werbung(Long, std::string sPageToOpen) {
    return guarded("Werbung", [&] { (void)anonymity::Werbung(sPageToOpen); });
}

}  // namespace kx
