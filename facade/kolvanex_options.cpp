// The settings dialog's operations of CKOLVANEX: the dialog on its first
// page, on the popup blocker's page and on the page of anonymous surfing,
// from where the proxy dialog is reached.
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "options/frm_optionen.hpp"

namespace kx {

Ret<void> CKOLVANEX::ShowOptionen() {
    return guarded("ShowOptionen", [] { options::ShowOptionen(); });
}

Ret<void> CKOLVANEX::ShowOptionenPopupBlocker() {
    return guarded("ShowOptionenPopupBlocker", [] { options::ShowOptionenPopupBlocker(); });
}

Ret<void> CKOLVANEX::ShowProxyOptionen() {
    return guarded("ShowProxyOptionen", [] { options::ShowProxyOptionen(); });
}

}  // namespace kx
