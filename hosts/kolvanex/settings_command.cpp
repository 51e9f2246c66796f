// `kolvanex settings list|get|set`: the component's settings under the
// application title.
#include <iostream>

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

}  // namespace kx::host
