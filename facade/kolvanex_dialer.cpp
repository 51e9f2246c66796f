// The dialer protection operations of CKOLVANEX: thin entries into dialer/.
// Failing dial-up calls give the plain answers (nothing found, false); only a
// fault of the machinery becomes a failing status.
#include "dialer/dialer_check.hpp"
#include "dialer/dialup_entries.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

Ret<void> CKOLVANEX::KXCheckForDialer() {
    return guarded("KXCheckForDialer", [] { dialer::KXCheckForDialer(); });
}

Ret<bool> CKOLVANEX::RASConnect(Long hwnd, std::optional<std::string> DFUEName,
                                std::optional<bool> AutoStart) {
    return guarded("RASConnect", [&] {
        return dialer::RASConnect(hwnd, DFUEName.value_or(""), AutoStart.value_or(false));
    });
}

}  // namespace kx
