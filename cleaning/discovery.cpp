#include "cleaning/discovery.hpp"

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cleaning/browser_databases.hpp"
#include "cleaning/junk_search.hpp"
#include "cleaning/run_context.hpp"
#include "cleaning/step_tools.hpp"
#include "core/text_rules.hpp"
#include "dialer/dialer_check.hpp"
#include "fsys/dir_scanner.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/runtime/variant.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::cleaning {
namespace {

namespace ui = platform::ui;

// Shell folder numbers of the folders discovery walks.
constexpr int kCsidlRecent = 8;
constexpr int kCsidlInternetCache = 32;
constexpr int kCsidlCookies = 33;
constexpr int kCsidlHistory = 34;

// The error the runtime raises for a value out of range (a progress value
// the bar does not take): passed over without a word.
constexpr std::int32_t kInvalidValue = 380;

// Runs one statement of discovery; a fault shows the "KXStart: " warning and
// discovery goes on with the next one.
void attempt(const RunContext& run, const std::function<void()>& statement) {
    const auto fault = faultOf(statement);
    if (!fault || fault->number == kInvalidValue)
        return;
    try {
        ui::dialogs().messageBox("KXStart: " + fault->description, run.host.applicationTitle,
                                 ui::MB_ICONEXCLAMATION | ui::MB_SYSTEMMODAL);
    } catch (const std::exception&) {
        // no way to show it: the run goes on all the same
    }
}

void progress(const RunContext& run, std::int32_t value) {
    attempt(run, [&run, value] { run.progress.bar()->setValue(value); });
}

enum class Taking {
    KeptThenAdd,  // the kept check first, the add filter only for what it lets through
    Add,          // the add filter alone
};

class Discovery {
  public:
    Discovery(const RunContext& run, const DiscoveryOptions& options)
        : run_(run), options_(options) {
        // A link in a cleaned folder is listed, and so removed as a link;
        // no folder behind one is ever entered.
        scanner_.listFolderLinks = true;
    }

    void run();

  private:
    bool cancelled() const { return run_.cancelled(); }
    void attempt(const std::function<void()>& statement) const {
        cleaning::attempt(run_, statement);
    }
    void progress(std::int32_t value) const { cleaning::progress(run_, value); }
    void status(std::string_view line) const { run_.status(line); }

    // Scans one folder with the emptied scanner and takes every file that
    // `wanted` accepts as the walk hands it over (the paths are not kept a
    // second time in the scanner). Yields every kYieldEvery items; after a
    // cancel it takes nothing more.
    void takeFolder(const std::string& folder, Taking taking,
                    const std::function<bool(std::string_view)>& wanted = {}) {
        attempt([&] {
            scanner_.Clear();
            std::size_t seen = 0;
            scanner_.ScanEach(folder, [&](std::string_view path) {
                if (cancelled())
                    return;
                if (!wanted || wanted(path)) {
                    if (taking == Taking::Add || !keptCheck(run_, path))
                        addFilter(run_, path);
                }
                if (++seen % kYieldEvery == 0)
                    ui::yield();
            });
        });
    }

    // A file listed as its path was built, unfiltered, when it is there as a
    // plain file (hidden and system files count as absent, a folder too).
    void takeDirect(const std::string& path) {
        attempt([&] {
            const auto attributes = platform::files::attributes(run_.machine, path);
            if (!attributes)
                return;
            constexpr std::uint32_t notPlain = platform::fileattr::Directory |
                                               platform::fileattr::Hidden |
                                               platform::fileattr::System;
            if ((*attributes & notPlain) != 0)
                return;
            run_.found.add(path);
        });
    }

    // A file of a profile folder, through the add filter, when it is there.
    void takeIfThere(const std::string& path) {
        attempt([&] {
            if (files_.Exists(path))
                addFilter(run_, path);
        });
    }

