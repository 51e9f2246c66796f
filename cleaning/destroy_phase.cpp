#include "cleaning/destroy_phase.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>

#include "cleaning/browser_databases.hpp"
#include "cleaning/destroy_steps.hpp"
#include "cleaning/junk_search.hpp"
#include "cleaning/run_context.hpp"
#include "cleaning/statistics.hpp"
#include "cleaning/step_tools.hpp"
#include "core/text_rules.hpp"
#include "deletion/secure_delete.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/machine/shell_folders.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/variant.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"
#include "settings/system_info.hpp"

namespace kx::cleaning {
namespace {

namespace pf = platform;

// Under the partner edition's title the anti-spy tool is never started.
constexpr std::string_view kPartnerTitle = "Orvantel";

// How long the progress window stays open after the phase.
constexpr std::int32_t kCloseAfterMs = 5000;

void closeProgressLater(const RunContext& run) {
    // The window's own failure must not end the run.
    (void)faultOf([&run] { run.progress.closeAfter(kCloseAfterMs); });
}

// Runs one statement of the phase. A fault gives the kept files their
// attributes back and lets the window close itself; the phase goes on.
void attempt(const RunContext& run, const std::function<void()>& statement) {
    if (!faultOf(statement))
        return;
    restoreKeptFiles(run);
    closeProgressLater(run);
}

void progress(const RunContext& run, std::int32_t value) {
    attempt(run, [&run, value] { run.progress.bar()->setValue(value); });
}

bool ntFamily(const RunContext&) {
    const auto name = settings::Betriebssystem();
    return name == "Windows NT" || name == "Windows 2000" || name == "Windows XP";
}

// A leftover of an interrupted deletion carries the temporary name, which
// the deletion routine refuses to take as a file to delete; under another
// name it is destroyed like any other file.
deletion::DeleteResult deleteLeftover(const RunContext& run, const std::string& path) {
    const std::string other = deletion::moveLeftoverAside(run.machine, path);
    return other.empty() ? deletion::DeleteResult::of(deletion::DeleteOutcome::Failed)
                         : deleteForRun(run, other);
}

deletion::DeleteResult deleteListed(const RunContext& run, const std::string& path) {
    const auto slash = path.rfind('\\');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    if (platform::winEqualNoCase(name, deletion::kTemporaryName))
        return deleteLeftover(run, path);
    return deleteForRun(run, path);
}

// Whether a deletion took the track away: the file destroyed, or the link or
// the one name of it that was listed removed.
bool trackRemoved(const deletion::DeleteResult& result) {
    using deletion::DeleteOutcome;
    return result.outcome == DeleteOutcome::Deleted ||
           result.outcome == DeleteOutcome::LinkRemoved ||
           result.outcome == DeleteOutcome::NameRemoved;
}

// The bar between 9 and 10 while the files go: a long list moves it once
// every kBarEvery of loop time, not per file, so that the loop pays next to
// nothing for it.
class FileLoopBar {
  public:
    explicit FileLoopBar(const RunContext& run)
        : run_(run), next_(platform::ui::MessageLoop::current().now() + kBarEvery) {}

    void reached(std::size_t done, std::size_t count) {
        const auto now = platform::ui::MessageLoop::current().now();
        if (now < next_ || count == 0)
            return;
        next_ = now + kBarEvery;
        const auto thousandths = static_cast<std::int32_t>(done * 1000 / count);
        attempt(run_, [this, thousandths] { run_.progress.bar()->setStretchDone(thousandths); });
    }

  private:
    static constexpr platform::ui::Millis kBarEvery{250};

