// The proxy list, its local copy and the shuffle; see proxy_list.hpp.
#include "anonymity/proxy_list.hpp"

#include <algorithm>
#include <random>

#include "core/text_rules.hpp"
#include "platform/files/files.hpp"
#include "platform/runtime/text.hpp"
#include "platform/ui/message_loop.hpp"
#include "settings/locations.hpp"

namespace kx::anonymity {

std::vector<std::string> splitListLines(std::string_view text) {
    auto pieces = platform::splitAt(text, "\n");
    // A line ended by CR LF loses its CR; the last line has no end.
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
        if (pieces[i].ends_with('\r'))
            pieces[i].remove_suffix(1);
    // cppcheck-suppress returnDanglingLifetime ; each view is copied into a string
    return {pieces.begin(), pieces.end()};
}

bool isProxyPort(std::string_view port) {
    port = platform::vbTrim(port);
    if (port.empty() || port.size() > 5)
        return false;
    unsigned value = 0;
    for (const char c : port) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value >= 1 && value <= 65535;
}

std::optional<ProxyListEntry> parseProxyLine(std::string_view line) {
    line = platform::vbTrim(line);
    if (line.ends_with(':'))
        line.remove_suffix(1);
    char separator = ':';
    if (line.find(':') == std::string_view::npos)
        separator = line.find(' ') != std::string_view::npos ? ' ' : '\t';
    const auto split = line.find(separator);
    if (split == std::string_view::npos)
        return std::nullopt;
    const auto host = platform::vbTrim(line.substr(0, split));
    auto port = line.substr(split + 1);
    port = port.substr(0, port.find(separator));
    // A host with blanks, tabs or quotes in it would fall apart into several
    // words on the checker's command line.
    if (host.empty() || host.find_first_of(" \t\"") != std::string_view::npos || !isProxyPort(port))
        return std::nullopt;
    return ProxyListEntry{std::string(host), std::string(platform::vbTrim(port))};
}

std::vector<ProxyListEntry> parseProxyList(std::string_view text,
                                           std::vector<std::string>* skipped) {
    std::vector<ProxyListEntry> entries;
    for (const auto& line : splitListLines(text)) {
        auto entry = parseProxyLine(line);
        if (!entry) {
            if (skipped != nullptr && !platform::vbTrim(line).empty())
                skipped->push_back(line);
            continue;
        }
        const bool known = std::ranges::any_of(entries, [&](const ProxyListEntry& taken) {
            return platform::winEqualNoCase(taken.sHost, entry->sHost);
        });
        if (!known)
            entries.push_back(std::move(*entry));
    }
    return entries;
}

std::string proxyListPath() {
    return AddBackslash(settings::GetPrivatePath()) + std::string(kProxyListFile);
}

std::optional<std::vector<ProxyListEntry>> readLocalProxyList() {
    auto text = platform::files::readAll(proxyListPath());
    if (!text)
        return std::nullopt;
    return parseProxyList(*text);
}

bool saveLocalProxyList(std::string_view fetchedList) {
    const std::string text = std::string(platform::vbTrim(fetchedList)) + "\r\n";
    return platform::files::replaceContent(platform::currentMachine(), proxyListPath(), text)
        .has_value();
}

RandomSource tickSeededRandom() {
    const auto tick = platform::ui::MessageLoop::current().now().count();
    auto engine = std::make_shared<std::minstd_rand>(static_cast<std::uint32_t>(tick));
    return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
}

void shuffleProxyLines(std::vector<std::string>& lines, const RandomSource& random) {
    if (lines.size() < 2)
        return;
    const std::size_t n = lines.size() - 1;
    // A source that strays out of [0, 1) must not reach past the list.
    auto draw = [&](double scale) {
        const double r = std::clamp(random(), 0.0, 1.0);
        return static_cast<std::size_t>(scale * r);
    };
    const std::size_t passes = std::min<std::size_t>(draw(2.0) + 1, 2);
    for (std::size_t round = 0; round < passes + 1; ++round) {
        for (std::size_t i = 0; i <= n; ++i) {
            const std::size_t j = std::min(draw(static_cast<double>(n)) + 1, n);
            std::swap(lines[i], lines[j]);
        }
    }
}

}  // namespace kx::anonymity
