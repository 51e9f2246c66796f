// The secure deletion entry of CKOLVANEX: the host's way to the routine every
// deletion of the component goes through (deletion/secure_delete.hpp).
#include "core/shared_state.hpp"
#include "deletion/secure_delete.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

Ret<double> CKOLVANEX::KXDeleteTheFile(std::string sFileName, bool bSecurityMode, bool bEncryptIt,
                                       Integer iDeleteN, Byte yDeleteChar, bool bDeleteIt) {
    // The routine answers 0 for whatever went wrong and never throws; the
    // guard is for the unforeseen, which must not reach the host either.
    return guarded("KXDeleteTheFile", [&] {
        return deletion::DeleteTheFile(settings::AppSettings(shared().applicationTitle), sFileName,
                                       bSecurityMode, bEncryptIt, iDeleteN, yDeleteChar, bDeleteIt);
    });
}

}  // namespace kx
