// The file-side steps of the destroy phase: the Netscape/Mozilla/Firefox
// cookie files filtered line by line, Internet Explorer's cache and history,
// the lists cut out of the Mozilla window-state files, the downloaded
// program files, and the index files the deletions left behind.
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cleaning/destroy_steps.hpp"
#include "cleaning/emptied_folders.hpp"
#include "cleaning/run_context.hpp"
#include "cleaning/step_tools.hpp"
#include "core/automation.hpp"
#include "deletion/secure_delete.hpp"
#include "fsys/dir_scanner.hpp"
#include "fsys/file_access.hpp"
#include "fsys/fresh_files.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/shell_folders.hpp"
#include "platform/processes/process.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/wildcard.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/processes.hpp"
#include "services/progress.hpp"
#include "settings/cregistry.hpp"
#include "settings/locations.hpp"

namespace kx::cleaning {
namespace {

namespace pf = platform;

constexpr std::string_view kCompressOldFiles =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\VolumeCaches\\Compress old "
    "files\\";
constexpr std::string_view kActiveXCache =
    "Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache";

// The entry itself, never through a link: a browser file replaced by a link
// is only unlinked, so nothing outside the profile is read or written.
bool isPlainFile(pf::Machine& machine, std::string_view path) {
    const auto entry = pf::files::info(machine, path);
    return entry && entry->kind == pf::EntryKind::File;
}

bool isLink(pf::Machine& machine, std::string_view path) {
    const auto entry = pf::files::info(machine, path);
    return entry &&
           (entry->kind == pf::EntryKind::Link || entry->kind == pf::EntryKind::FolderLink);
}

// The lines of a rewritten file. The text after the last line feed is a
// line only when there is some: written as one more line of its own, it
// would make every run add a line end.
std::vector<std::string> rewrittenLines(std::vector<std::string> elements) {
    if (!elements.empty() && elements.back().empty())
        elements.pop_back();
    return elements;
}

// Whether a file may be read, destroyed and written anew: it is there, no
// exception protects it and it is a plain file. A link in its place is
// removed as a link, and its target left alone.
bool mayRewrite(const RunContext& run, fsys::FileAccess& files, const std::string& path) {
    if (!files.Exists(path) || protectedByException(run.state, path))
        return false;
    if (isLink(run.machine, path)) {
        files.Delete(path);
        return false;
    }
    return isPlainFile(run.machine, path);
}

// Keeps the comments, the empty lines and the cookies of excepted sites.
// The kept lines take the file's name before the old file, moved aside, is
// destroyed with the run's settings: a crash on the way never loses the
// cookies the user chose to keep.
void filterTextFile(const RunContext& run, const std::string& path) {
    fsys::FileAccess files;
    if (!mayRewrite(run, files, path))
        return;
    const std::string old =
        fsys::replaceKeepingOld(path, keptCookieLines(run.state, files.ReadText(path)));
    if (!old.empty())
        run.state.byteTotal += deleteWithRunSettings(run, old);
}

// A list section of the window-state file: from "<RDF:Seq ...>" to "</RDF:Seq>".
void cutListSections(const RunContext& run, const std::string& path) {
    fsys::FileAccess files;
    if (!mayRewrite(run, files, path))
        return;
    const std::string content = files.ReadText(path);
    static const auto opening = pf::LikePattern::compile("*<RDF:Seq*>");
    static const auto closing = pf::LikePattern::compile("*</RDF:Seq>");
    std::string out;
    bool skipping = false;
    // The lines end in CR LF when written here: the CR belongs to the line
    // end, else every run would add one and a section's closing line would
    // never match again, cutting everything after it.
    for (const auto& element : rewrittenLines(splitLines(content))) {
        if (opening->matches(element)) {
            skipping = true;
            continue;
        }
        if (closing->matches(element)) {
            skipping = false;
            continue;
        }
        if (!skipping)
            out += element + "\r\n";
    }
    // As with the cookies: the new content is in place before the old is destroyed.
    const std::string old = fsys::replaceKeepingOld(path, out);
    if (old.empty())
        return;
    const auto& s = run.state.settings;
    (void)recordDeletion(run.state,
                         deletion::deleteInStoredMode(run.deletion, run.appSettings(),
                                                      {old, s.security, true, 3, 255, true}));
}

}  // namespace

std::string keptCookieLines(const RunState& state, std::string_view content) {
    std::string kept;
    for (const auto& element : rewrittenLines(splitAtLineFeeds(content))) {
        if (element.empty() || element.front() == '#' ||
            matchesException(state, pf::vbLCase(element)))
            kept += element + "\n";
    }
    return kept;
}

void cleanCookieFiles(const RunContext& run) {
    for (const auto& profile : profileFiles()) {
        run.status(pf::tr("Lösche Netscape/Mozilla/Firefox Cookies"));
        filterTextFile(run, platform::vbReplace(profile, "prefs.js", "cookies.txt"));
        filterTextFile(run, platform::vbReplace(profile, "prefs.js", "cookperm.txt"));
        pf::ui::yield();
        if (run.cancelled())
            break;
    }
}

void clearIECache(const RunContext& run) {
    run.status(pf::tr("Internet-Explorer Cache wird gelöscht"));
    // The cache's own index holds the addresses visited: with safety
    // deletion on, nothing of it may go plainly.
    if (!destroyFilesBelow(run, pf::specialFolderPath(run.machine, pf::CSIDL_INTERNET_CACHE)))
        return;
    if (!fsys::FileAccess().ClearIECache())
        run.status(pf::tr("Fehler beim Löschen des Internet-Explorer Cache"));
}

void clearHistoryAndWindowState(const RunContext& run) {
    run.status(pf::tr("Lösche Verlauf im Internet-Explorer"));
    if (!destroyFilesBelow(run, pf::specialFolderPath(run.machine, pf::CSIDL_HISTORY)))
        return;
    fsys::FileAccess().ClearIEHistory();
    for (const auto& profile : profileFiles()) {
        if (run.cancelled())
            break;
        cutListSections(run, platform::vbReplace(profile, "prefs.js", "localstore.rdf"));
    }
}

void removeDownloadedProgramFiles(const RunContext& run) {
    fsys::FileAccess files;
    // Gone before the clean-up runs, so that it does not compress old files.
    files.DeleteRegKey(pf::HKEY_LOCAL_MACHINE, kCompressOldFiles);
    pf::ui::yield();
    ShellAndWait("Cleanmgr.exe /dC: /sagerun:65534", VbAppWinStyle::vbNormalNoFocus, 0);
    pf::ui::yield();

    settings::CRegistry registry;
    registry.Company = "Microsoft";
    std::vector<std::string> folders;
    for (int n = 0; n <= 16; ++n) {
        std::string folder;
        registry.QueryMachineInformationString(kActiveXCache, std::to_string(n), folder);
        if (folder.empty())
            break;
        folders.push_back(std::move(folder));
    }
    const auto& s = run.state.settings;
    for (const auto& folder : folders) {
        // The folders come from the registry: one naming the Windows folder or
        // a drive's root must not have every library there unregistered and
        // deleted.
        if (fsys::isProtectedFolder(folder))
            continue;
        fsys::DirScanner scanner;
        scanner.Scan(folder);
        for (std::int32_t i = 0; i <= scanner.UpperIndex(); ++i) {
            const std::string file = scanner.Item(i);
            const auto lowered = pf::vbLCase(file);
            bool remove = lowered.ends_with(".inf");
            if (!remove) {
                const auto unregister =
                    startProgram("regsvr32.exe /u /s \"" + file + "\"", pf::SW_SHOWNORMAL);
                // A control that is still registered stays: deleting it would
                // leave its registration pointing at nothing.
                remove = unregister.started && (!unregister.builtin || unregister.exitCode == 0);
            }
            if (remove)
                (void)recordDeletion(
                    run.state, deletion::deleteInStoredMode(run.deletion, run.appSettings(),
                                                            {file, s.security, false, 1, 0, true}));
            if (run.cancelled())
                return;
        }
    }
}

void blankIndexFiles(const RunContext& run) {
    run.status(pf::tr("Bereinige Internet-Explorer Index (index.dat)"));
    auto& state = run.state;
    const auto deferred = std::exchange(state.deferredIndexFiles, {});
    std::set<std::string> done;
    for (const auto& path : deferred) {
        // A file handed over twice is listed and blanked once.
        if (!done.insert(path).second)
            continue;
        run.found.add(path);
        pf::ui::yield();
        if (run.cancelled())
            break;
        if (blankIndexFile(run, path))
            ++state.filesCleaned;
    }
    state.deferredIndexFiles.clear();
}

}  // namespace kx::cleaning
