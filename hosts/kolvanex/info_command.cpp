// `kolvanex info`: what the information window shows, on standard output:
// the statistics sentence, then the version line.
#include <CLI/CLI.hpp>

#include <iostream>

#include "anonymity/frm_info.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {

void addInfoCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* info = app.add_subcommand(
        "info", std::string(platform::tr("wie viele Dateien die Suite gelöscht und wie viel Platz "
                                         "sie freigegeben hat, und ihre Version")));
    info->footer(std::string(platform::tr("Beispiel:\n  kolvanex info")));
    info->callback([&options, &exitCode] {
        Session session(options, true);
        std::cout << infoSentence() << "\n" << infoVersion() << "\n";
        exitCode = 0;
    });
}

}  // namespace kx::host
