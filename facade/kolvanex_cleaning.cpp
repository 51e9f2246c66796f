// The cleaning run of CKOLVANEX: thin entries into cleaning/, each handing
// the run its context. Both phases handle the faults of their own steps;
// only a fault of the machinery (no machine bound) becomes a failing status.
#include "cleaning/destroy_phase.hpp"
#include "cleaning/discovery.hpp"
#include "cleaning/statistics.hpp"
#include "core/shared_state.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "facade/run_contexts.hpp"

namespace kx {

Ret<Variant> CKOLVANEX::KXStart() {
    return guarded("KXStart", [] {
        const ThreadCleaningRun run;
        cleaning::runDiscovery(run.context());
        return Variant();
    });
}

Ret<Variant> CKOLVANEX::KXDelete() {
    return guarded("KXDelete", [] {
        const ThreadCleaningRun run;
        cleaning::runDestroyPhase(run.context());
        return Variant();
    });
}

Ret<void> CKOLVANEX::KXStatistics(Long lnFiles, double dblMB) {
    return guarded("KXStatistics", [&] {
        cleaning::addStatistics(settings::AppSettings(shared().applicationTitle), lnFiles, dblMB);
    });
}

}  // namespace kx