    // The files and folders of today's browsers' profiles holding a track;
    // the profiles are looked at once per run.
    void browserTracks(BrowserTrack track) {
        attempt([&] {
            if (!browserProfiles_)
                browserProfiles_ = profilesToClean(run_);
            for (const auto& profile : *browserProfiles_)
                for (const auto& path : browserTrackPaths(run_.machine, profile, track)) {
                    const auto entry = platform::files::info(run_.machine, path);
                    if (entry && entry->kind == platform::EntryKind::Folder)
                        takeFolder(AddBackslash(path), Taking::Add);
                    else
                        addFilter(run_, path);  // a file, or a link removed as the link
                    if (cancelled())
                        return;
                }
        });
    }

    void temporaryFiles();
    void internetCaches();
    void cookies();
    void recentLists();

    const RunContext& run_;
    DiscoveryOptions options_;
    fsys::DirScanner scanner_;
    fsys::FileAccess files_;
    std::string opera_;       // with its trailing "\"
    std::string operaCache_;  // as the settings file names it
    std::optional<std::vector<BrowserProfile>> browserProfiles_;
};

void Discovery::temporaryFiles() {
    progress(2);
    status(platform::tr("Verzeichnisse lesen"));
    status(platform::tr("Suche temporäre Dateien"));
    takeFolder(settings::GetTempDir(false), Taking::KeptThenAdd);
    if (cancelled())
        return;
    takeFolder(AddBackslash(settings::GetWinDir()) + "temp", Taking::KeptThenAdd);
    if (cancelled())
        return;
    status(platform::tr("Suche temporäre AOL-Dateien"));
    const std::string aol = settings::GetAOLPath();
    // Without AOL there is no folder: "" + "organize" would name one
    // relative to wherever the machine stands.
    if (!aol.empty())
        takeFolder(AddBackslash(aol) + "organize\\CACHE", Taking::KeptThenAdd);
    if (cancelled())
        return;
    status(platform::tr("Suche Java-Cache..."));
    takeFolder(AddBackslash(settings::GetSpecialfolder(settings::kCsidlAppData)) +
                   "Sun\\Java\\Deployment\\cache\\javapi\\v1.0",
               Taking::KeptThenAdd);
}

void Discovery::internetCaches() {
    progress(4);
    status(platform::tr("Suche temporäre Internetdateien (IE)"));
    takeFolder(settings::GetSpecialfolder(kCsidlInternetCache), Taking::Add);
    if (cancelled())
        return;
    bool operaCacheThere = false;
    attempt([&] {
        if (operaCache_.empty())
            return;
        const auto info = platform::files::info(run_.machine, operaCache_);
        operaCacheThere = info && info->kind == platform::EntryKind::Folder;
    });
    if (operaCacheThere) {
        status(platform::tr("Suche temporäre Internetdateien (Opera)"));
        takeFolder(operaCache_, Taking::Add);
        if (cancelled())
            return;
    }
    status(platform::tr("Suche temporäre Internetdateien (Netscape/Mozilla/Firefox)"));
    std::vector<std::string> profiles;
    attempt([&] { profiles = profileFiles(); });
    for (const auto& prefs : profiles) {
        const std::string cache = platform::vbReplace(prefs, "prefs.js", "cache") + "\\";
        takeFolder(cache, Taking::Add);
        if (cancelled())
            return;
        // The browser moves a cache it gives up beside the cache, not into it.
        takeFolder(platform::vbReplace(prefs, "prefs.js", "cache.trash") + "\\", Taking::Add);
        if (cancelled())
            return;
    }
    browserTracks(BrowserTrack::Cache);
}

void Discovery::cookies() {
    progress(5);
    status(platform::tr("Suche Cookies"));
    takeFolder(settings::GetSpecialfolder(kCsidlCookies), Taking::KeptThenAdd);
    if (cancelled())
        return;
    takeDirect(opera_ + "cookies4.dat");
    takeDirect(opera_ + "profile\\cookies4.dat");
}

void Discovery::recentLists() {
    progress(6);
    std::vector<std::string> profiles;
    attempt([&] { profiles = profileFiles(); });
    for (const auto& prefs : profiles) {
        const std::string folder = platform::vbReplace(prefs, "prefs.js", "");
        takeIfThere(folder + "history.dat");
        takeIfThere(folder + "downloads.rdf");
    }
    browserTracks(BrowserTrack::Sessions);
    if (cancelled())
        return;
    for (const char* name : {"autopera.win", "opera.dir", "urlwarn.Dir", "profile\\autopera.win",
                             "profile\\opera.dir", "profile\\urlwarn.Dir"})
        takeDirect(opera_ + name);
    const std::string aol = settings::GetAOLPath();
    if (!aol.empty()) {
        takeFolder(AddBackslash(aol) + "organize", Taking::KeptThenAdd,
                   [](std::string_view path) { return platform::vbLCase(path).ends_with(".arl"); });
    }
    if (cancelled())
        return;

    progress(7);
    status(platform::tr("Suche Listen der zuletzt geöffneten Dateien"));
    takeFolder(settings::GetSpecialfolder(kCsidlRecent), Taking::Add);
    if (cancelled())
        return;
    takeFolder(settings::GetSpecialfolder(kCsidlHistory), Taking::Add);
    if (cancelled())
        return;
    takeFolder(settings::GetRecentDirectory(), Taking::Add);
    if (cancelled())
        return;
    for (const char* name : {"global.dat", "vlink4.dat", "download.dat"}) takeDirect(opera_ + name);
    if (cancelled())
        return;
    for (const char* name : {"profile\\global.dat", "profile\\vlink4.dat", "profile\\download.dat"})
        takeDirect(opera_ + name);
}

void Discovery::run() {
    auto& state = run_.state;
    run_.host.gbBreak = false;
    run_.found.clear();
    state.foldersOnDisk.clear();
    state.deferredIndexFiles.clear();
    state.junkSearchToStamp = false;
    attempt([&] { opera_ = AddBackslash(settings::GetOperaDirectory()); });
    attempt([&] { operaCache_ = settings::GetOperaTempDirectory(); });

    if (!options_.preview) {
        attempt([this] {
            if (run_.engineOn(settings::keys::DialerCheckTime))
                dialer::KXCheckForDialer();
        });
    }
    if (cancelled())
        return;
    restoreKeptFiles(run_);
    state.exceptionPatterns.clear();
    attempt([&state] { loadExceptionPatterns(state); });
    attempt([this] {
        run_.progress.bar()->setMin(1);
        run_.progress.bar()->setMax(17);
    });

    if (run_.engineOn(settings::keys::TempFiles))
        temporaryFiles();
    if (cancelled())
        return;
    if (run_.chosen(settings::keys::Junk) &&
        engineNumber(run_.appSettings(), settings::keys::Junk) != 0) {
        progress(3);
        attempt([&] { weeklyJunkSearch(run_, scanner_, options_.preview); });
    }
    if (cancelled())
        return;
    if (run_.engineOn(settings::keys::INetTempFiles))
        internetCaches();
    if (cancelled())
        return;
    if (run_.engineBool(settings::keys::AutoFillOff)) {
        std::vector<std::string> profiles;
        attempt([&] { profiles = profileFiles(); });
        for (const auto& prefs : profiles)
            takeIfThere(platform::vbReplace(prefs, "prefs.js", "formhistory.dat"));
    }
    if (cancelled())
        return;
    if (run_.engineOn(settings::keys::Cookies))
        cookies();
    if (cancelled())
        return;
    if (run_.engineOn(settings::keys::Recent))
        recentLists();
    if (cancelled())
        return;
    if (run_.engineOn(settings::keys::History))
        run_.found.add(std::string(kHistoryMarker));
}

}  // namespace

void runDiscovery(const RunContext& run, const DiscoveryOptions& options) {
    Discovery discovery(run, options);
    discovery.run();
}

}  // namespace kx::cleaning
