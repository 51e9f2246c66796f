// The environment a started program gets.
#include <algorithm>
#include <map>

#include "platform/machine/machine.hpp"
#include "platform/processes/process_table.hpp"

extern char** environ;

namespace kx::platform {
namespace fs = std::filesystem;

namespace {

// What the ChildEnvironmentScopes of this thread add.
thread_local std::vector<std::pair<std::string, std::string>> childVariables;

}  // namespace

namespace detail {

namespace {

constexpr std::string_view kStartMark = "KOLVANEX_STARTED_IN";

std::string absolutePrefix() {
    std::error_code ec;
    auto prefix = fs::absolute(currentMachine().prefix(), ec);
    return (ec ? currentMachine().prefix() : prefix).string();
}

}  // namespace

std::string machineStartMark() {
    return hasCurrentMachine() ? std::string(kStartMark) + "=" + absolutePrefix() : std::string();
}

std::vector<std::string> childEnvironment(std::uint16_t showWindow) {
    std::vector<std::pair<std::string, std::string>> overrides;
    if (hasCurrentMachine()) {
        overrides.emplace_back("KOLVANEX_PREFIX", absolutePrefix());
        // Set only here, unlike KOLVANEX_PREFIX, which a user may export in
        // a shell: it tells the programs of this machine from the user's own.
        overrides.emplace_back(kStartMark, absolutePrefix());
    }
    overrides.emplace_back("KOLVANEX_SHOW_WINDOW", std::to_string(showWindow));
    for (const auto& v : childVariables) overrides.push_back(v);
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const auto name = entry.substr(0, entry.find('='));
        const bool replaced = std::any_of(overrides.begin(), overrides.end(),
                                          [&](const auto& o) { return o.first == name; });
        if (!replaced)
            env.emplace_back(entry);
    }
    // Later overrides of the same name win.
    std::map<std::string, std::string> last;
    for (const auto& [name, value] : overrides) last[name] = value;
    for (const auto& [name, value] : last) env.push_back(name + "=" + value);
    return env;
}

}  // namespace detail

ChildEnvironmentScope::ChildEnvironmentScope(std::string name, std::string value) {
    childVariables.emplace_back(std::move(name), std::move(value));
}

ChildEnvironmentScope::~ChildEnvironmentScope() {
    childVariables.pop_back();
}

}  // namespace kx::platform
