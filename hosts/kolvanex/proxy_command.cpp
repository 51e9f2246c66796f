// `kolvanex proxy fastest` and `kolvanex proxy check HOST:PORT`: the proxy
// search and the anonymity test of one proxy, through the same operations a
// host calls. The answer goes to standard output; status lines and message
// boxes go where the console view puts them.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {

using platform::tr;

namespace {

int printFailure(const AutomationError& error) {
    std::cerr << "kolvanex: " << error.description << " (" << error.number << ")\n";
    return kExitFailed;
}

int runFastest(const GlobalOptions& options) {
    Session session(options, true);
    CKOLVANEX kolvanex;
    const auto chain = kolvanex.GetFastestProxy();
    if (!chain)
        return printFailure(chain.error());
    if (chain->empty()) {
        std::cerr << "kolvanex: " << tr("keine Proxy-Kette gefunden") << "\n";
        return kExitFailed;
    }
    std::cout << *chain << "\n";
    return 0;
}

// The answer on the first line, then whether the proxy hides the user.
// Exit status 0 only for a proxy that answered.
int runCheck(const GlobalOptions& options, const std::string& proxy, int seconds) {
    Session session(options, true);
    CKOLVANEX kolvanex;
    bool anonymous = false;
    const auto answer = kolvanex.KXChecker(proxy, anonymous, nullptr, seconds);
    if (!answer)
        return printFailure(answer.error());
    std::cout << *answer << "\n"
              << "bIsAnonym=" << (anonymous ? "True" : "False") << "\n";
    return *answer == "OK" ? 0 : kExitFailed;
}

}  // namespace

void addProxyCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    const std::string example(tr("Beispiel:\n  kolvanex proxy fastest"));
    auto* proxy = app.add_subcommand("proxy", std::string(tr("anonyme Proxys")));
    proxy->require_subcommand(1);
    proxy->footer(example);
    auto* fastest = proxy->add_subcommand(
        "fastest", std::string(tr("die schnellste Kette anonymer Proxys suchen")));
    fastest->footer(example);
    fastest->callback([&options, &exitCode] { exitCode = runFastest(options); });

    auto address = std::make_shared<std::string>();
    auto seconds = std::make_shared<int>(5);
    auto* check = proxy->add_subcommand(
        "check", std::string(tr("prüfen, ob ein Proxy Ihre Adresse verbirgt")));
    check->add_option("HOST:PORT", *address, std::string(tr("der Proxy")))->required();
    check->add_option("--seconds", *seconds,
                      std::string(tr("wie lange auf die Prüfung gewartet wird (Vorgabe 5)")));
    check->footer(std::string(tr("Beispiel:\n  kolvanex proxy check 192.0.2.7:8080 --seconds 10")));
    check->callback([address, seconds, &options, &exitCode] {
        exitCode = runCheck(options, *address, *seconds);
    });
}

}  // namespace kx::host
