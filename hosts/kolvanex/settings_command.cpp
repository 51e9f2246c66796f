// `kolvanex settings list|get|set|reset`: the component's settings under the
// application title. A key is named by its section and name ("Options
// DeleteN"); set takes only the values the key allows, as the settings
// dialog does.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "settings/key_info.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"

namespace kx::host {
namespace {

using platform::tr;
using platform::trf;

std::string stored(const settings::SettingKey& key) {
    // A marker no stored text can be: the store answers the default only when
    // the key is absent.
    const std::string absent("\x01");
    return settings::GetSetting(settings::applicationName(), key.section, key.name, absent);
}

const settings::SettingKey& knownKey(const std::string& section, const std::string& key) {
    const auto* known = settings::findKey(section, key);
    if (known == nullptr)
        throw UsageError(
            trf("unbekannte Einstellung '{1}\\{2}' ('kolvanex settings list' nennt "
                "jeden Schlüssel)",
                {section, key}));
    return *known;
}

}  // namespace

int runSettingsList(const GlobalOptions& options, const std::optional<std::string>& section) {
    Session session(options, true);
    for (const auto* key : settings::allKeys()) {
        if (section && !platform::winEqualNoCase(*section, key->section))
            continue;
        const auto value = stored(*key);
        const std::string shown =
            value == "\x01"
                ? trf("{1} (Vorgabe)", {settings::defaultFor(*key, settings::Reader::Dialog)})
                : value;
        const std::string name = std::string(key->section) + "\\" + std::string(key->name);
        std::printf("%-40s %-22s %s\n", (name + "=" + shown).c_str(),
                    settings::valuesOf(*key).c_str(),
                    std::string(tr(settings::infoOf(*key).description)).c_str());
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
    const auto& known = knownKey(section, key);
    if (const auto why = settings::refusal(known, value))
        throw UsageError(*why);
    Session session(options, true);
    if (!settings::SaveSetting(settings::applicationName(), known.section, known.name, value)) {
        std::cerr << "kolvanex: " << tr("der Einstellungsspeicher hat das Schreiben abgelehnt")
                  << "\n";
        return kExitFailed;
    }
    return 0;
}

namespace {

int runSettingsReset(const GlobalOptions& options, const std::string& section,
                     const std::string& key) {
    const auto& known = knownKey(section, key);
    Session session(options, true);
    settings::DeleteSetting(settings::applicationName(), known.section, known.name);
    return 0;
}

}  // namespace

void addSettingsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* settings =
        app.add_subcommand("settings", std::string(tr("was die Suite reinigt und wie sie löscht")));
    settings->require_subcommand(1);
    const std::string example(tr("Beispiel:\n"));
    settings->footer(example + "  kolvanex settings set Options DeleteN 7");
    auto listSection = std::make_shared<std::optional<std::string>>();
    auto* list = settings->add_subcommand(
        "list", std::string(tr("jede Einstellung mit ihrem Wert, den Werten, die sie annimmt, und "
                               "ihrer Bedeutung")));
    list->add_option("--section", *listSection, std::string(tr("nur dieser Abschnitt")));
    list->footer(example + "  kolvanex settings list --section Options");
    list->callback(
        [&options, &exitCode, listSection] { exitCode = runSettingsList(options, *listSection); });
    struct Words {
        std::string section, key, value;
    };
    auto words = std::make_shared<Words>();
    auto* get = settings->add_subcommand(
        "get", std::string(tr("der Wert einer Einstellung (oder ihre Vorgabe)")));
    get->add_option("section", words->section)->required();
    get->add_option("key", words->key)->required();
    get->footer(example + "  kolvanex settings get Options Cookies");
    get->callback([&options, &exitCode, words] {
        exitCode = runSettingsGet(options, words->section, words->key);
    });
    auto* set = settings->add_subcommand(
        "set", std::string(tr("eine Einstellung ändern (nur auf einen Wert, den sie annimmt)")));
    set->add_option("section", words->section)->required();
    set->add_option("key", words->key)->required();
    set->add_option("value", words->value)->required();
    set->footer(example + "  kolvanex settings set Options Trashcan 1");
    set->callback([&options, &exitCode, words] {
        exitCode = runSettingsSet(options, words->section, words->key, words->value);
    });
    auto* reset = settings->add_subcommand(
        "reset", std::string(tr("einer Einstellung ihre Vorgabe zurückgeben")));
    reset->add_option("section", words->section)->required();
    reset->add_option("key", words->key)->required();
    reset->footer(example + "  kolvanex settings reset Options DeleteN");
    reset->callback([&options, &exitCode, words] {
        exitCode = runSettingsReset(options, words->section, words->key);
    });
}

}  // namespace kx::host
