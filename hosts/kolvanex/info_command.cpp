// `kolvanex info`: what the information window shows, on standard output:
// the statistics sentence, then the version line.
#include <CLI/CLI.hpp>

#include <iostream>

#include "anonymity/frm_info.hpp"
#include "hosts/kolvanex/host.hpp"

namespace kx::host {

void addInfoCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* info = app.add_subcommand(
        "info", "how many files the suite has erased and how much space it freed, and its version");
    info->footer("Example:\n  kolvanex info");
    info->callback([&options, &exitCode] {
        Session session(options, true);
        std::cout << infoSentence() << "\n" << infoVersion() << "\n";
        exitCode = 0;
    });
}

}  // namespace kx::host
