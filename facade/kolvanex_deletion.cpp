// The secure deletion entry of CKOLVANEX: the host's way to the routine every
// deletion of the component goes through (deletion/secure_delete.hpp).
#include <optional>
#include <stdexcept>

#include "cleaning/run_state.hpp"
#include "core/shared_state.hpp"
#include "deletion/secure_delete.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"

namespace kx {

Ret<double> CKOLVANEX::KXDeleteTheFile(std::string sFileName, bool bSecurityMode, bool bEncryptIt,
                                       Integer iDeleteN, Byte yDeleteChar, bool bDeleteIt) {
    // The routine answers 0 for whatever went wrong and never throws; the
    // guard is for the unforeseen, which must not reach the host either. An
    // index file it defers is recorded in the thread's run state, whether or
    // not a cleaning run is going on, as every deletion of the component does.
    return guarded("KXDeleteTheFile", [&] {
        std::optional<ThreadDeletion> thread;
        try {
            thread.emplace();
        } catch (const std::logic_error&) {
            return 0.0;  // no machine bound: nothing deleted, as for any failure
        }
        return cleaning::recordDeletion(
            cleaning::runState(),
            deletion::deleteInStoredMode(thread->context(),
                                         settings::AppSettings(shared().applicationTitle),
                                         {std::move(sFileName), bSecurityMode, bEncryptIt, iDeleteN,
                                          yDeleteChar, bDeleteIt}));
    });
}

}  // namespace kx
