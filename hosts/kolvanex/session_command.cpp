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

namespace kx::host {
namespace {

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

// "the proxy h:p" or "the proxy chain h1:p1 -> h2:p2".
std::string describeChain(const std::vector<std::string>& entries) {
    std::string out = entries.size() > 1 ? "the proxy chain " : "the proxy ";
    for (std::size_t i = 0; i < entries.size(); ++i) out += (i == 0 ? "" : " -> ") + entries[i];
    return out;
}

// On: which chain the browsers use now. A fallback hides nobody, and a
// chain of which the search could check none is no better: neither is an
// anonymous session. The browsers stay pointed at it (the fixed fallback
// reaches nobody, so they fail closed) and the status says the failure.
int anonymOn(CKOLVANEX& kolvanex) {
    const auto result = kolvanex.SetAnonymSessionOn(0);
    if (!result || !*result)
        return report(result, "", "the browsers could not be switched to a proxy");
    const auto chosen = anonymity::lastAnonymSessionProxy();
    if (chosen.fallback) {
        std::cerr << "kolvanex: no anonymous proxy was found; the browsers are pointed at "
                  << chosen.proxy
                  << (chosen.proxy == anonymity::kFallbackProxy
                          ? ", which reaches nobody, so they open no page"
                          : ", the machine's fallback proxy, which nobody checked hides you")
                  << " until 'kolvanex session anonym off'\n";
        return kExitFailed;
    }
    const auto entries = chainEntries(chosen.proxy);
    if (chosen.searched && chosen.checked == 0) {
        std::cerr << "kolvanex: no anonymous proxy was found; the browsers are pointed at "
                  << describeChain(entries)
                  << ", taken unchecked from the list, until 'kolvanex session anonym off'\n";
        return kExitFailed;
    }
    std::cout << "anonymous session on: the browsers use " << describeChain(entries);
    if (chosen.searched && chosen.checked < entries.size())
        std::cout << " (only the first " << chosen.checked
                  << " checked anonymous, the others taken unchecked from the list)";
    std::cout << "\n";
    return 0;
}

// Off: only what an earlier `on` saved is restored. With nothing saved the
// browsers keep what they have, so a proxy the user set up himself is not
// switched off.
int anonymOff(CKOLVANEX& kolvanex) {
    if (anonymity::savedBrowserSettings().settled()) {
        std::cout << "no anonymous session to end: the browsers keep their own settings\n";
        return 0;
    }
    return report(kolvanex.SetAnonymSessionOff(0, false), "anonymous session off", "");
}

void addSwitch(CLI::App& session, const GlobalOptions& options, int& exitCode,
               const std::string& name, const std::string& description, bool anonymous) {
    auto* command = session.add_subcommand(name, description);
    command->footer("Example:\n  kolvanex session " + name + " on");
    auto state = std::make_shared<std::string>();
    command->add_option("state", *state, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    command->callback([&options, &exitCode, state, anonymous] {
        Session machine(options, true);
        CKOLVANEX kolvanex;
        const bool on = *state == "on";
        if (anonymous) {
            exitCode = on ? anonymOn(kolvanex) : anonymOff(kolvanex);
        } else {
            exitCode = on ? report(kolvanex.SetSafeSessionOn(Variant(std::int32_t{0})),
                                   "safe session on", "the high security zone was not imported")
                          : report(kolvanex.SetSafeSessionOff(0, false), "safe session off", "");
        }
    });
}

}  // namespace

void addSessionCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* session = app.add_subcommand("session", "anonymous and safe browser sessions");
    session->require_subcommand(1);
    session->footer("Example:\n  kolvanex session anonym on");
    addSwitch(*session, options, exitCode, "anonym",
              "send every browser through the chosen proxy or a found chain (on), or restore "
              "them (off)",
              true);
    addSwitch(*session, options, exitCode, "safe",
              "raise Internet Explorer's Internet zone to high (on), or back to standard (off)",
              false);

    auto* open = app.add_subcommand("open", "start the chosen browser with a page");
    auto url = std::make_shared<std::string>();
    open->add_option("URL", *url, "the page")->required();
    open->footer("Example:\n  kolvanex open https://example.org/");
    open->callback([&options, &exitCode, url] {
        Session machine(options, true);
        // Werbung tells the user in a box when the browser does not start;
        // the exit status says it too.
        exitCode =
            report(guarded("Werbung", [&] { return anonymity::Werbung(*url); }),
                   "started " + anonymity::chosenBrowser(), "the chosen browser was not started");
    });
}

}  // namespace kx::host
