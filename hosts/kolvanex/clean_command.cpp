// `kolvanex clean [--list | --preview] [--only STEP,... | --except STEP,...]`:
// a cleaning run on the machine, as the host application starts one, with
// the progress log on the terminal and the summary on standard output. A run
// that Ctrl+C cancels says so above its summary, which counts only the files
// really cleaned, and exits with 130. The preview runs the same discovery and
// shows the list the run would work through (each file with its place on
// this computer and its size) and the other steps it would take, changing
// nothing. --only and --except choose the steps of this one run; the stored
// settings stay as they are.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>

#include "cleaning/destroy_phase.hpp"
#include "cleaning/discovery.hpp"
#include "cleaning/step_choice.hpp"
#include "cleaning/step_tools.hpp"
#include "facade/run_contexts.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/text.hpp"
#include "settings/settings_store.hpp"

namespace kx::host {
namespace {

struct CleanOptions {
    bool list = false;
    bool preview = false;
    std::vector<std::string> only;
    std::vector<std::string> except;
};

int listSteps(const GlobalOptions& options) {
    Session session(options, true);
    const settings::AppSettings stored(settings::applicationName());
    for (const auto& step : cleaning::cleaningSteps()) {
        const bool on = cleaning::engineNumber(stored, *step.key) > 0;
        std::printf("%-20s %-3s %-32s %s\n", std::string(step.name).c_str(), on ? "on" : "off",
                    ("Options\\" + std::string(step.key->name)).c_str(),
                    std::string(step.removes).c_str());
    }
    return 0;
}

// "4.1 kB", "12.3 MB": sizes as file managers show them.
std::string readableSize(double bytes) {
    static constexpr const char* units[] = {"B", "kB", "MB", "GB", "TB"};
    std::size_t unit = 0;
    while (bytes >= 1000 && unit + 1 < std::size(units)) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

// "3,001".
std::string withThousands(std::size_t n) {
    std::string digits = std::to_string(n);
    for (auto at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// The Windows path and where it really lies on this computer (the drive's
// folder, not the link to it).
std::string bothPaths(platform::Machine& machine, const std::string& path) {
    const auto host = machine.resolve(path);
    if (!host)
        return path;
    std::error_code ec;
    const auto real = std::filesystem::weakly_canonical(*host, ec);
    return path + "  ->  " + (ec ? *host : real).string();
}

void printEntry(std::string_view what, std::uint64_t size, const std::string& paths) {
    std::printf("%-7s %9s  %s\n", std::string(what).c_str(),
                readableSize(static_cast<double>(size)).c_str(), paths.c_str());
}

int runPreview(const cleaning::StepChoice* choice) {
    const ThreadCleaningRun thread(choice);
    const auto& run = thread.context();
    cleaning::runDiscovery(run, {.preview = true});
    const bool cancelled = run.cancelled();
    double bytes = 0;
    std::size_t files = 0;
    clearProgressLine();
    for (const auto& item : run.found.items()) {
        const auto& path = item->text;
        const bool keep = cleaning::wouldKeep(run.state, path);
        const auto size = platform::files::size(run.machine, path);
        if (!size) {
            // Not a file: the marker of the registry lists (said below).
            continue;
        }
        // An index file is blanked where it lies, not removed.
        const bool blank = platform::vbLCase(path).find("index.dat") != std::string::npos;
        if (!keep && !blank) {
            bytes += static_cast<double>(*size);
            ++files;
        }
        printEntry(keep ? "keep" : blank ? "blank" : "delete", *size, bothPaths(run.machine, path));
    }
    // The files the exceptions protect never reach the list.
    for (const auto& kept : run.state.keptFiles)
        printEntry("keep", platform::files::size(run.machine, kept.path).value_or(0),
                   bothPaths(run.machine, kept.path));
    for (const auto& step : cleaning::plannedSteps(run)) {
        std::printf("then    %s\n", step.what.c_str());
        for (const auto& path : step.paths)
            std::printf("        %s\n", bothPaths(run.machine, path).c_str());
    }
    std::printf("would free %s in %s files\n", readableSize(bytes).c_str(),
                withThousands(files).c_str());
    std::fflush(stdout);
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

int runClean(const GlobalOptions& options, const CleanOptions& clean) {
    if (clean.list)
        return listSteps(options);
    std::optional<cleaning::StepChoice> choice;
    if (!clean.only.empty() || !clean.except.empty()) {
        std::string unknown;
        choice = clean.only.empty() ? cleaning::StepChoice::of(clean.except, true, &unknown)
                                    : cleaning::StepChoice::of(clean.only, false, &unknown);
        if (!choice)
            throw UsageError("unknown cleaning step '" + unknown +
                             "' ('kolvanex clean --list' names them)");
    }
    Session session(options, true);
    const cleaning::StepChoice* chosen = choice ? &*choice : nullptr;
    if (clean.preview)
        return runPreview(chosen);
    const ThreadCleaningRun thread(chosen);
    cleaning::runDiscovery(thread.context());
    const auto summary = cleaning::runDestroyPhase(thread.context());
    clearProgressLine();
    if (!summary) {
        std::cerr << "kolvanex: cancelled before the run could finish\n";
        return kExitCancelled;
    }
    if (!options.quiet) {
        if (summary->cancelled)
            std::cout << cleaning::kCancelledLine << "\n";
        std::cout << cleaning::summaryLine(summary->count, summary->bytes) << "\n";
    }
    return summary->cancelled ? kExitCancelled : 0;
}

}  // namespace

void addCleanCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* clean = app.add_subcommand(
        "clean", "remove the usage tracks the settings choose (cookies, caches, histories, ...)");
    auto o = std::make_shared<CleanOptions>();
    auto* list = clean->add_flag("--list", o->list,
                                 "show the cleaning steps, what each removes, its settings key "
                                 "and whether it is on");
    clean
        ->add_flag("--preview", o->preview,
                   "show what the run would remove and free; nothing is changed")
        ->excludes(list);
    auto* only = clean->add_option("--only", o->only, "take only these steps in this run")
                     ->delimiter(',')
                     ->excludes(list);
    clean->add_option("--except", o->except, "take every step but these in this run")
        ->delimiter(',')
        ->excludes(list)
        ->excludes(only);
    clean->footer(
        "The stored settings are not changed by --only or --except.\n\n"
        "Examples:\n"
        "  kolvanex clean --list\n"
        "  kolvanex clean --preview --only cookies,internet-cache\n"
        "  kolvanex clean --except recycle-bin");
    clean->callback([&options, &exitCode, o] { exitCode = runClean(options, *o); });
}

}  // namespace kx::host
