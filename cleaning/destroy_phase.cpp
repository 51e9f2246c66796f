#include "cleaning/destroy_phase.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>

#include "cleaning/destroy_steps.hpp"
#include "cleaning/run_state.hpp"
#include "cleaning/statistics.hpp"
#include "cleaning/step_tools.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "deletion/secure_delete.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/variant.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/system_info.hpp"

namespace kx::cleaning {
namespace {

// Under the partner edition's title the anti-spy tool is never started.
constexpr std::string_view kPartnerTitle = "Orvantel";

// How long the progress window stays open after the phase.
constexpr std::int32_t kCloseAfterMs = 5000;

void closeProgressLater() {
    // The window's own failure must not end the run.
    (void)faultOf([] { progressWindow()->closeAfter(kCloseAfterMs); });
}

// Runs one statement of the phase. A fault gives the kept files their
// attributes back and lets the window close itself; the phase goes on.
void attempt(const std::function<void()>& statement) {
    if (!faultOf(statement))
        return;
    restoreKeptFiles();
    closeProgressLater();
}

void progress(std::int32_t value) {
    attempt([value] { progressWindow()->pbBar->setValue(value); });
}

bool engineBool(const settings::SettingKey& key) {
    return settings::readBool(key, settings::Reader::Engine);
}

bool ntFamily() {
    const auto name = settings::Betriebssystem();
    return name == "Windows NT" || name == "Windows 2000" || name == "Windows XP";
}

// A leftover of an interrupted deletion carries the temporary name, which
// the deletion routine refuses to take as a file to delete; under another
// name it is destroyed like any other file.
double deleteLeftover(const std::string& path) {
    const std::string other = deletion::moveLeftoverAside(path);
    return other.empty() ? 0 : deleteWithRunSettings(other);
}

double deleteListed(const std::string& path) {
    const auto slash = path.rfind('\\');
    const std::string_view name = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    if (platform::iequals(name, deletion::kTemporaryName))
        return deleteLeftover(path);
    return deleteWithRunSettings(path);
}

// Step 5: every listed file, in list order.
void deleteFoundFiles() {
    auto& state = runState();
    auto& list = foundList();
    // Files come folder by folder: each folder is found once, not per file.
    // Nothing on the way is renamed or removed while the loop runs.
    platform::FolderMemoScope memo;
    // The list is read afresh each time round: a yield may let the host
    // change it, and a stale index must not reach past its end.
    for (std::size_t i = 0; i < list.count(); ++i) {
        const auto& item = *list.item(i);
        const std::string text = item.text;
        // The spelling on disk when the add filter kept it.
        const std::string path = item.tag.empty() ? item.text : item.tag;
        attempt([&] {
            if (!keptCheck(text))
                state.byteTotal += deleteListed(path);
        });
        platform::ui::yield();
        if (cancelled())
            return;
    }
}

// The steps after the file deletions, in their order. `before` and `after`
// progress values are set whether the step runs or not, so the bar moves on
// through every phase; `inside` only when it runs. 0: none.
struct LaterStep {
    std::string_view name;
    std::int32_t before;
    bool (*gate)();
    std::int32_t inside;
    void (*run)();
    std::int32_t after;
};

bool always() {
    return true;
}

const std::array<LaterStep, 10>& laterSteps() {
    static const std::array<LaterStep, 10> steps = {{
        {"cookie files", 0, [] { return engineOn(settings::keys::Cookies); }, 0, cleanCookieFiles,
         11},
        {"Internet Explorer cache", 0, [] { return engineOn(settings::keys::INetTempFiles); }, 0,
         clearIECache, 12},
        {"Internet Explorer history and window state", 0,
         [] { return engineOn(settings::keys::Recent); }, 0, clearHistoryAndWindowState, 13},
        {"recent-file lists and registry traces", 0,
         [] { return engineOn(settings::keys::History); }, 0, cleanRegistryHistory, 0},
        {"recycle bin", 14, [] { return engineOn(settings::keys::Trashcan); }, 0, emptyRecycleBin,
         0},
        {"messenger service", 15, ntFamily, 0, setMessengerService, 0},
        {"KaZaA search lists", 0, [] { return engineBool(settings::keys::KaazaaSearch); }, 0,
         clearKazaaLists, 0},
        {"auto-complete switches", 0, always, 0, setAutoComplete, 0},
        {"anti-spy tool", 0,
         [] {
             return engineBool(settings::keys::AntiSpy) &&
                    shared().applicationTitle != kPartnerTitle;
         },
         16, runAntiSpy, 0},
        {"index files", 17, always, 0, blankIndexFiles, 0},
    }};
    return steps;
}

bool dialerGate() {
    return engineOn(settings::keys::DialerCheckTime);
}

bool virusScanGate() {
    return !shared().gbQuiet && engineBool(settings::keys::AntiVirus);
}

// Where the phase goes after its steps.
enum class Flow { Summary, EndAtOnce };

Flow runSteps() {
    auto& state = runState();
    attempt([&] {
        loadDeletionSettings();
        state.gutmannForRun = engineBool(settings::keys::Gutmann);
    });
    progress(8);

    bool gateOpen = false;
    attempt([&] { gateOpen = dialerGate(); });
    if (gateOpen)
        attempt(removeDialerRemnants);
    if (cancelled())
        return Flow::Summary;

    gateOpen = false;
    attempt([&] { gateOpen = virusScanGate(); });
    if (gateOpen) {
        ScanEnd end = ScanEnd::Continue;
        attempt([&] { end = dailyVirusScan(); });
        if (end == ScanEnd::EndPhase)
            return Flow::EndAtOnce;
        if (end == ScanEnd::ToSummary)
            return Flow::Summary;
    }
    if (cancelled())
        return Flow::Summary;

    Status("Lösche temporäre Dateien");
    progress(9);
    deleteFoundFiles();
    if (cancelled())
        return Flow::Summary;
    progress(10);

    for (const auto& step : laterSteps()) {
        if (step.before != 0)
            progress(step.before);
        gateOpen = false;
        attempt([&] { gateOpen = step.gate(); });
        if (gateOpen) {
            if (step.inside != 0)
                progress(step.inside);
            attempt(step.run);
        }
        if (cancelled())
            return Flow::Summary;
        if (step.after != 0)
            progress(step.after);
    }
    return Flow::Summary;
}

}  // namespace

std::string summaryLine(std::size_t count, double bytes) {
    return "Es wurden " + std::to_string(count) +
           " Dateien bereinigt bzw. entfernt. Dabei wurde ca. " +
           formatNumber(bytes / 1024 / 1024, 4) + " MB Speicherplatz frei.";
}

std::vector<std::string_view> plannedSteps() {
    std::vector<std::string_view> out;
    if (dialerGate())
        out.push_back("dialer remnants");
    if (virusScanGate())
        out.push_back("daily virus scan");
    for (const auto& step : laterSteps())
        if (step.gate())
            out.push_back(step.name);
    return out;
}

std::optional<RunSummary> runDestroyPhase() {
    auto& state = runState();
    state.byteTotal = 0;
    if (cancelled()) {
        // Cancelled before it began: nothing is deleted, but the files the
        // exceptions kept must not stay hidden.
        restoreKeptFiles();
        return std::nullopt;
    }

    const Flow flow = runSteps();
    state.gutmannForRun.reset();
    std::optional<RunSummary> summary;
    if (flow == Flow::Summary) {
        summary = RunSummary{0, state.byteTotal};
        attempt([&] {
            summary->count = foundList().count();
            Status(summaryLine(summary->count, summary->bytes));
            addStatistics(
                static_cast<std::int32_t>(std::min<std::size_t>(summary->count, INT32_MAX)),
                summary->bytes / 1024 / 1024);
        });
        attempt([] { foundList().clear(); });
    }
    // However the phase ended, no file an exception keeps stays hidden.
    restoreKeptFiles();
    if (flow == Flow::Summary)
        closeProgressLater();
    return summary;
}

}  // namespace kx::cleaning
