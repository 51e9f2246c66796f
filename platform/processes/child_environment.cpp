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

std::vector<std::string> childEnvironment(std::uint16_t showWindow) {
    std::vector<std::pair<std::string, std::string>> overrides;
    if (hasCurrentMachine()) {
        std::error_code ec;
        auto prefix = fs::absolute(currentMachine().prefix(), ec);
        overrides.emplace_back("KOLVANEX_PREFIX",
                               (ec ? currentMachine().prefix() : prefix).string());
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
