// What the console host says about a command line: when it names no command,
// the word it did not know and the command the user most likely meant; and
// CLI11's own words (its help labels, its parse errors) in the user's
// language.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <numeric>

#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::host {

using platform::tr;
using platform::trf;
using platform::trMark;

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
        if (const auto guess = closestName(word, names))
            return trf("unbekannter Befehl '{1}' (meinten Sie '{2}'?)", {word, *guess});
        return trf("unbekannter Befehl '{1}' (siehe '{2} --help')", {word, commandPath(*level)});
    }
    return std::nullopt;
}

namespace {

// CLI11's words in its help: its labels and the names of its option and
// command groups.
constexpr struct {
    const char* label;
    std::string_view german;
} kHelpLabels[] = {
    {"Usage", trMark("Aufruf")},          {"OPTIONS", trMark("OPTIONEN")},
    {"SUBCOMMAND", trMark("BEFEHL")},     {"SUBCOMMANDS", trMark("BEFEHLE")},
    {"Positionals", trMark("Argumente")}, {"REQUIRED", trMark("PFLICHT")},
    {"Needs", trMark("braucht")},         {"Excludes", trMark("nicht mit")},
};

// CLI11's parse errors, as it writes them in English (the English text of
// each entry, its places standing for the names and values it fills in).
// The first that fits is taken.
constexpr std::string_view kParseErrors[] = {
    trMark("Es fehlt ein Befehl"),
    trMark("{1} fehlt"),
    trMark("{1}: Wert fehlt ({2} × {3} erwartet)"),
    trMark("Ungültiger Wert für {1}: {2}"),
    trMark("Unerwartetes Argument: {1}"),
    trMark("Unerwartete Argumente: {1}"),
    trMark("{1}: {2} ist keiner der Werte {3}"),
    trMark("{1} und {2} schließen einander aus"),
    trMark("{1} geht nur zusammen mit {2}"),
    trMark("Genau {1} Argumente für {2} erwartet, {3} erhalten"),
    trMark("Mindestens {1} Argumente für {2} erwartet, {3} erhalten"),
    trMark("{1}: mindestens {2} erwartet, {3} erhalten"),
    trMark("{1}: höchstens {2} erwartet, {3} erhalten"),
    trMark("{1}: zu viele Werte für einen Schalter"),
    trMark("{1}: erwartet true/false oder eine Zahl"),
    trMark("Der Wert {1} ist für {2} nicht zulässig"),
    trMark("Mindestens {1} Befehle erforderlich"),
};

// Whether `text` is `pattern` with each place "{n}" standing for some text;
// the texts it stood for go to `filled` by the place's number.
bool fits(std::string_view text, std::string_view pattern, std::vector<std::string>& filled) {
    const auto open = pattern.find('{');
    const auto close = pattern.find('}', open);
    if (open == std::string_view::npos || close == std::string_view::npos)
        return text == pattern;
    if (!text.starts_with(pattern.substr(0, open)))
        return false;
    const auto place = static_cast<std::size_t>(std::stoul(std::string(pattern.substr(open + 1))));
    if (place == 0 || place > 9)
        return false;
    if (filled.size() < place)
        filled.resize(place);
    const auto rest = pattern.substr(close + 1);
    // The shortest text that lets the rest fit: names come before the words
    // after them.
    for (std::size_t length = 1; open + length <= text.size(); ++length) {
        filled[place - 1] = std::string(text.substr(open, length));
        if (fits(text.substr(open + length), rest, filled))
            return true;
    }
    return false;
}

// The group names and the help flag's text of `app` and every command below it.
void translateGroups(CLI::App& app) {
    for (auto* option : app.get_options()) {
        if (option->get_group() == "Options")
            option->group(std::string(tr("Optionen")));
    }
    if (auto* help = app.get_help_ptr() ? app.get_option("--help") : nullptr)
        help->description(std::string(tr("diese Hilfe zeigen und beenden")));
    for (auto* command : app.get_subcommands([](CLI::App*) { return true; })) {
        if (command->get_group() == "Subcommands")
            command->group(std::string(tr("Befehle")));
        translateGroups(*command);
    }
}

}  // namespace

void speakUserLanguage(CLI::App& app) {
    auto formatter = app.get_formatter();
    for (const auto& [label, german] : kHelpLabels)
        formatter->label(label, std::string(tr(german)));
    translateGroups(app);
}

std::string parseErrorText(const CLI::ParseError& error) {
    const std::string_view said = error.what();
    for (const auto german : kParseErrors) {
        const auto english = platform::translate(german, platform::Language::English);
        std::vector<std::string> filled;
        if (!fits(said, english, filled))
            continue;
        filled.resize(3);
        return trf(german, {filled[0], filled[1], filled[2]});
    }
    // A message the table does not know is shown as CLI11 wrote it to those
    // who read English, and as a plain sentence to everyone else.
    if (platform::userLanguage() == platform::Language::English)
        return std::string(said);
    return std::string(tr("Die Befehlszeile ist fehlerhaft"));
}

}  // namespace kx::host