    const RunContext& run_;
    platform::ui::Millis next_;
};

// Step 5: every listed file, in list order.
void deleteFoundFiles(const RunContext& run) {
    auto& state = run.state;
    auto& list = run.found;
    // Files come folder by folder: each folder is found once, not per file.
    // Nothing on the way is renamed or removed while the loop runs.
    platform::FolderMemoScope memo;
    FileLoopBar bar(run);
    // The list is read afresh each time round: a yield may let the host
    // change it, and a stale index must not reach past its end.
    for (std::size_t i = 0; i < list.count(); ++i) {
        const auto& item = *list.item(i);
        const std::string text = item.text;
        // The spelling on disk as the add filter kept it.
        const std::string path = spelledPath(state, item);
        attempt(run, [&] {
            if (keptCheck(run, text))
                return;
            const auto result = deleteListed(run, path);
            state.byteTotal += result.bytesFreed();
            if (trackRemoved(result))
                ++state.filesCleaned;
        });
        platform::ui::yield();
        if (run.cancelled())
            return;
        bar.reached(i + 1, list.count());
    }
}

// The steps after the file deletions, in their order. `before` and `after`
// progress values are set whether the step runs or not, so the bar moves on
// through every phase; `inside` only when it runs. 0: none.
struct LaterStep {
    // What the step does, said plainly (marked, shown translated).
    std::string_view name;
    std::int32_t before;
    bool (*gate)(const RunContext&);
    std::int32_t inside;
    void (*run)(const RunContext&);
    std::int32_t after;
    // The files it rewrites and the folders it empties (none: it changes
    // the registry or the system only).
    std::vector<std::string> (*touches)(const RunContext&) = nullptr;
    // The name when the step switches the thing on instead (its setting off).
    std::string_view nameWhenOn = {};
};

bool always(const RunContext&) {
    return true;
}

// The profile files that exist under the names the steps give them.
std::vector<std::string> profileFilesNamed(const RunContext& run,
                                           std::initializer_list<std::string_view> names) {
    std::vector<std::string> out;
    for (const auto& profile : profileFiles()) {
        for (const auto name : names) {
            auto path = platform::vbReplace(profile, "prefs.js", name);
            if (platform::files::exists(run.machine, path))
                out.push_back(std::move(path));
        }
    }
    return out;
}

std::vector<std::string> cookieFiles(const RunContext& run) {
    return profileFilesNamed(run, {"cookies.txt", "cookperm.txt"});
}

std::vector<std::string> cacheFolder(const RunContext& run) {
    return {platform::specialFolderPath(run.machine, platform::CSIDL_INTERNET_CACHE)};
}

std::vector<std::string> historyFolderAndWindowLists(const RunContext& run) {
    auto out = profileFilesNamed(run, {"localstore.rdf"});
    out.insert(out.begin(), platform::specialFolderPath(run.machine, platform::CSIDL_HISTORY));
    return out;
}

std::vector<std::string> recycleFolders(const RunContext& run) {
    std::vector<std::string> out;
    for (const auto& drive : run.machine.config().drives) {
        if (!platform::driveHasFolder(drive))
            continue;
        for (const auto folder : platform::kRecycleFolders) {
            auto path = std::string(1, drive.letter) + ":\\" + std::string(folder);
            if (platform::files::exists(run.machine, path))
                out.push_back(std::move(path));
        }
    }
    return out;
}

const std::array<LaterStep, 11>& laterSteps() {
    static const std::array<LaterStep, 11> steps = {{
        {pf::trMark("Cookie-Dateien von Netscape/Mozilla/Firefox gefiltert: nur Ausnahmen bleiben"),
         0, [](const RunContext& run) { return run.engineOn(settings::keys::Cookies); }, 0,
         cleanCookieFiles, 11, cookieFiles},
        {pf::trMark("Cache des Internet Explorer geleert"), 0,
         [](const RunContext& run) { return run.engineOn(settings::keys::INetTempFiles); }, 0,
         clearIECache, 12, cacheFolder},
        {pf::trMark("Verlauf des Internet Explorer geleert, Fensterlisten von Mozilla gekürzt"), 0,
         [](const RunContext& run) { return run.engineOn(settings::keys::Recent); }, 0,
         clearHistoryAndWindowState, 13, historyFolderAndWindowLists},
        {pf::trMark(
             "heutige Browser: Cookies, Verlauf und Formulardaten gelöscht, ihre Datenbanken "
             "verdichtet"),
         0,
         [](const RunContext& run) {
             return run.engineOn(settings::keys::Cookies) || run.engineOn(settings::keys::Recent) ||
                    run.engineBool(settings::keys::AutoFillOff);
         },
         0, cleanBrowserDatabases, 0, browserDatabaseFiles},
        {pf::trMark("Listen der Registry geleert: zuletzt geöffnete Dateien, eingegebene Adressen, "
                    "Such- und Ausführen-Verläufe"),
         0, [](const RunContext& run) { return run.engineOn(settings::keys::History); }, 0,
         cleanRegistryHistory, 0},
        {pf::trMark("Papierkörbe geleert"), 14,
         [](const RunContext& run) { return run.engineOn(settings::keys::Trashcan); }, 0,
         emptyRecycleBin, 0, recycleFolders},
        {pf::trMark("Windows-Nachrichtendienst ausgeschaltet"), 15,
         [](const RunContext& run) {
             return run.chosen(settings::keys::MessengerOff) && ntFamily(run);
         },
         0, setMessengerService, 0, nullptr, pf::trMark("Windows-Nachrichtendienst eingeschaltet")},
        {pf::trMark("Suchbegriffe und zuletzt geöffnete Dateien von KaZaA geleert"), 0,
         [](const RunContext& run) { return run.engineBool(settings::keys::KaazaaSearch); }, 0,
         clearKazaaLists, 0},
        {pf::trMark("Autovervollständigung der Browser für Kennwörter und Formulare ausgeschaltet"),
         0, [](const RunContext& run) { return run.chosen(settings::keys::AutoFillOff); }, 0,
         setAutoComplete, 0, nullptr,
         pf::trMark(
             "Autovervollständigung der Browser für Kennwörter und Formulare eingeschaltet")},
        {pf::trMark("Anti-Spy-Werkzeug für die Datenschutzeinstellungen von Windows gestartet"), 0,
         [](const RunContext& run) {
             return run.engineBool(settings::keys::AntiSpy) &&
                    run.host.applicationTitle != kPartnerTitle;
         },
         16, runAntiSpy, 0},
        {pf::trMark("Indexdateien des Internet Explorer geleert"), 17, always, 0, blankIndexFiles,
         0},
    }};
    return steps;
}

bool dialerGate(const RunContext& run) {
    return run.engineOn(settings::keys::DialerCheckTime);
}

bool virusScanGate(const RunContext& run) {
    return !run.host.gbQuiet && run.engineBool(settings::keys::AntiVirus);
}

// Where the phase goes after its steps.
enum class Flow { Summary, EndAtOnce };

Flow runSteps(const RunContext& run) {
    auto& state = run.state;
    attempt(run, [&] {
        loadDeletionSettings(state, run.appSettings());
        state.gutmannForRun = run.engineBool(settings::keys::Gutmann);
    });
    progress(run, 8);

    bool gateOpen = false;
    attempt(run, [&] { gateOpen = dialerGate(run); });
    if (gateOpen)
        attempt(run, [&] { removeDialerRemnants(run); });
    if (run.cancelled())
        return Flow::Summary;

    gateOpen = false;
    attempt(run, [&] { gateOpen = virusScanGate(run); });
    if (gateOpen) {
        ScanEnd end = ScanEnd::Continue;
        attempt(run, [&] { end = dailyVirusScan(run); });
        if (end == ScanEnd::EndPhase)
            return Flow::EndAtOnce;
        if (end == ScanEnd::ToSummary)
            return Flow::Summary;
    }
    if (run.cancelled())
        return Flow::Summary;

    run.status(pf::tr("Lösche temporäre Dateien"));
    progress(run, 9);
    deleteFoundFiles(run);
    if (run.cancelled())
        return Flow::Summary;
    // The junk the weekly search listed is gone now.
    attempt(run, [&run] { stampJunkSearch(run); });
    progress(run, 10);

    for (const auto& step : laterSteps()) {
        if (step.before != 0)
            progress(run, step.before);
        gateOpen = false;
        attempt(run, [&] { gateOpen = step.gate(run); });
        if (gateOpen) {
            if (step.inside != 0)
                progress(run, step.inside);
            attempt(run, [&] { step.run(run); });
        }
        if (run.cancelled())
            return Flow::Summary;
        if (step.after != 0)
            progress(run, step.after);
    }
    return Flow::Summary;
}

}  // namespace

std::string summaryLine(std::size_t count, double bytes) {
    return pf::trf(
        "Es wurden {1} Dateien bereinigt bzw. entfernt. Dabei wurde ca. {2} MB Speicherplatz frei.",
        {std::to_string(count), formatNumber(bytes / 1024 / 1024, 4)});
}

std::vector<PlannedStep> plannedSteps(const RunContext& run) {
    std::vector<PlannedStep> out;
    if (dialerGate(run)) {
        PlannedStep dialers{std::string(pf::tr("Dialer-Reste aus dem Windows-Ordner entfernt")),
                            {}};
        const std::string windows = settings::GetWinDir();
        for (const auto& folder : {windows + "\\dialer", windows + "\\webdialer"})
            if (platform::files::exists(run.machine, folder))
                dialers.paths.push_back(folder);
        out.push_back(std::move(dialers));
    }
    if (virusScanGate(run))
        out.push_back({std::string(pf::tr("tägliche Virenprüfung ausgeführt")), {}});
    for (const auto& step : laterSteps()) {
        if (!step.gate(run))
            continue;
        // Switched off in the settings, these two steps switch the thing on.
        const bool switchesOn =
            (step.run == setMessengerService && !run.engineBool(settings::keys::MessengerOff)) ||
            (step.run == setAutoComplete && !run.engineBool(settings::keys::AutoFillOff));
        PlannedStep planned{std::string(pf::tr(switchesOn ? step.nameWhenOn : step.name)), {}};
        if (step.touches != nullptr)
            planned.paths = step.touches(run);
        out.push_back(std::move(planned));
    }
    return out;
}

std::optional<RunSummary> runDestroyPhase(const RunContext& run) {
    auto& state = run.state;
    state.byteTotal = 0;
    state.filesCleaned = 0;
    if (run.cancelled()) {
        // Cancelled before it began: nothing is deleted, but the files the
        // exceptions kept must not stay hidden.
        restoreKeptFiles(run);
        return std::nullopt;
    }

    const Flow flow = runSteps(run);
    state.gutmannForRun.reset();
    std::optional<RunSummary> summary;
    if (flow == Flow::Summary) {
        // What was really cleaned: after a cancel the files not reached are
        // still there and must not be reported or counted as cleaned.
        summary = RunSummary{state.filesCleaned, state.byteTotal, run.cancelled()};
        attempt(run, [&] {
            run.status(summaryLine(summary->count, summary->bytes));
            addStatistics(
                run.appSettings(),
                static_cast<std::int32_t>(std::min<std::size_t>(summary->count, INT32_MAX)),
                summary->bytes / 1024 / 1024);
        });
        attempt(run, [&run] {
            run.found.clear();
            run.state.foldersOnDisk.clear();
        });
    }
    // However the phase ended, no file an exception keeps stays hidden.
    restoreKeptFiles(run);
    if (flow == Flow::Summary)
        closeProgressLater(run);
    return summary;
}

}  // namespace kx::cleaning
