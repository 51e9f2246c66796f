// `kolvanex session anonym on|off`, `kolvanex session safe on|off` and
// `kolvanex open URL`: the browser sessions and the chosen browser, through
// the operations of the public class.
#include <CLI/CLI.hpp>

#include <iostream>

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
            exitCode =
                on ? report(kolvanex.SetAnonymSessionOn(0), "anonymous session on",
                            "the browsers could not be switched to a proxy")
                   : report(kolvanex.SetAnonymSessionOff(0, false), "anonymous session off", "");
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
