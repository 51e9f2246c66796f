// KXChecker.Exe: tests one proxy for the engine. Started as
//   KXChecker.Exe host:port [--limit SECONDS] [--prefix DIR]
// it fetches the maker's address echo page "/cgi-bin/ip.cgi" through that
// proxy and leaves the outcome in the settings store, application
// "kolvanex", section "kxchecker": "page" the text fetched, "result" "OK"
// or a short failure text ("Access denied", "No answer", ...). The page is
// written first, so whoever sees a result also finds its page. It ends by
// itself within its time limit (20 seconds unless --limit says otherwise).
//
// Exit status 0 for "OK", 1 for a failure written to the store, 2 when it
// was started wrongly or the machine cannot be opened.
#include <charconv>
#include <chrono>
#include <iostream>
#include <string>

#include "anonymity/internet_file.hpp"
#include "anonymity/proxy_checker.hpp"
#include "anonymity/proxy_list.hpp"
#include "platform/machine/machine.hpp"
#include "platform/network/inet.hpp"
#include "platform/processes/desktop_program.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "settings/keys.hpp"

namespace {

using namespace kx;

constexpr std::chrono::seconds kDefaultLimit{20};
// An echo page is a few lines; a page beyond this is not one, and cutting
// it could hide the address the engine looks for.
constexpr std::size_t kMaxPage = 1 << 20;

// "host:port" with a port from 1 to 65535 and a host of letters, digits,
// dots, hyphens and underscores.
bool isProxyAddress(std::string_view address) {
    const auto colon = address.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    const auto host = address.substr(0, colon);
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    const auto port = address.substr(colon + 1);
    return port == std::string_view(kx::platform::vbTrim(port)) && anonymity::isProxyPort(port);
}

std::string failureText(const platform::ProxyFetchResult& fetched) {
    using Outcome = platform::ProxyFetchOutcome;
    switch (fetched.outcome) {
        case Outcome::Answered:
            break;
        case Outcome::TooLarge:
            return "Page too large";
        case Outcome::NoAnswer:
        case Outcome::Failed:
            return std::string(anonymity::kCheckerNoAnswer);
    }
    const long status = fetched.httpStatus;
    if (status >= 200 && status < 300)
        return std::string(anonymity::kCheckerOK);
    if (status == 401 || status == 403 || status == 407)
        return std::string(anonymity::kCheckerAccessDenied);
    if (status >= 500)
        return std::string(anonymity::kCheckerNoAnswer);
    return "Error " + std::to_string(status);
}

int answer(const std::string& result, const std::string& page) {
    const bool written = settings::writeChecker(settings::keys::CheckerPage, page) &&
                         settings::writeChecker(settings::keys::CheckerResult, result);
    if (!written) {
        std::cerr << "KXChecker: " << platform::tr("die Antwort konnte nicht gespeichert werden")
                  << "\n";
        return 2;
    }
    return result == anonymity::kCheckerOK ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const auto args = platform::parseCompanionArguments(argc, argv);
    if (!args.error.empty()) {
        std::cerr << "KXChecker: " << args.error << "\n";
        return 2;
    }
    std::string proxy;
    std::chrono::milliseconds limit = kDefaultLimit;
    bool badLimit = false;
    for (std::size_t i = 0; i < args.rest.size(); ++i) {
        const auto& word = args.rest[i];
        if (word == "--limit" && i + 1 < args.rest.size()) {
            const auto& value = args.rest[++i];
            int seconds = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            badLimit = error != std::errc() || end != value.data() + value.size() || seconds < 1;
            limit = std::chrono::seconds(seconds);
        } else if (proxy.empty()) {
            proxy = word;
        }
    }
    if (badLimit) {
        std::cerr << "KXChecker: "
                  << platform::tr("--limit verlangt eine ganze Zahl von Sekunden über 0") << "\n";
        return 2;
    }

    auto machine = platform::Machine::open(args.prefix);
    if (!machine) {
        std::cerr << "KXChecker: "
                  << platform::trf("kein Rechner unter {1}: {2}",
                                   {args.prefix.string(), machine.error().message})
                  << "\n";
        return 2;
    }
    platform::MachineScope scope(**machine);

    if (!isProxyAddress(proxy))
        return answer("Bad proxy address", "");
    const auto url = makerUrl(std::string(anonymity::kCheckerEchoPath));
    if (url.empty())
        return answer("No server", "");
    const auto fetched = platform::fetchThroughProxy(url, proxy, limit, kMaxPage);
    const bool answered = fetched.outcome == platform::ProxyFetchOutcome::Answered;
    return answer(failureText(fetched), answered ? fetched.body : std::string());
}
