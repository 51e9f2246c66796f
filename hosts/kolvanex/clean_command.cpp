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
#include "hosts/kolvanex/terminal_progress.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "settings/settings_store.hpp"

namespace kx::host {
namespace {

using platform::tr;
using platform::trf;

struct CleanOptions {
    bool quiet = false;
    bool list = false;
    bool preview = false;
    std::vector<std::string> only;
    std::vector<std::string> except;
};

// `text` filled with spaces to `width` characters (not bytes: an umlaut
// takes two bytes and one column).
std::string padded(std::string_view text, std::size_t width) {
    const std::size_t characters = platform::characterCount(text);
    return std::string(text) + std::string(width > characters ? width - characters : 0, ' ');
}

int listSteps(const GlobalOptions& options) {
    Session session(options, true);
    const settings::AppSettings stored(settings::applicationName());
    for (const auto& step : cleaning::cleaningSteps()) {
        const bool on = cleaning::engineNumber(stored, *step.key) > 0;
        std::printf("%-20s %s %-32s %s\n", std::string(step.name).c_str(),
                    padded(on ? tr("ein") : tr("aus"), 3).c_str(),
                    ("Options\\" + std::string(step.key->name)).c_str(),
                    std::string(tr(step.removes)).c_str());
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
    std::printf("%s %9s  %s\n", padded(what, 7).c_str(),
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
        printEntry(keep    ? tr("bleibt")
                   : blank ? tr("leeren")
                           : tr("löschen"),
                   *size, bothPaths(run.machine, path));
    }
    // The files the exceptions protect never reach the list.
    for (const auto& kept : run.state.keptFiles)
        printEntry(tr("bleibt"), platform::files::size(run.machine, kept.path).value_or(0),
                   bothPaths(run.machine, kept.path));
    for (const auto& step : cleaning::plannedSteps(run)) {
        std::printf("%s %s\n", padded(tr("danach"), 7).c_str(), step.what.c_str());
        for (const auto& path : step.paths)
            std::printf("        %s\n", bothPaths(run.machine, path).c_str());
    }
    std::printf("%s\n", trf("würde {1} in {2} Dateien freigeben",
                            {readableSize(bytes), withThousands(files)})
                            .c_str());
    std::fflush(stdout);
    // The preview ends here: the kept files get their attributes back and
    // the list is dropped, as the end of a run leaves them.
    cleaning::restoreKeptFiles(run);
    run.found.clear();
    if (cancelled) {
        std::cerr << "kolvanex: " << tr("abgebrochen; die Liste oben ist unvollständig") << "\n";
        return kExitCancelled;
    }
    return 0;
}

int runClean(GlobalOptions options, const CleanOptions& clean) {
    options.quiet = options.quiet || clean.quiet;
    if (clean.list)
        return listSteps(options);
    std::optional<cleaning::StepChoice> choice;
    if (!clean.only.empty() || !clean.except.empty()) {
        std::string unknown;
        choice = clean.only.empty() ? cleaning::StepChoice::of(clean.except, true, &unknown)
                                    : cleaning::StepChoice::of(clean.only, false, &unknown);
        if (!choice)
            throw UsageError(
                trf("unbekannter Reinigungsschritt '{1}' ('kolvanex clean --list' "
                    "nennt sie)",
                    {unknown}));
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
        std::cerr << "kolvanex: " << tr("abgebrochen, bevor der Lauf enden konnte") << "\n";
        return kExitCancelled;
    }
    if (!options.quiet) {
        if (summary->cancelled)
            std::cout << tr(cleaning::kCancelledLine) << "\n";
        // The run's last status line is the summary: a terminal that shows
        // the log has just read it.
        if (!outputIsTheLogsTerminal())
            std::cout << cleaning::summaryLine(summary->count, summary->bytes) << "\n";
    }
    return summary->cancelled ? kExitCancelled : 0;
}

}  // namespace

void addCleanCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* clean = app.add_subcommand(
        "clean", std::string(tr("die Nutzungsspuren entfernen, die die Einstellungen wählen "
                                "(Cookies, Caches, Verläufe, ...)")));
    auto o = std::make_shared<CleanOptions>();
    auto* list = clean->add_flag("--list", o->list,
                                 std::string(tr("die Reinigungsschritte zeigen, was jeder "
                                                "entfernt, seinen Einstellungsschlüssel und ob er "
                                                "eingeschaltet ist")));
    clean
        ->add_flag("--preview", o->preview,
                   std::string(tr("zeigen, was der Lauf entfernen und freigeben würde; nichts "
                                  "wird geändert")))
        ->excludes(list);
    clean->add_flag("--quiet", o->quiet, std::string(tr("nur Fehler ausgeben")));
    auto* only = clean
                     ->add_option("--only", o->only,
                                  std::string(tr("in diesem Lauf nur diese Schritte ausführen")))
                     ->delimiter(',')
                     ->excludes(list);
    clean
        ->add_option("--except", o->except,
                     std::string(tr("in diesem Lauf alle Schritte außer diesen ausführen")))
        ->delimiter(',')
        ->excludes(list)
        ->excludes(only);
    clean->footer(
        std::string(tr("--only und --except ändern die gespeicherten Einstellungen nicht.\n\n"
                       "Beispiele:\n")) +
        "  kolvanex clean --list\n"
        "  kolvanex clean --preview --only cookies,internet-cache\n"
        "  kolvanex clean --except recycle-bin");
    clean->callback([&options, &exitCode, o] { exitCode = runClean(options, *o); });
}

}  // namespace kx::host
