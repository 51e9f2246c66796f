#pragma once
// What one cleaning run works with: the machine, the host's state (the
// application title that names the settings tree, the program folder, the
// quiet and break flags), the run state, the found list and the progress
// sink. The public class builds it from what the component keeps per thread
// between calls (KXStart fills the list that KXDelete works through) and
// hands it to the run; every step takes it as its parameter instead of
// looking any of these up itself.
#include "cleaning/run_state.hpp"
#include "core/shared_state.hpp"
#include "platform/machine/machine.hpp"
#include "platform/ui/controls.hpp"
#include "services/progress.hpp"

namespace kx::cleaning {

struct RunContext {
    platform::Machine& machine;
    SharedState& host;
    RunState& state;
    platform::ui::ListView& found;
    ProgressSink& progress;

    /// gbBreak: the user cancelled the run.
    bool cancelled() const { return host.gbBreak; }
    /// A status line through the run's progress sink.
    void status(std::string_view line) const { progress.status(line); }
};

}  // namespace kx::cleaning
