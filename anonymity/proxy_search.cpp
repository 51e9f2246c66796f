// The search for a chain of anonymous proxies; see proxy_search.hpp.
#include "anonymity/proxy_search.hpp"

#include <algorithm>
#include <optional>

#include "anonymity/internet_file.hpp"
#include "anonymity/proxy_checker.hpp"
#include "core/shared_state.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"

namespace kx::anonymity {
namespace {

namespace ui = platform::ui;

constexpr std::size_t kDefaultChainLength = 2;

// "NProxys" as a whole number of at least 1; anything else is the default.
std::size_t chainLength() {
    const auto stored = settings::read(settings::keys::NProxys);
    const auto text = platform::vbTrim(stored);
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string_view::npos)
        return kDefaultChainLength;
    const auto n = static_cast<std::size_t>(std::stoi(std::string(text)));
    return n >= 1 ? n : kDefaultChainLength;
}

std::string withoutLineEnds(std::string text) {
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 2);
    return text;
}

void setProgressRange(int max) {
    auto& bar = *progressWindow()->pbBar;
    // The bar refuses an empty range at every step, so the order matters.
    if (max > bar.min()) {
        bar.setMax(max);
        bar.setMin(0);
    } else {
        bar.setMin(0);
        bar.setMax(max);
    }
}

// A line the chain may hold unchecked: a proxy address "host:port".
bool isChainEntry(const std::string& line) {
    return line.find(':') != std::string::npos && parseProxyLine(line).has_value();
}

bool breakRequested() {
    return shared().gbBreak;
}

}  // namespace

std::string GetFastestProxy() {
    return searchProxyChain().chain;
}

std::string GetFastestProxy(const RandomSource& random) {
    return searchProxyChain(random).chain;
}

ProxySearch searchProxyChain() {
    return searchProxyChain(tickSeededRandom());
}

ProxySearch searchProxyChain(const RandomSource& random) {
    Status(platform::tr("Lade Liste mit Proxy-Servern"));
    if (const auto stamp = GetInternetFile(makerUrl(std::string(kRemoteProxyStampPath)));
        !stamp.empty())
        Status(platform::trf("Liste der Proxy-Server ist vom {1}", {withoutLineEnds(stamp)}));
    const auto list = GetInternetFile(makerUrl(std::string(kRemoteProxyListPath)));
    if (list.empty()) {
        ui::dialogs().messageBox(
            std::string(platform::tr(
                "Die Datei mit den Proxy-Servern konnte nicht aus dem Internet geladen werden. "
                "Bitte stellen Sie ggf. eine Internetverbindung her")),
            shared().applicationTitle, ui::MB_SYSTEMMODAL | ui::MB_ICONEXCLAMATION);
        return {};
    }
    auto lines = splitListLines(list);
    // Blanks around a line would end up inside the chain.
    for (auto& line : lines) line = std::string(platform::vbTrim(line));
    shuffleProxyLines(lines, random);

    std::optional<ui::HourglassCursor> hourglass(std::in_place);
    Status(platform::tr("Suche die schnellsten verfügbaren Proxy-Server"));
    const std::size_t wanted = chainLength();
    setProgressRange(static_cast<int>(wanted));

    std::string chain;
    std::vector<std::string> taken;
    // Proxies seen passing the user's own address on: never in the chain,
    // not even to fill it up (the browser falls over to the next entry).
    std::vector<std::string> exposing;
    for (const auto& line : lines) {
        if (!line.empty()) {
            ui::yield();
            if (breakRequested())
                return {};
            Status(platform::trf("Prüfe Proxy-Server {1}", {line}));
            bool anonymous = false;
            const auto answer = KXChecker(line, anonymous, nullptr, kSearchCheckSeconds);
            if (answer == kCheckerMissing) {
                Status(platform::tr("Fehler bei der Serversuche"));
                return {chain, taken.size()};
            }
            if (answer == kCheckerOK && !anonymous)
                exposing.push_back(line);
            if (answer == kCheckerOK && anonymous) {
                taken.push_back(line);
                progressWindow()->pbBar->setValue(static_cast<int>(taken.size()));
                chain += line + ";";
                if (taken.size() == wanted)
                    break;
            }
        }
        if (breakRequested())
            return {};
    }
    if (breakRequested())
        return {};

    const std::size_t found = taken.size();
    for (std::size_t i = found; taken.size() < wanted && i < lines.size(); ++i) {
        const auto& line = lines[i];
        if (!isChainEntry(line) || std::ranges::find(taken, line) != taken.end() ||
            std::ranges::find(exposing, line) != exposing.end())
            continue;
        taken.push_back(line);
        chain += line + ";";
    }

    hourglass.reset();
    if (found == 0) {
        ui::dialogs().messageBox(
            std::string(platform::tr(
                "Es wurde kein anonymisierender Proxy-Server gefunden.\rBitte stellen Sie ggf. "
                "zuerst eine Verbindung mit dem Internet her. Sollte auch dann kein Server "
                "gefunden werden, müssen Sie in den Grundeinstellungen einen anonymisierenden "
                "Server auswählen und über den Button 'Internet...' eine anonyme "
                "Internet-Sitzung starten.")),
            shared().applicationTitle, ui::MB_SYSTEMMODAL | ui::MB_ICONINFORMATION);
    }
    return {chain, found};
}

}  // namespace kx::anonymity
