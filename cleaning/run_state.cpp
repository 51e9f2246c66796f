#include "cleaning/run_state.hpp"

namespace kx::cleaning {

RunState& runState() {
    thread_local RunState state;
    return state;
}

void resetRunState() {
    runState() = RunState{};
}

}  // namespace kx::cleaning
