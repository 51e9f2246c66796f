// The network identity operations of CKOLVANEX and the information window:
// thin entries into anonymity/network_identity.hpp and anonymity/frm_info.hpp.
// Lookups answer "" on failure, as their contract says; only an unexpected
// fault of the machinery becomes a failing status.
#include "anonymity/frm_info.hpp"
#include "anonymity/network_identity.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

Ret<std::string> CKOLVANEX::GetIPAddress(std::string sHostName) {
    return guarded("GetIPAddress", [&] { return kx::GetIPAddress(sHostName); });
}

Ret<std::string> CKOLVANEX::GetIPHostName() {
    return guarded("GetIPHostName", [] { return kx::GetIPHostName(); });
}

Ret<std::string> CKOLVANEX::HostByAddr(std::string addr) {
    return guarded("HostByAddr", [&] { return kx::HostByAddr(addr); });
}

Ret<std::string> CKOLVANEX::HostByName(std::string& na, Integer* adapter) {
    return guarded("HostByName",
                   [&] { return kx::HostByName(na, adapter ? *adapter : Integer{1}); });
}

Ret<std::string> CKOLVANEX::MyHostName() {
    return guarded("MyHostName", [] { return kx::MyHostName(); });
}

Ret<bool> CKOLVANEX::SocketsInitialize() {
    return guarded("SocketsInitialize", [] { return kx::SocketsInitialize(); });
}

Ret<void> CKOLVANEX::SocketsCleanup() {
    return guarded("SocketsCleanup", [] { kx::SocketsCleanup(); });
}

Ret<void> CKOLVANEX::xSocketsInitialize() {
    return guarded("xSocketsInitialize", [] { kx::xSocketsInitialize(); });
}

Ret<void> CKOLVANEX::xSocketsCleanup() {
    return guarded("xSocketsCleanup", [] { kx::xSocketsCleanup(); });
}

Ret<void> CKOLVANEX::ShowInfo() {
    return guarded("ShowInfo", [] { kx::ShowInfo(); });
}

}  // namespace kx
