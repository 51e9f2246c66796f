// Building the proxy auto-configuration script.
#include "anonymity/proxy_script.hpp"

#include <cctype>
#include <vector>

#include "platform/runtime/text.hpp"

namespace kx::anonymity {
namespace {

constexpr std::string_view kOneLine = "function FindProxyForURL(url, host) { return \"PROXY $\";}";

// A proxy goes into a quoted JavaScript text: nothing in it may end the
// quotes, escape, or start a new line.
bool safeInScript(std::string_view proxy) {
    for (unsigned char c : proxy) {
        if (c < 0x20 || c == 0x7f || c == '"' || c == '\'' || c == '\\' || c == ';')
            return false;
    }
    return true;
}

std::vector<std::string> splitChain(std::string_view chain) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = chain.find(';', start);
        parts.emplace_back(platform::vbTrim(chain.substr(start, end - start)));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return parts;
}

// Fills the template: "$<number>" with a proxy of that number where there is
// one. Other "$" signs stay as they are.
std::string fillPlaceholders(std::string_view script, const std::vector<std::string>& parts) {
    std::string out;
    out.reserve(script.size() + 64);
    std::size_t i = 0;
    while (i < script.size()) {
        if (script[i] == '$' && i + 1 < script.size() &&
            std::isdigit(static_cast<unsigned char>(script[i + 1]))) {
            std::size_t j = i + 1;
            while (j < script.size() && std::isdigit(static_cast<unsigned char>(script[j])) &&
                   j - i <= 3)
                ++j;
            const auto number = std::stoul(std::string(script.substr(i + 1, j - i - 1)));
            if (number < parts.size() && !parts[number].empty()) {
                out += parts[number];
                i = j;
                continue;
            }
        }
        out += script[i++];
    }
    return out;
}

// Removes the clause of a placeholder that received no proxy. The clause
// must end right after its number, so "$1" does not match "$12".
std::string removeClause(std::string script, int number) {
    return platform::vbReplace(std::move(script), "PROXY $" + std::to_string(number) + "; ", "");
}

}  // namespace

std::optional<std::string> buildProxyScript(std::string_view proxy,
                                            std::optional<std::string_view> chainTemplate) {
    const std::string_view trimmed = platform::vbTrim(proxy);
    if (trimmed.empty())
        return platform::vbReplace(std::string(kOneLine), "PROXY $", "DIRECT");
    if (trimmed.find(';') == std::string_view::npos) {
        if (!safeInScript(trimmed))
            return std::nullopt;
        return platform::vbReplace(std::string(kOneLine), "$", trimmed);
    }
    if (!chainTemplate)
        return std::nullopt;
    const auto parts = splitChain(trimmed);
    bool any = false;
    for (const auto& part : parts) {
        if (!safeInScript(part))
            return std::nullopt;
        any = any || !part.empty();
    }
    if (!any)
        return std::nullopt;
    std::string script = fillPlaceholders(*chainTemplate, parts);
    for (int i = 0; i <= kLastChainClause; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index >= parts.size() || parts[index].empty())
            script = removeClause(std::move(script), i);
    }
    return script;
}

}  // namespace kx::anonymity
