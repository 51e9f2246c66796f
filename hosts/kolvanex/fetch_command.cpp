// `kolvanex fetch URL` and `kolvanex download URL`: the two ways the
// component retrieves files over HTTP, from the command line. The answer goes
// to standard output as it came (a downloaded file may be binary); status
// lines go where the console view puts them. Exit status 1 when the answer
// is empty, which is how both report every failure.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "anonymity/http_download.hpp"
#include "facade/kolvanex.hpp"
#include "hosts/kolvanex/host.hpp"
#include "services/progress.hpp"

namespace kx::host {
namespace {

int runFetch(const GlobalOptions& options, const std::string& url) {
    Session session(options, true);
    CKOLVANEX kolvanex;
    const auto text = kolvanex.GetInternetFile(url);
    if (!text || text->empty()) {
        std::cerr << "kolvanex: nothing was fetched from " << url << "\n";
        return kExitFailed;
    }
    std::cout << *text << "\n";
    return 0;
}

int runDownload(const GlobalOptions& options, const std::string& url) {
    Session session(options, true);
    Status("Download " + url);
    // The console view prints each status line once and redraws the
    // progress line Download rewrites in place.
    const std::string body = mainForm().Download(url);
    if (body.empty()) {
        std::cerr << "kolvanex: nothing was downloaded from " << url << "\n";
        return kExitFailed;
    }
    std::cout.write(body.data(), static_cast<std::streamsize>(body.size()));
    std::cout.flush();
    return 0;
}

}  // namespace

void addFetchCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto fetchUrl = std::make_shared<std::string>();
    auto* fetch = app.add_subcommand(
        "fetch", "fetch a URL and print it (through the download proxy when one is set)");
    fetch->add_option("URL", *fetchUrl, "http:// or https:// URL")->required();
    fetch->footer("Example:\n  kolvanex fetch https://example.org/kxproxy.txt");
    fetch->callback([fetchUrl, &options, &exitCode] { exitCode = runFetch(options, *fetchUrl); });

    auto downloadUrl = std::make_shared<std::string>();
    auto* download = app.add_subcommand(
        "download",
        "download http://HOST/PATH from port 80 (or the machine's [network] http_port) "
        "with a progress line; the body goes to standard output");
    download->footer("Example:\n  kolvanex download http://example.org/stinger.ver > stinger.ver");
    download->add_option("URL", *downloadUrl, "http://HOST/PATH")->required();
    download->callback(
        [downloadUrl, &options, &exitCode] { exitCode = runDownload(options, *downloadUrl); });
}

}  // namespace kx::host
