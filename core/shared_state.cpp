#include "core/shared_state.hpp"

namespace kx {

SharedState& shared() {
    thread_local SharedState state;
    return state;
}

void resetShared() {
    shared() = SharedState{};
}

}  // namespace kx
