#pragma once
// The contexts of the component's runs, built where the public class is
// entered. The component keeps its state per thread between calls (KXStart
// fills the list that KXDelete works through); this is the one place below
// the hosts that looks that state up, and the runs get it handed down.
#include "cleaning/run_context.hpp"
#include "services/progress.hpp"

namespace kx {

/// A cleaning run on the calling thread: the bound machine, the shared host
/// state, the thread's run state and found list, and the thread's progress
/// window as the sink. Throws when no machine is bound.
class ThreadCleaningRun {
  public:
    ThreadCleaningRun();
    ThreadCleaningRun(const ThreadCleaningRun&) = delete;
    ThreadCleaningRun& operator=(const ThreadCleaningRun&) = delete;

    const cleaning::RunContext& context() const { return context_; }

  private:
    WindowProgress progress_;
    cleaning::RunContext context_;
};

}  // namespace kx
