// `kolvanex settings list|get|set`: the component's settings under the
// application title.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/text.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"

namespace kx::host {
namespace {

std::string stored(const settings::SettingKey& key) {
    // A marker no stored text can be: the store answers the default only when
    // the key is absent.
    const std::string absent("\x01");
    return settings::GetSetting(settings::applicationName(), key.section, key.name, absent);
}

}  // namespace

int runSettingsList(const GlobalOptions& options, const std::optional<std::string>& section) {
    Session session(options, true);
    for (const auto* key : settings::allKeys()) {
        if (section && !platform::winEqualNoCase(*section, key->section))
            continue;
        const auto value = stored(*key);
        std::cout << key->section << "\\" << key->name << "=";
        if (value == "\x01") {
            std::cout << settings::defaultFor(*key, settings::Reader::Dialog) << " (default)";
        } else {
            std::cout << value;
        }
        std::cout << "\n";
    }
    return 0;
}

int runSettingsGet(const GlobalOptions& options, const std::string& section,
                   const std::string& key) {
    Session session(options, true);
    const auto* known = settings::findKey(section, key);
    const std::string fallback =
        known != nullptr ? settings::defaultFor(*known, settings::Reader::Dialog) : "";
    std::cout << settings::GetSetting(settings::applicationName(), section, key, fallback) << "\n";
    return 0;
}

int runSettingsSet(const GlobalOptions& options, const std::string& section, const std::string& key,
                   const std::string& value) {
    if (section.empty() || key.empty())
        throw UsageError("section and key must not be empty");
    if (section.find('\\') != std::string::npos) {
        throw UsageError("a section name cannot contain '\\': '" + section + "'");
    }
    Session session(options, true);
    if (!settings::SaveSetting(settings::applicationName(), section, key, value)) {
        std::cerr << "kolvanex: the settings store refused the write\n";
        return kExitFailed;
    }
    return 0;
}

void addSettingsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* settings = app.add_subcommand("settings", "the settings store");
    settings->require_subcommand(1);
    auto listSection = std::make_shared<std::optional<std::string>>();
    auto* list = settings->add_subcommand("list", "every known key with its value");
    list->add_option("--section", *listSection, "only this section");
    list->callback(
        [&options, &exitCode, listSection] { exitCode = runSettingsList(options, *listSection); });
    struct Words {
        std::string section, key, value;
    };
    auto words = std::make_shared<Words>();
    auto* get = settings->add_subcommand("get", "one key's value (or its default)");
    get->add_option("section", words->section)->required();
    get->add_option("key", words->key)->required();
    get->callback([&options, &exitCode, words] {
        exitCode = runSettingsGet(options, words->section, words->key);
    });
    auto* set = settings->add_subcommand("set", "write one key");
    set->add_option("section", words->section)->required();
    set->add_option("key", words->key)->required();
    set->add_option("value", words->value)->required();
    set->callback([&options, &exitCode, words] {
        exitCode = runSettingsSet(options, words->section, words->key, words->value);
    });
}

}  // namespace kx::host
