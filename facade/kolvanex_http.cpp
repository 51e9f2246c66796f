// The HTTP retrieval operations of CKOLVANEX (anonymity/internet_file.hpp).
#include "anonymity/internet_file.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

Ret<bool> CKOLVANEX::IsConnection() {
    // The contract answers false for every failure, a broken settings
    // store or machine included: callers take it as "offline".
    auto online = guarded("IsConnection", [] { return kx::IsConnection(); });
    return online ? online : Ret<bool>(false);
}

Ret<std::string> CKOLVANEX::GetInternetFile(std::string sURL) {
    // Every failure of the fetch is an empty answer; callers word their own
    // message for it.
    auto text = guarded("GetInternetFile", [&] { return kx::GetInternetFile(sURL); });
    return text ? text : Ret<std::string>(std::string());
}

Ret<std::string> CKOLVANEX::GetDownloadProxy() {
    return guarded("GetDownloadProxy", [] { return kx::GetDownloadProxy(); });
}

}  // namespace kx
