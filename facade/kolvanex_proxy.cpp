// The browser proxy operations of CKOLVANEX: thin entries into
// anonymity/browser_proxy.hpp. File errors end an operation quietly with its
// plain answer; only a fault of the machinery (no machine bound) becomes a
// failing status.
#include "anonymity/browser_proxy.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

Ret<bool> CKOLVANEX::SetIEProxy(std::string sProxyIPAndPort) {
    return guarded("SetIEProxy", [&] { return anonymity::SetIEProxy(sProxyIPAndPort); });
}

Ret<bool> CKOLVANEX::SetOperaProxy(std::string sProxyIPAndPort) {
    return guarded("SetOperaProxy", [&] { return anonymity::SetOperaProxy(sProxyIPAndPort); });
}

Ret<bool> CKOLVANEX::SetMozillaProxy(std::string sProxyIPAndPort, std::string sProfileFile) {
    return guarded("SetMozillaProxy",
                   [&] { return anonymity::SetMozillaProxy(sProxyIPAndPort, sProfileFile); });
}

Ret<std::string> CKOLVANEX::GetAdFilterProxyFileName() {
    return guarded("GetAdFilterProxyFileName",
                   [] { return anonymity::GetAdFilterProxyFileName(); });
}

Ret<std::string> CKOLVANEX::GetAutoProxyFileName() {
    return guarded("GetAutoProxyFileName", [] { return anonymity::GetAutoProxyFileName(); });
}

Ret<void> CKOLVANEX::WriteAutoProxyFile(std::string sProxyIPAndPort) {
    return guarded("WriteAutoProxyFile", [&] { anonymity::WriteAutoProxyFile(sProxyIPAndPort); });
}

Ret<void> CKOLVANEX::RefreshIESettings() {
    return guarded("RefreshIESettings", [] { anonymity::RefreshIESettings(); });
}

}  // namespace kx
