#include "facade/run_contexts.hpp"

#include "core/shared_state.hpp"
#include "platform/machine/machine.hpp"

namespace kx {

ThreadCleaningRun::ThreadCleaningRun()
    : progress_(shared()),
      context_{platform::currentMachine(), shared(), cleaning::runState(), cleaning::foundList(),
               progress_} {}

}  // namespace kx
