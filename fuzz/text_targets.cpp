// Targets on readers of text that need no machine: the wildcard operator,
// the proxy list, the answer of Download, the ini reader, the cookie filter.
#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "anonymity/http_download.hpp"
#include "anonymity/proxy_list.hpp"
#include "cleaning/destroy_steps.hpp"
#include "cleaning/run_state.hpp"
#include "fuzz/targets.hpp"
#include "platform/files/ini.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/wildcard.hpp"

namespace kx::fuzz {
namespace {

std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at its first byte `at`: what comes before and after it.
std::pair<std::string_view, std::string_view> cut(std::string_view text, char at) {
    const auto pos = text.find(at);
    if (pos == std::string_view::npos)
        return {text, {}};
    return {text.substr(0, pos), text.substr(pos + 1)};
}

}  // namespace

// pattern NUL text: the compiled pattern and vbLike agree, also without
// regard to case, and an invalid pattern matches nothing.
int wildcardLike(const std::uint8_t* data, std::size_t size) {
    const auto [pattern, text] = cut(asText(data, size), '\0');
    const auto exact = platform::LikePattern::compile(pattern);
    const bool like = platform::vbLike(text, pattern);
    require(exact ? exact->matches(text) == like : !like, "compile(p).matches(t) == vbLike(t, p)");
    if (const auto folded = platform::LikePattern::compile(pattern, true)) {
        require(folded->matches(text) ==
                    platform::vbLike(platform::vbLCase(text), platform::vbLCase(pattern)),
                "compile(p, true).matches(t) == vbLike(vbLCase(t), vbLCase(p))");
    }
    return 0;
}

// Every accepted entry has a port and a plain host, each host once.
int proxyList(const std::uint8_t* data, std::size_t size) {
    const auto text = asText(data, size);
    std::set<std::string> hosts;
    for (const auto& entry : anonymity::parseProxyList(text)) {
        require(anonymity::isProxyPort(entry.sPort), "an entry's port is a port");
        require(!entry.sHost.empty() && entry.sHost.find_first_of(" \t\"") == std::string::npos,
                "an entry's host is plain");
        require(hosts.insert(platform::vbLCase(entry.sHost)).second, "each host once");
    }
    for (const auto& line : anonymity::splitListLines(text)) {
        if (const auto entry = anonymity::parseProxyLine(line))
            require(anonymity::isProxyPort(entry->sPort), "a line's port is a port");
    }
    return 0;
}

// First byte: the size of the pieces the rest arrives in. However the answer
// is cut, the body is the same, and it is the end of what arrived.
int httpAnswer(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    const auto answer = asText(data + 1, size - 1);
    HttpAnswer whole;
    whole.add(answer);
    (void)whole.percent();
    HttpAnswer pieces;
    for (std::size_t at = 0; at < answer.size(); at += piece) {
        pieces.add(answer.substr(at, piece));
        (void)pieces.percent();
    }
    require(whole.received() == pieces.received(), "the same count however the bytes arrive");
    const std::string body = whole.finish();
    require(body == pieces.finish(), "the same body however the bytes arrive");
    require(answer.ends_with(body), "the body is the end of the answer");
    return 0;
}

// The ini reader keeps the text it was given, and a value written reads back.
int operaIni(const std::uint8_t* data, std::size_t size) {
    const auto [value, text] = cut(asText(data, size), '\n');
    auto ini = platform::IniFile::parse(text);
    const std::string written = ini.text();
    require(platform::IniFile::parse(written).text() == written, "a rewrite is stable");
    for (const auto& section : ini.sections()) {
        for (const auto& key : ini.keys(section)) (void)ini.get(section, key);
    }
    std::string clean(value);
    std::erase(clean, '\r');
    std::erase(clean, '\0');
    const std::string expected(platform::trimSpacesAndTabs(clean));
    ini.set("Proxy", "Automatic Proxy Configuration URL", clean);
    require(ini.get("Proxy", "Automatic Proxy Configuration URL") == expected,
            "a value set reads back");
    require(
        platform::IniFile::parse(ini.text()).get("Proxy", "Automatic Proxy Configuration URL") ==
            expected,
        "a value written reads back");
    return 0;
}

// First line: exception patterns separated by '|'. Filtering what the
// filter kept changes nothing.
int cookieFilter(const std::uint8_t* data, std::size_t size) {
    const auto [patterns, content] = cut(asText(data, size), '\n');
    std::vector<std::string> lines;
    for (const auto part : platform::splitAt(patterns, "|")) lines.emplace_back(part);
    cleaning::RunState state;
    cleaning::setExceptionPatterns(state, lines);
    const std::string kept = cleaning::keptCookieLines(state, content);
    require(cleaning::keptCookieLines(state, kept) == kept, "a second filter changes nothing");
    return 0;
}

}  // namespace kx::fuzz
