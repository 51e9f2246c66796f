// The steps that hand work to programs outside the engine: the removal of
// dialer remnants, the daily scan with the downloaded stand-alone virus
// scanner, and the anti-spy tool with its option list.
#include <cstdio>
#include <string_view>

#include "anonymity/http_download.hpp"
#include "anonymity/internet_file.hpp"
#include "cleaning/destroy_steps.hpp"
#include "cleaning/emptied_folders.hpp"
#include "cleaning/run_context.hpp"
#include "cleaning/step_tools.hpp"
#include "core/text_rules.hpp"
#include "deletion/entry_rules.hpp"
#include "fsys/dir_scanner.hpp"
#include "fsys/file_access.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/network/inet.hpp"
#include "platform/processes/process.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/local_time.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::cleaning {
namespace {

namespace pf = platform;
namespace ui = platform::ui;
using settings::Reader;
namespace keys = settings::keys;

constexpr std::string_view kScannerPath = "/products/mcafee-avert/stinger.exe";
constexpr std::string_view kAntiSpyOptions =
    "0 1 2 3 4 5 6 7 8 9 10 11 14 19 20 21 24 25 26 27 28 29 31 32";
/// The folder of the component's own file: the suite's program folder.
constexpr std::string_view kDefaultProgramFolder = "C:\\Programme\\Kolvanex";

std::string programFolder(const SharedState& host) {
    const auto& path = host.KXAppPath;
    return AddBackslash(path.empty() ? kDefaultProgramFolder : std::string_view(path));
}

// The scanner vendor's download address ("" when the machine names none).
std::string scannerUrl(pf::Machine& machine) {
    std::string base = machine.endpoint("scanner");
    if (base.empty())
        return {};
    while (base.ends_with('/')) base.pop_back();
    return base + std::string(kScannerPath);
}

std::string download(const RunContext& run, const std::string& url) {
    std::string body = mainForm().Download(url);
    if (body.empty())
        run.status(
            pf::trf("{1} konnt nicht aus dem Internet geladen werden. Bitte stellen Sie ggf. "
                    "eine Verbindung mit dem Internet her!",
                    {url}));
    return body;
}

void removeFolderRemnants(const RunContext& run, const std::string& folder) {
    fsys::DirScanner scanner;
    scanner.Scan(folder);
    fsys::FileAccess files;
    for (std::int32_t i = 0; i <= scanner.UpperIndex(); ++i) {
        const std::string file = scanner.Item(i);
        if (!protectedByException(run.state, file)) {
            // Quoted: a path with blanks would otherwise reach regsvr32 as
            // several names.
            if (pf::vbLCase(file).find(".dll") != std::string::npos)
                (void)startProgram("regsvr32.exe -s -u \"" + file + "\"", pf::SW_HIDE);
            if (safetyDeletionOn(run)) {
                destroyRemovedFile(run, file);
            } else {
                // A file with other names keeps its mode and attributes for them.
                if (deletion::ownedByThisName(run.machine, file))
                    (void)pf::files::setAttributes(run.machine, file, 0);
                files.Delete(file);
            }
        }
        if (run.cancelled())
            return;
    }
}

// The report's lines, converted from the single-byte code page the scanner
// writes in when they are not UTF-8 already.
std::vector<std::string> reportLines(const std::string& path) {
    std::string text = fsys::FileAccess().ReadText(path);
    if (!pf::isValidUtf8(text))
        text = pf::fromCp1252(text);
    return splitLines(text);
}

void showElapsed(const RunContext& run, int minutes, int seconds) {
    const auto window = run.progress.openWindow();
    if (!window || !window->m_lvLastLine)
        return;
    char clock[40];
    std::snprintf(clock, sizeof clock, "%02d:%02d", minutes % 100, seconds);
    window->m_lvLastLine->text =
        pf::trf("Anti-Viren Prüfung läuft. Verstrichene Zeit: {1}", {clock});
    // One refresh after the change: the line is never drawn half changed.
    window->lvLog->refresh();
}

}  // namespace

void removeDialerRemnants(const RunContext& run) {
    const std::string windows = settings::GetWinDir();
    removeFolderRemnants(run, windows + "\\dialer");
    if (!run.cancelled())
        removeFolderRemnants(run, windows + "\\webdialer");
}

