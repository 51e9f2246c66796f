// The proxy test and search operations of CKOLVANEX: thin entries into
// anonymity/proxy_checker.hpp and anonymity/proxy_search.hpp.
#include "anonymity/proxy_checker.hpp"
#include "anonymity/proxy_search.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "platform/runtime/translation.hpp"

namespace kx {

Ret<std::string> CKOLVANEX::GetFastestProxy() {
    return guarded("GetFastestProxy", [] { return anonymity::GetFastestProxy(); });
}

Ret<std::string> CKOLVANEX::KXChecker(std::string sProxyAndPort, bool& bIsAnonym, ObjectRef frmIn,
                                      Long lSeconds) {
    return guarded("KXChecker", [&] {
        auto* form = dynamic_cast<platform::ui::Form*>(frmIn.get());
        // Only a window can show the outcome; anything else is refused before
        // the test runs.
        if (frmIn && !form)
            throw platform::RuntimeError{13, std::string(platform::tr("Typen unverträglich"))};
        return anonymity::KXChecker(sProxyAndPort, bIsAnonym, form, lSeconds);
    });
}

Ret<std::string> CKOLVANEX::GetIPAdress() {
    return guarded("GetIPAdress", [] { return anonymity::GetIPAdress(); });
}

}  // namespace kx
