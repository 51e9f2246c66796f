// The cleaning run of CKOLVANEX: thin entries into cleaning/. Both phases
// handle the faults of their own steps; only a fault of the machinery (no
// machine bound) becomes a failing status.
#include "cleaning/destroy_phase.hpp"
#include "cleaning/discovery.hpp"
#include "cleaning/statistics.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"

namespace kx {

Ret<Variant> CKOLVANEX::KXStart() {
    return guarded("KXStart", [] {
        cleaning::runDiscovery();
        return Variant();
    });
}

Ret<Variant> CKOLVANEX::KXDelete() {
    return guarded("KXDelete", [] {
        cleaning::runDestroyPhase();
        return Variant();
    });
}

Ret<void> CKOLVANEX::KXStatistics(Long lnFiles, double dblMB) {
    return guarded("KXStatistics", [&] { cleaning::addStatistics(lnFiles, dblMB); });
}

}  // namespace kx
