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
#include "platform/ui/message_loop.hpp"
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

// The console prints each log line once, when it is added; Download
// rewrites its line in place. This watcher redraws the rewritten line on
// the terminal's current row.
class ProgressLineEcho {
  public:
    ProgressLineEcho() {
        auto& loop = platform::ui::MessageLoop::current();
        id_ = loop.addSource([this] { poll(); });
    }
    ~ProgressLineEcho() {
        platform::ui::MessageLoop::current().removeSource(id_);
        poll();  // the last change may come with the answer's last bytes
        if (shown_)
            std::cerr << "\n";
    }
    ProgressLineEcho(const ProgressLineEcho&) = delete;
    ProgressLineEcho& operator=(const ProgressLineEcho&) = delete;

    void remember() {
        if (const auto window = existingProgressWindow(); window && window->m_lvLastLine)
            last_ = window->m_lvLastLine->text;
    }

  private:
    void poll() {
        const auto window = existingProgressWindow();
        if (!window || !window->m_lvLastLine || window->m_lvLastLine->text == last_)
            return;
        last_ = window->m_lvLastLine->text;
        std::cerr << "\r" << last_ << std::flush;
        shown_ = true;
    }

    platform::ui::MessageLoop::SourceId id_ = 0;
    std::string last_;
    bool shown_ = false;
};

int runDownload(const GlobalOptions& options, const std::string& url) {
    Session session(options, true);
    Status("Download " + url);
    std::string body;
    {
        ProgressLineEcho echo;
        echo.remember();
        body = mainForm().Download(url);
    }
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
        "fetch", "GetInternetFile: fetch a URL (through the download proxy when one is set)");
    fetch->add_option("URL", *fetchUrl, "http:// or https:// URL")->required();
    fetch->callback([fetchUrl, &options, &exitCode] { exitCode = runFetch(options, *fetchUrl); });

    auto downloadUrl = std::make_shared<std::string>();
    auto* download = app.add_subcommand(
        "download",
        "Download: HTTP/1.1 GET of http://HOST/PATH to port 80 (or the machine's "
        "[network] http_port), the body to standard output");
    download->add_option("URL", *downloadUrl, "http://HOST/PATH")->required();
    download->callback(
        [downloadUrl, &options, &exitCode] { exitCode = runDownload(options, *downloadUrl); });
}

}  // namespace kx::host