ScanEnd dailyVirusScan(const RunContext& run) {
    const auto options = run.appSettings();
    if (options.read(keys::AntiVirDate, Reader::Engine) ==
        platform::formatDdMmYy(platform::today()))
        return ScanEnd::Continue;
    auto& loop = ui::MessageLoop::current();
    fsys::FileAccess files;
    const std::string folder = programFolder(run.host);
    const std::string scanner = folder + "stinger.exe";
    const std::string report = folder + "stinger.txt";

    run.status(pf::tr("Lade Anti-Viren Modul. Bitte warten..."));
    loop.yield();
    {
        ui::HourglassCursor hourglass;
        std::string version;
        if (files.Exists(scanner)) {
            version = download(run, makerUrl("/stinger.ver"));
            if (run.cancelled())
                return ScanEnd::ToSummary;
        }
        // The version file carries the size of the current scanner.
        const bool needNew =
            !(files.Exists(scanner) && files.Size(scanner) == numericValue(version));
        const std::string scanOptions = download(run, makerUrl("/stinger.opt"));
        if (!scanOptions.empty())
            files.WriteText(folder + "stinger.opt", scanOptions);
        if (run.cancelled())
            return ScanEnd::ToSummary;
        if (needNew) {
            if (files.Exists(scanner))
                files.Delete(scanner);
            const std::string program = download(run, scannerUrl(run.machine));
            if (!program.empty())
                files.WriteText(scanner, program);
        }
    }
    if (!files.Exists(scanner))
        return ScanEnd::Continue;

    if (files.Exists(report))
        files.Delete(report);
    run.status(pf::tr("Anti-Viren Prüfung läuft. Bitte warten..."));
    loop.yield();
    pf::ProcessStart start;
    start.applicationName = scanner;
    start.commandLine = "\"" + scanner + "\" /GO /LOG /SILENT";
    start.currentDirectory = folder;
    start.showWindow = pf::SW_HIDE;
    const auto started = pf::CreateProcessA(start);
    loop.yield();
    if (run.cancelled()) {
        if (started)
            pf::CloseHandle(started->hProcess);
        return ScanEnd::ToSummary;
    }
    // A scanner that cannot start never writes its report: waiting for it
    // would never end.
    if (!started)
        return ScanEnd::Continue;
    struct Handle {
        pf::HANDLE h;
        ~Handle() { pf::CloseHandle(h); }
    } process{started->hProcess};

    int minutes = 0;
    int seconds = 0;
    while (!files.Exists(report)) {
        // Ended without a report (it crashed or was closed): nothing more comes.
        const bool ended = pf::WaitForSingleObject(process.h, 0) != pf::WAIT_TIMEOUT;
        loop.yield();
        loop.sleep(ui::Millis(1000));
        if (++seconds >= 60) {
            seconds = 0;
            ++minutes;
        }
        showElapsed(run, minutes, seconds);
        if (run.cancelled())
            return ScanEnd::EndPhase;
        if (ended && !files.Exists(report))
            return ScanEnd::Continue;
    }

    for (const auto& line : reportLines(report)) {
        if (pf::vbLCase(line).find("outdated") != std::string::npos)
            continue;
        const auto shown = pf::vbTrim(line);
        if (!shown.empty())
            run.status(shown);
    }
    loop.sleep(ui::Millis(2000));
    if (run.cancelled())
        return ScanEnd::EndPhase;
    options.write(keys::AntiVirDate, platform::formatDdMmYy(platform::today()));
    return ScanEnd::Continue;
}

void runAntiSpy(const RunContext& run) {
    run.status(pf::tr("Aktiviere XP AntiSpy"));
    fsys::FileAccess files;
    const std::string optionFile = programFolder(run.host) + "xpas.txt";
    const std::string options =
        files.Exists(optionFile) ? files.ReadText(optionFile) : std::string(kAntiSpyOptions);
    const std::string privateFolder = AddBackslash(settings::GetPrivatePath());
    const std::string tool = privateFolder + "xp-AntiSpy.exe";
    if (!files.Exists(tool)) {
        ui::HourglassCursor hourglass;
        if (pf::URLDownloadToFileA(makerUrl("/skriptreferenz.txt"),
                                   privateFolder + "skriptreferenz.txt") == pf::S_OK)
            pf::URLDownloadToFileA(makerUrl("/xp-AntiSpy.exe"), tool);
    }
    const std::string& title = run.host.applicationTitle;
    if (!files.Exists(tool)) {
        ui::dialogs().messageBox("XP AntiSpy could not be activated!", title,
                                 ui::MB_ICONCRITICAL | ui::MB_SYSTEMMODAL);
        return;
    }
    ui::HourglassCursor hourglass;
    if (pf::ShellExecuteA(0, "open", tool, options, "", pf::SW_SHOWNORMAL) < 32)
        ui::dialogs().messageBox(pf::trf("{1} fehlt!", {tool}), title,
                                 ui::MB_ICONEXCLAMATION | ui::MB_SYSTEMMODAL);
}

}  // namespace kx::cleaning
