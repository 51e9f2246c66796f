// What the console host says when a command line names no command: the word
// it did not know and the command the user most likely meant.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <numeric>

#include "hosts/kolvanex/host.hpp"

namespace kx::host {
namespace {

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0U : 1U)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Whether the word after `option` is its value rather than a command.
bool takesValue(const CLI::App& level, const std::string& option) {
    if (option.find('=') != std::string::npos)
        return false;
    for (const CLI::App* app = &level; app != nullptr; app = app->get_parent()) {
        const auto* found = app->get_option_no_throw(option);
        if (found != nullptr)
            return found->get_items_expected_min() > 0;
    }
    return false;
}

// "kolvanex settings" for the settings command.
std::string commandPath(const CLI::App& level) {
    std::string path;
    for (const CLI::App* app = &level; app->get_parent() != nullptr; app = app->get_parent())
        path = " " + app->get_name() + path;
    return "kolvanex" + path;
}

}  // namespace

std::optional<std::string> closestName(std::string_view word,
                                       const std::vector<std::string>& names) {
    std::optional<std::string> best;
    std::size_t bestDistance = 0;
    for (const auto& name : names) {
        const auto distance = editDistance(word, name);
        if (!best || distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    // Two slips at most, and never most of the word.
    if (!best || bestDistance > 2 || bestDistance * 2 >= std::max(word.size(), best->size()))
        return std::nullopt;
    return best;
}

std::optional<std::string> unknownCommand(const CLI::App& app, int argc, char** argv) {
    const CLI::App* level = &app;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.starts_with("-")) {
            if (takesValue(*level, word))
                ++i;
            continue;
        }
        const auto subcommands = level->get_subcommands([](const CLI::App*) { return true; });
        if (subcommands.empty() || level->get_prefix_command())
            return std::nullopt;  // the word is an argument of the command
        const auto known = std::find_if(subcommands.begin(), subcommands.end(),
                                        [&](const CLI::App* sub) { return sub->check_name(word); });
        if (known != subcommands.end()) {
            level = *known;
            continue;
        }
        // A command with arguments of its own beside its sub-commands takes the word.
        if (!level->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty())
            return std::nullopt;
        std::vector<std::string> names;
        for (const auto* sub : subcommands) names.push_back(sub->get_name());
        std::string line = "unknown command '" + word + "'";
        if (const auto guess = closestName(word, names))
            line += " (did you mean '" + *guess + "'?)";
        else
            line += " (see '" + commandPath(*level) + " --help')";
        return line;
    }
    return std::nullopt;
}

}  // namespace kx::host
