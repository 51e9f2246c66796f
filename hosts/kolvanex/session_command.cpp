// `kolvanex session anonym on|off`, `kolvanex session safe on|off` and
// `kolvanex open URL`: the browser sessions and the chosen browser, through
// the operations of the public class.
#include <CLI/CLI.hpp>

#include <iostream>
#include <ranges>
#include <string>
#include <vector>

#include "anonymity/browser_proxy.hpp"
#include "anonymity/sessions.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {
namespace {

using platform::tr;
using platform::trf;

// Exit status 0 when the operation answered true; else its failure on
// standard error and status 1.
int report(const Ret<bool>& result, std::string_view done, std::string_view failed) {
    if (!result) {
        std::cerr << "kolvanex: " << result.error().description << "\n";
        return kExitFailed;
    }
    if (!*result) {
        std::cerr << "kolvanex: " << failed << "\n";
        return kExitFailed;
    }
    std::cout << done << "\n";
    return 0;
}

// The proxies of a chain "h1:p1;h2:p2", in order.
std::vector<std::string> chainEntries(const std::string& chain) {
    std::vector<std::string> entries;
    for (const auto part : std::views::split(chain, ';'))
        if (!part.empty())
            entries.emplace_back(part.begin(), part.end());
    return entries;
}

// "den Proxy h:p" or "die Proxykette h1:p1 -> h2:p2".
std::string describeChain(const std::vector<std::string>& entries) {
    std::string chain;
    for (std::size_t i = 0; i < entries.size(); ++i) chain += (i == 0 ? "" : " -> ") + entries[i];
    return entries.size() > 1 ? trf("die Proxykette {1}", {chain}) : trf("den Proxy {1}", {chain});
}

// On: which chain the browsers use now. A fallback hides nobody, and a
// chain of which the search could check none is no better: neither is an
// anonymous session. The browsers stay pointed at it (the fixed fallback
// reaches nobody, so they fail closed) and the status says the failure.
int anonymOn(CKOLVANEX& kolvanex) {
    const auto result = kolvanex.SetAnonymSessionOn(0);
    if (!result || !*result)
        return report(result, "",
                      tr("die Browser konnten nicht auf einen Proxy umgestellt werden"));
    const auto chosen = anonymity::lastAnonymSessionProxy();
    if (chosen.fallback) {
        std::cerr << "kolvanex: "
                  << (chosen.proxy == anonymity::kFallbackProxy
                          ? trf("kein anonymer Proxy wurde gefunden; die Browser zeigen auf {1}, "
                                "der niemanden erreicht, also öffnen sie keine Seite, bis "
                                "'kolvanex session anonym off'",
                                {chosen.proxy})
                          : trf("kein anonymer Proxy wurde gefunden; die Browser zeigen auf {1}, "
                                "den Ausweich-Proxy der Maschine, von dem niemand geprüft hat, "
                                "ob er Sie verbirgt, bis 'kolvanex session anonym off'",
                                {chosen.proxy}))
                  << "\n";
        return kExitFailed;
    }
    const auto entries = chainEntries(chosen.proxy);
    if (chosen.searched && chosen.checked == 0) {
        std::cerr << "kolvanex: "
                  << trf("kein anonymer Proxy wurde gefunden; die Browser zeigen auf {1}, "
                         "ungeprüft aus der Liste genommen, bis 'kolvanex session anonym off'",
                         {describeChain(entries)})
                  << "\n";
        return kExitFailed;
    }
    std::cout << trf("anonyme Sitzung ein: die Browser nutzen {1}", {describeChain(entries)});
    if (chosen.searched && chosen.checked < entries.size())
        std::cout << trf(
            " (nur die ersten {1} als anonym geprüft, die anderen ungeprüft aus der "
            "Liste genommen)",
            {std::to_string(chosen.checked)});
    std::cout << "\n";
    return 0;
}

// Off: only what an earlier `on` saved is restored. With nothing saved the
// browsers keep what they have, so a proxy the user set up himself is not
// switched off.
int anonymOff(CKOLVANEX& kolvanex) {
    if (anonymity::savedBrowserSettings().settled()) {
        std::cout << tr("keine anonyme Sitzung zu beenden: die Browser behalten ihre eigenen "
                        "Einstellungen")
                  << "\n";
        return 0;
    }
    return report(kolvanex.SetAnonymSessionOff(0, false), tr("anonyme Sitzung aus"), "");
}

void addSwitch(CLI::App& session, const GlobalOptions& options, int& exitCode,
               const std::string& name, const std::string& description, bool anonymous) {
    auto* command = session.add_subcommand(name, description);
    command->footer(std::string(tr("Beispiel:\n")) + "  kolvanex session " + name + " on");
    auto state = std::make_shared<std::string>();
    command->add_option("state", *state, std::string(tr("on oder off")))
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    command->callback([&options, &exitCode, state, anonymous] {
        Session machine(options, true);
        CKOLVANEX kolvanex;
        const bool on = *state == "on";
        if (anonymous) {
            exitCode = on ? anonymOn(kolvanex) : anonymOff(kolvanex);
        } else {
            exitCode =
                on ? report(kolvanex.SetSafeSessionOn(Variant(std::int32_t{0})),
                            tr("sichere Sitzung ein"),
                            tr("die Zone hoher Sicherheit wurde nicht importiert"))
                   : report(kolvanex.SetSafeSessionOff(0, false), tr("sichere Sitzung aus"), "");
        }
    });
}

}  // namespace

void addSessionCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* session =
        app.add_subcommand("session", std::string(tr("anonyme und sichere Browsersitzungen")));
    session->require_subcommand(1);
    const std::string example(tr("Beispiel:\n"));
    session->footer(example + "  kolvanex session anonym on");
    addSwitch(*session, options, exitCode, "anonym",
              std::string(tr("jeden Browser über den gewählten Proxy oder eine gefundene Kette "
                             "schicken (on) oder ihn zurückstellen (off)")),
              true);
    addSwitch(*session, options, exitCode, "safe",
              std::string(tr("die Internetzone des Internet Explorers auf hoch stellen (on) oder "
                             "zurück auf Standard (off)")),
              false);

    auto* open = app.add_subcommand(
        "open", std::string(tr("den gewählten Browser mit einer Seite starten")));
    auto url = std::make_shared<std::string>();
    open->add_option("URL", *url, std::string(tr("die Seite")))->required();
    open->footer(example + "  kolvanex open https://example.org/");
    open->callback([&options, &exitCode, url] {
        Session machine(options, true);
        // Werbung tells the user in a box when the browser does not start;
        // the exit status says it too.
        exitCode = report(guarded("Werbung", [&] { return anonymity::Werbung(*url); }),
                          trf("{1} gestartet", {anonymity::chosenBrowser()}),
                          tr("der gewählte Browser wurde nicht gestartet"));
    });
}

}  // namespace kx::host
