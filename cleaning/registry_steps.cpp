// The registry and system steps of the destroy phase: the recent-file lists
// and typed addresses of Windows and of many applications, Word's own list
// through Word's automation interface, the recycle bin, the messenger
// service, the KaZaA lists and the browser's auto-complete switches.
#include <array>
#include <string_view>

#include "cleaning/destroy_steps.hpp"
#include "cleaning/emptied_folders.hpp"
#include "cleaning/run_context.hpp"
#include "cleaning/step_tools.hpp"
#include "fsys/file_access.hpp"
#include "platform/machine/machine.hpp"
#include "platform/processes/process.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/automation_objects.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/processes.hpp"
#include "services/progress.hpp"
#include "settings/cregistry.hpp"
#include "settings/keys.hpp"
#include "settings/registry_access.hpp"
#include "settings/system_info.hpp"

namespace kx::cleaning {
namespace {

namespace pf = platform;
using settings::Reader;
namespace keys = settings::keys;

// Numbered series are at most this long.
constexpr int kSeriesLimit = 32767;

constexpr std::array<std::string_view, 30> kRecentLists = {
    "Software\\Filzip\\Config\\History",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{5E6AB780-7743-11CF-A12B-"
    "00AA004AE837}",
    "Software\\Adobe\\Acrobat Reader\\4.0\\AVGeneral\\cRecentFiles",
    "Software\\Adobe\\Acrobat Reader\\5.0\\AVGeneral\\cRecentFiles",
    "Software\\Microsoft\\Search Assistant\\ACMru",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs",
    "Software\\Headlight\\GetRight\\MRU",
    "Software\\Headlight\\GetRight\\TypedURLs",
    "Software\\Headlight\\GetRight\\Recent File List",
    "Software\\Google\\NavClient\\1.1\\History",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Paint\\Recent File List",
    "Software\\Jasc\\Paint Shop Pro 7\\Recent File List",
    "Software\\Jasc\\Paint Shop Pro 5\\Recent File List",
    "Software\\Jasc\\Paint Shop Pro 8\\Recent File List",
    "Software\\Jasc\\Paint Shop Pro 9\\Recent File List",
    "Software\\Jasc\\Paint Shop Pro 10\\Recent File List",
    "Software\\Freeware\\VirtualDub\\MRU List",
    "Software\\e-merge\\WinAce\\2.0\\Favorites",
    "Software\\e-merge\\WinAce\\2.2\\Favorites",
    "Software\\e-merge\\WinAce\\2.5\\Favorites",
    "Software\\WinRAR\\ArcHistory",
    "Software\\Nico Mak Computing\\WinZip\\filemenu",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Wordpad\\Recent File List",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU",
    "Software\\Microsoft\\Office\\8.0\\Excel\\Recent Files",
    "Software\\Microsoft\\Office\\8.0\\Publisher\\Recent File List",
    "Software\\Microsoft\\Office\\9.0\\Excel\\Recent Files",
    "Software\\Microsoft\\Office\\9.0\\Publisher\\Recent File List",
};

constexpr std::string_view kWordSaveAs8 =
    "Software\\Microsoft\\Office\\8.0\\Common\\Open Find\\Microsoft Word\\Settings\\Speichern "
    "unter\\File Name MRU";
constexpr std::string_view kWordSaveAs9 =
    "Software\\Microsoft\\Office\\9.0\\Common\\Open Find\\Microsoft Word\\Settings\\Speichern "
    "unter\\File Name MRU";
constexpr std::array<std::string_view, 6> kWordDialogs = {
    kWordSaveAs8,
    kWordSaveAs9,
    "Software\\Microsoft\\Office\\8.0\\Common\\Open Find\\Microsoft Word\\Settings\\Öffnen\\File "
    "Name MRU",
    "Software\\Microsoft\\Office\\9.0\\Common\\Open Find\\Microsoft Word\\Settings\\Öffnen\\File "
    "Name MRU",
    kWordSaveAs8,
    kWordSaveAs9,
};

#define KX_OPEN_FIND(version, program, dialog)                                        \
    "Software\\Microsoft\\Office\\" version "\\Common\\Open Find\\Microsoft " program \
    "\\Settings\\" dialog "\\File Name MRU"
constexpr std::array<std::string_view, 22> kOfficeDialogs = {
    KX_OPEN_FIND("8.0", "Access", "Öffnen"),
    KX_OPEN_FIND("9.0", "Access", "Öffnen"),
    KX_OPEN_FIND("8.0", "Excel", "Öffnen"),
    KX_OPEN_FIND("9.0", "Excel", "Öffnen"),
    KX_OPEN_FIND("8.0", "FrontPage", "Datei öffnen"),
    KX_OPEN_FIND("9.0", "FrontPage", "Datei öffnen"),
    KX_OPEN_FIND("8.0", "FrontPage", "Speichern unter"),
    KX_OPEN_FIND("9.0", "FrontPage", "Speichern unter"),
    KX_OPEN_FIND("8.0", "Outlook", "Anlage speichern"),
    KX_OPEN_FIND("9.0", "Outlook", "Anlage speichern"),
    KX_OPEN_FIND("8.0", "Outlook", "Datei einfügen"),
    KX_OPEN_FIND("9.0", "Outlook", "Datei einfügen"),
    KX_OPEN_FIND("8.0", "Outlook", "Persönliche Ordner öffnen"),
    KX_OPEN_FIND("9.0", "Outlook", "Persönliche Ordner öffnen"),
    KX_OPEN_FIND("8.0", "Publisher", "Publikation öffnen"),
    KX_OPEN_FIND("9.0", "Publisher", "Publikation öffnen"),
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Doc Find Spec",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindComputerMRU",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\PrnPortsMRU",
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU",
    "Software\\Microsoft\\FrontPage\\Explorer\\FrontPage Explorer\\Recent Page List",
    "Software\\Microsoft\\FrontPage\\Explorer\\FrontPage Explorer\\Recent Web List",
};
#undef KX_OPEN_FIND

constexpr std::string_view kClipsBase = "Software\\RealNetworks\\RealPlayer\\";
constexpr std::string_view kClipsTail = "\\Preferences\\MostRecentClips";
struct ClipSeries {
    pf::HKEY root;
    std::string_view version;
};
constexpr std::array<ClipSeries, 7> kClipSeries = {{
    {pf::HKEY_CLASSES_ROOT, "6.0"},
    {pf::HKEY_CLASSES_ROOT, "7.0"},
    {pf::HKEY_CLASSES_ROOT, "8.0"},
    {pf::HKEY_LOCAL_MACHINE, "6.0"},
    {pf::HKEY_LOCAL_MACHINE, "7.0"},
    {pf::HKEY_LOCAL_MACHINE, "8.0"},
    {pf::HKEY_LOCAL_MACHINE, "9.0"},
}};

constexpr std::array<std::string_view, 4> kKazaaLists = {
    "Software\\Kazaa\\Kazaa Lite\\Recent File List",
    "Software\\Kazaa\\Kazaa Lite\\Search",
    "Software\\Kazaa\\Search",
    "Software\\Kazaa\\Recent File List",
};

settings::CRegistry microsoft() {
    settings::CRegistry registry;
    registry.Company = "Microsoft";
    return registry;
}

// Deletes prefix + 0/1, 2, ... until one cannot be deleted.
void deleteValueSeries(std::string_view key, std::string_view prefix, int first) {
    const auto registry = microsoft();
    for (int n = first; n <= kSeriesLimit; ++n) {
        if (registry.DeleteUserInformationValue(key, std::string(prefix) + std::to_string(n)) != 0)
            break;
    }
}

// Word's lists are left alone when an exception names Word.
bool wordExcepted(const RunState& state) {
    return matchesException(state, "microsoft word");
}

// Empties Word's own list of recent files through Word itself: with the
// list's length at 0 Word forgets the entries; the length is put back.
void clearWordList(const RunContext& run) {
    run.status(pf::tr("Leere Liste zuletzt in WinWord geöffneter Dateien"));
    pf::DispatchRef word;
    try {
        word = pf::CreateObject("Word.Application");
    } catch (const pf::RuntimeError&) {
        return;  // no Word on this PC
    }
    try {
        const auto recentFiles = pf::asDispatch(word->get("RecentFiles"));
        const auto maximum = pf::toLong(recentFiles->get("Maximum"));
        recentFiles->put("Maximum", Variant(std::int32_t{0}));
        word->put("DisplayRecentFiles", Variant(true));
        recentFiles->put("Maximum", Variant(maximum));
        word->call("quit", {{"savechanges", Variant(true)}});
    } catch (const pf::RuntimeError&) {
        // A Word that refuses a call keeps its list; the step goes on.
    }
}

}  // namespace

void cleanRegistryHistory(const RunContext& run) {
    run.status(pf::tr("Listen der zuletzt geöffneten Dateien werden gelöscht"));
    deleteValueSeries("Internet Explorer\\TypedURLs", "url", 1);
    deleteValueSeries("MediaPlayer\\Player\\RecentFileList", "File", 0);

    fsys::FileAccess files;
    for (std::size_t i = 0; i < kRecentLists.size(); ++i) {
        files.DeleteRegKey(pf::HKEY_CURRENT_USER, kRecentLists[i]);
        if ((i == 11 || i == 25) && run.cancelled())
            return;
    }
    if (!wordExcepted(run.state))
        for (const auto key : kWordDialogs) files.DeleteRegKey(pf::HKEY_CURRENT_USER, key);

    if (run.engineBool(keys::DownloadedProgramFiles))
        removeDownloadedProgramFiles(run);

    for (const auto key : kOfficeDialogs) files.DeleteRegKey(pf::HKEY_CURRENT_USER, key);

    for (const auto& series : kClipSeries) {
        const std::string base =
            std::string(kClipsBase) + std::string(series.version) + std::string(kClipsTail);
        for (int n = 1; n <= kSeriesLimit; ++n) {
            const auto status = settings::deleteRegistryTree(series.root, base + std::to_string(n));
            pf::ui::yield();
            if (status != 0 || run.cancelled())
                break;
        }
        if (run.cancelled())
            return;
    }
    settings::deleteRegistryTree(
        pf::HKEY_CURRENT_USER,
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\ram");

    if (!wordExcepted(run.state))
        clearWordList(run);

    auto& list = run.found;
    for (std::size_t i = 0; i < list.items().size(); ++i) {
        if (list.items()[i]->text == kHistoryMarker) {
            list.remove(i);
            break;
        }
    }
}

void emptyRecycleBin(const RunContext& run) {
    pf::ui::yield();
    if (run.cancelled())
        return;
    run.status(pf::tr("Leere Papierkorb"));
    // With safety deletion on, what the bins hold is destroyed file by file
    // before they are emptied.
    for (const auto& drive : run.machine.config().drives) {
        if (!pf::driveHasFolder(drive))
            continue;
        for (const auto folder : pf::kRecycleFolders) {
            if (!destroyFilesBelow(run, std::string(1, drive.letter) + ":\\" + std::string(folder)))
                return;
        }
    }
    pf::SHEmptyRecycleBinA(ComponentWindow(), "",
                           pf::SHERB_NOCONFIRMATION | pf::SHERB_NOPROGRESSUI | pf::SHERB_NOSOUND);
    pf::SHUpdateRecycleBinIcon();
}

void setMessengerService(const RunContext& run) {
    const auto system = settings::Betriebssystem();
    if (system != "Windows NT" && system != "Windows 2000" && system != "Windows XP")
        return;
    const bool off = run.engineBool(keys::MessengerOff);
    run.status(off ? pf::tr("Deaktiviere Windows-Nachrichtendienst")
                   : pf::tr("Aktiviere Windows-Nachrichtendienst"));
    (void)startProgram(off ? "net stop messenger" : "net start messenger", pf::SW_HIDE);
}

void clearKazaaLists(const RunContext& run) {
    run.status(pf::tr("Leere KaaZaa Suchliste"));
    fsys::FileAccess files;
    for (const auto key : kKazaaLists) files.DeleteRegKey(pf::HKEY_CURRENT_USER, key);
}

void setAutoComplete(const RunContext& run) {
    const bool off = run.engineBool(keys::AutoFillOff);
    if (off)
        run.status(pf::tr(
            "Deaktiviere Autovervollständigung für Kennwörter, Formulare und Eingaben im Browser"));
    const std::string_view answer = off ? "no" : "yes";
    const Long flag = off ? 1 : 0;
    const auto registry = microsoft();
    registry.WriteUserInformationString("Internet Explorer\\Main", "FormSuggest Passwords", answer,
                                        false);
    registry.WriteUserInformationString("Internet Explorer\\Main", "Use FormSuggest", answer,
                                        false);
    registry.WriteUserInformationLong("Windows\\CurrentVersion\\Internet Settings",
                                      "DisablePasswordCaching", flag, false);
    // The system-branch write would put the product's base path in front of
    // this key; the switch only counts at its own place.
    registry.WriteMachineLongRaw("SYSTEM\\CurrentControlSet\\Control\\Lsa", "DisableDomainCreds",
                                 flag);
}

}  // namespace kx::cleaning
