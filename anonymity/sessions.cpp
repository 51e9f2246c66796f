// Anonymous and safe browser sessions, and starting the chosen browser.
#include "anonymity/sessions.hpp"

#include <chrono>
#include <vector>

#include "anonymity/browser_proxy.hpp"
#include "anonymity/proxy_search.hpp"
#include "anonymity/shipped_files.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "platform/machine/machine.hpp"
#include "platform/processes/command_line.hpp"
#include "platform/processes/process.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "services/registry_import.hpp"
#include "settings/cregistry.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::anonymity {
namespace {

namespace pf = platform;
namespace ui = platform::ui;
namespace keys = settings::keys;
using settings::Reader;

ui::MessageLoop& loop() {
    return ui::MessageLoop::current();
}

bool importZones(std::string_view file) {
    return settings::RegEdit(AddBackslash(shared().KXAppPath) + std::string(file));
}

// Internet Explorer's folder from its application path, without the ";"
// the installer leaves at its end.
std::string internetExplorer() {
    settings::CRegistry windows;
    windows.Company = "Microsoft";
    windows.ProductName = "Windows";
    std::string folder;
    (void)windows.QueryMachineInformationString("CurrentVersion\\App Paths\\IEXPLORE.EXE", "Path",
                                                folder);
    if (!folder.empty() && folder.back() == ';')
        folder.pop_back();
    return AddBackslash(folder) + "IEXPLORE.EXE";
}

SessionProxy& lastChosen() {
    thread_local SessionProxy chosen;
    return chosen;
}

}  // namespace

std::string fallbackProxy() {
    std::string proxy =
        pf::hasCurrentMachine() ? pf::currentMachine().endpoint(kFallbackProxyEndpoint) : "";
    if (proxy.starts_with("http://"))
        proxy.erase(0, 7);
    if (!proxy.empty() && proxy.back() == '/')
        proxy.pop_back();
    return proxy.empty() ? std::string(kFallbackProxy) : proxy;
}

SessionProxy chooseSessionProxy() {
    SessionProxy chosen;
    if (const auto ip = settings::read(keys::AnonymIP, Reader::Engine); !ip.empty()) {
        chosen.proxy = ip + ":" + settings::read(keys::AnonymPort, Reader::Engine);
    } else {
        const auto search = searchProxyChain();
        chosen.proxy = search.chain;
        chosen.searched = !search.chain.empty();
        chosen.checked = search.checked;
        if (chosen.proxy.empty()) {
            chosen.proxy = fallbackProxy();
            chosen.fallback = true;
        }
    }
    if (!chosen.proxy.empty() && chosen.proxy.back() == ';')
        chosen.proxy.pop_back();
    return chosen;
}

std::string sessionProxy() {
    return chooseSessionProxy().proxy;
}

SessionProxy lastAnonymSessionProxy() {
    return lastChosen();
}

bool SetAnonymSessionOn() {
    lastChosen() = chooseSessionProxy();
    if (SetIEProxy(lastChosen().proxy)) {
        (void)settings::write(keys::AnoSession, "1");
        return true;
    }
    if (!shared().gbBreak) {
        ui::dialogs().messageBox(std::string(pf::tr(kNoProxyMessage)), shared().applicationTitle,
                                 ui::MB_SYSTEMMODAL | ui::MB_ICONINFORMATION);
    }
    return false;
}

bool SetAnonymSessionOff() {
    (void)SetIEProxy("");
    (void)settings::write(keys::AnoSession, "0");
    return true;
}

bool SetSafeSessionOn() {
    if (!AskForNewSession())
        return false;
    const bool imported = importZones(kZonesHigh);
    RefreshIESettings();
    return imported;
}

bool SetSafeSessionOff() {
    (void)importZones(kZonesStandard);
    RefreshIESettings();
    return true;
}

bool AskForNewSession() {
    return true;
}

std::string chosenBrowser() {
    std::string program;
    if (settings::readBool(keys::BrowserIsAOL, Reader::Engine))
        program = AddBackslash(settings::GetAOLPath()) + "AOL.EXE";
    if (settings::readBool(keys::BrowserIsIE, Reader::Engine))
        program = internetExplorer();
    if (settings::readBool(keys::BrowserIsOpera, Reader::Engine))
        program = settings::GetOperaExeDirectory() + "\\Opera.exe";
    if (settings::readBool(keys::BrowserIsMozilla, Reader::Engine))
        program = settings::MozGetExeDirectory();
    if (settings::readBool(keys::BrowserIsMozillaFireFox, Reader::Engine))
        program = settings::MozGetExeDirectory();
    if (settings::readBool(keys::BrowserIsNetscape, Reader::Engine))
        program = settings::NetscapeGetExeDirectory();
    return program;
}

bool Werbung(std::string_view sPageToOpen) {
    loop().yield();
    if (shared().gbBreak)
        return false;
    const std::string program = chosenBrowser();
    loop().yield();
    if (shared().gbBreak)
        return false;
    Status(pf::trf("Starte {1}", {program}));
    loop().sleep(std::chrono::milliseconds(200));
    progressWindow()->closeAfter(5000);
    loop().yield();
    if (shared().gbBreak)
        return false;

    // The program is named apart from the command line, so a folder with
    // blanks cannot be read as a shorter program; the page stays one
    // argument.
    pf::ProcessStart start;
    start.applicationName = program;
    std::vector<std::string> words{program};
    if (!sPageToOpen.empty())
        words.emplace_back(sPageToOpen);
    start.commandLine = pf::joinCommandLine(words);
    start.showWindow = pf::SW_SHOWMAXIMIZED;
    // The browser outlives us, as a browser the user opened would.
    start.detached = true;
    const auto started = pf::CreateProcessA(start);
    if (started) {
        pf::CloseHandle(started->hProcess);
        return true;
    }
    ui::dialogs().messageBox(
        pf::trf("{1}\rDer ausgewählte Browser konnte nicht gestartet werden!", {program}),
        shared().applicationTitle, ui::MB_ICONEXCLAMATION);
    return false;
}

bool browserBarShown() {
    return settings::readBool(keys::IEToolbar, Reader::Engine);
}

void ShowBrowserBar() {
    // The automation object "InternetExplorer.Application" would be asked to
    // ShowBrowserBar(kToolbarClassId, browserBarShown()) and then to quit.
    // No such object can be created here, and then there is nothing to do.
}

}  // namespace kx::anonymity
