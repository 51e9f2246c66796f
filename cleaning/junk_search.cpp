#include "cleaning/junk_search.hpp"

#include <string>
#include <unordered_set>
#include <utility>

#include "cleaning/run_context.hpp"
#include "cleaning/step_tools.hpp"
#include "core/text_rules.hpp"
#include "platform/runtime/local_time.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::cleaning {

bool junkSearchDue(const settings::AppSettings& options) {
    const auto today = platform::today();
    bool due = engineNumber(options, settings::keys::JunkCleaned) == 0;
    if (today.weekday == platform::kFriday)
        due = true;
    if (options.read(settings::keys::JunkCleanedDate, settings::Reader::Engine) ==
        platform::formatDdMmYy(today))
        due = false;
    return due;
}

bool searchJunk(const RunContext& run, fsys::DirScanner& scanner) {
    // A file a folder step listed already (the temporary folders lie on a
    // fixed drive too) is not listed again: each entry counts in the summary
    // and the statistics as a file cleaned.
    std::unordered_set<std::string> listed;
    for (const auto& item : run.found.items()) listed.insert(item->text);
    for (const auto& letter : settings::GetDriveLetters(settings::kDriveFixed)) {
        if (letter.empty())
            continue;  // the list's empty first element
        if (run.cancelled())
            return false;
        run.status(platform::trf(
            "Wöchentliche Systemreinigung: Suche überflüssige Dateien auf Laufwerk {1}:",
            {letter}));
        // Each drive is scanned into an empty list: left over from the
        // folder or drive before, those files would be matched again and
        // counted twice in the summary and the statistics.
        scanner.Clear();
        scanner.Scan(letter + ":");
        for (const auto pattern : kJunkPatterns) {
            if (run.cancelled())
                return false;
            for (auto i = scanner.FindNext(pattern, 0); i >= 0;
                 i = scanner.FindNext(pattern, i + 1)) {
                const std::string path = scanner.Item(i);
                if (!listed.contains(platform::vbLCase(path)) && addFilter(run, path))
                    listed.insert(run.found.item(run.found.count() - 1)->text);
                platform::ui::yield();
            }
        }
        platform::ui::yield();
        if (run.cancelled())
            return false;
    }
    return true;
}

bool weeklyJunkSearch(const RunContext& run, fsys::DirScanner& scanner, bool keepMarkers) {
    const auto options = run.appSettings();
    if (!junkSearchDue(options))
        return true;
    if (!keepMarkers)
        options.write(settings::keys::JunkCleaned, "0");
    const bool finished = searchJunk(run, scanner);
    // A cancelled search is never recorded, so the next run tries again.
    run.state.junkSearchToStamp = finished && !keepMarkers;
    return finished;
}

void stampJunkSearch(const RunContext& run) {
    if (!std::exchange(run.state.junkSearchToStamp, false))
        return;
    const auto options = run.appSettings();
    options.write(settings::keys::JunkCleaned, "1");
    options.write(settings::keys::JunkCleanedDate, platform::formatDdMmYy(platform::today()));
}

}  // namespace kx::cleaning
