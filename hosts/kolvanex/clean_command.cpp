// `kolvanex clean [--preview]`: a cleaning run on the machine, as the host
// application starts one, with the progress log on the terminal and the
// summary on standard output. A run that Ctrl+C cancels says so above its
// summary, which counts only the files really cleaned, and exits with 130.
// The preview runs the same discovery and lists what the run would then
// process, changing nothing.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cleaning/destroy_phase.hpp"
#include "cleaning/discovery.hpp"
#include "facade/run_contexts.hpp"
#include "hosts/kolvanex/host.hpp"

namespace kx::host {
namespace {

int runPreview() {
    const ThreadCleaningRun thread;
    const auto& run = thread.context();
    cleaning::runDiscovery(run, {.preview = true});
    const bool cancelled = run.cancelled();
    const auto& list = run.found;
    std::size_t kept = 0;
    for (const auto& item : list.items()) {
        const bool keep = cleaning::wouldKeep(run.state, item->text);
        kept += keep ? 1 : 0;
        std::cout << (keep ? "keep    " : "delete  ") << item->text << "\n";
    }
    for (const auto step : cleaning::plannedSteps(run)) std::cout << "then    " << step << "\n";
    std::cout << list.count() << " entries, " << kept << " kept\n";
    // The preview ends here: the kept files get their attributes back and
    // the list is dropped, as the end of a run leaves them.
    cleaning::restoreKeptFiles(run);
    run.found.clear();
    if (cancelled) {
        std::cerr << "kolvanex: cancelled; the list above is incomplete\n";
        return kExitCancelled;
    }
    return 0;
}

int runClean(const GlobalOptions& options, bool preview) {
    Session session(options, true);
    if (preview)
        return runPreview();
    const ThreadCleaningRun thread;
    cleaning::runDiscovery(thread.context());
    const auto summary = cleaning::runDestroyPhase(thread.context());
    if (!summary) {
        std::cerr << "kolvanex: cancelled before the run could finish\n";
        return kExitCancelled;
    }
    if (summary->cancelled)
        std::cout << cleaning::kCancelledLine << "\n";
    std::cout << cleaning::summaryLine(summary->count, summary->bytes) << "\n";
    return summary->cancelled ? kExitCancelled : 0;
}

}  // namespace

void addCleanCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* clean = app.add_subcommand(
        "clean", "a cleaning run (KXStart, then KXDelete) with the stored settings");
    auto preview = std::make_shared<bool>(false);
    clean->add_flag("--preview", *preview,
                    "only list what the run would process; nothing is deleted");
    clean->callback([&options, &exitCode, preview] { exitCode = runClean(options, *preview); });
}

}  // namespace kx::host
