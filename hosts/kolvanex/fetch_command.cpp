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
#include "platform/runtime/translation.hpp"
#include "services/progress.hpp"

namespace kx::host {

using platform::tr;
using platform::trf;

namespace {

int runFetch(const GlobalOptions& options, const std::string& url) {
    Session session(options, true);
    CKOLVANEX kolvanex;
    const auto text = kolvanex.GetInternetFile(url);
    if (!text || text->empty()) {
        std::cerr << "kolvanex: " << trf("von {1} wurde nichts geholt", {url}) << "\n";
        return kExitFailed;
    }
    std::cout << *text << "\n";
    return 0;
}

int runDownload(const GlobalOptions& options, const std::string& url) {
    Session session(options, true);
    Status(trf("Download {1}", {url}));
    // The console view prints each status line once and redraws the
    // progress line Download rewrites in place.
    const std::string body = mainForm().Download(url);
    if (body.empty()) {
        std::cerr << "kolvanex: " << trf("von {1} wurde nichts heruntergeladen", {url}) << "\n";
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
        "fetch", std::string(tr("eine URL holen und ausgeben (über den Download-Proxy, wenn "
                                "einer eingestellt ist)")));
    fetch->add_option("URL", *fetchUrl, std::string(tr("http://- oder https://-URL")))->required();
    fetch->footer(std::string(tr("Beispiel:\n  kolvanex fetch https://example.org/kxproxy.txt")));
    fetch->callback([fetchUrl, &options, &exitCode] { exitCode = runFetch(options, *fetchUrl); });

    auto downloadUrl = std::make_shared<std::string>();
    auto* download = app.add_subcommand(
        "download",
        std::string(tr("http://HOST/PATH von Port 80 (oder dem [network] http_port der Maschine) "
                       "mit einer Fortschrittszeile herunterladen; der Inhalt geht auf die "
                       "Standardausgabe")));
    download->footer(std::string(
        tr("Beispiel:\n  kolvanex download http://example.org/stinger.ver > stinger.ver")));
    download->add_option("URL", *downloadUrl, "http://HOST/PATH")->required();
    download->callback(
        [downloadUrl, &options, &exitCode] { exitCode = runDownload(options, *downloadUrl); });
}

}  // namespace kx::host
