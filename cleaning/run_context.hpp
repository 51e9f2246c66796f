#pragma once
// What one cleaning run works with: the machine, the host's state (the
// application title that names the settings tree, the program folder, the
// quiet and break flags), the run state, the found list, the progress sink
// and the context of the deletions it makes. The public class builds it from
// what the component keeps per thread between calls (KXStart fills the list
// that KXDelete works through) and hands it to the run; every step takes it
// as its parameter instead of looking any of these up itself.
#include "cleaning/run_state.hpp"
#include "cleaning/step_choice.hpp"
#include "core/shared_state.hpp"
#include "deletion/deletion_context.hpp"
#include "platform/machine/machine.hpp"
#include "platform/ui/controls.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"

namespace kx::cleaning {

struct RunContext {
    platform::Machine& machine;
    SharedState& host;
    RunState& state;
    platform::ui::ListView& found;
    ProgressSink& progress;
    /// Every file the run destroys goes through the deletion routine with
    /// this context (on the same machine, reporting to the same sink).
    const deletion::DeletionContext& deletion;
    /// The steps this run is limited to; null: every step the settings
    /// switch on.
    const StepChoice* choice = nullptr;

    /// gbBreak: the user cancelled the run.
    bool cancelled() const { return host.gbBreak; }
    /// The component's settings under the host's present application title.
    settings::AppSettings appSettings() const {
        return settings::AppSettings(host.applicationTitle);
    }
    /// Whether the run may take the step that `key` switches.
    bool chosen(const settings::SettingKey& key) const {
        return choice == nullptr || choice->allows(key);
    }
    /// A setting of the engine's own steps: on when it holds a number above 0
    /// (off for a step the run is not to take).
    bool engineOn(const settings::SettingKey& key) const;
    /// A setting of the engine's own steps as a check or choice state.
    bool engineBool(const settings::SettingKey& key) const {
        return chosen(key) && appSettings().readBool(key, settings::Reader::Engine);
    }

    /// A status line through the run's progress sink.
    void status(std::string_view line) const { progress.status(line); }
};

}  // namespace kx::cleaning
