#include "settings/settings_store.hpp"

#include <optional>

#include "core/shared_state.hpp"
#include "platform/machine/machine.hpp"
#include "platform/registry/registry_key.hpp"

namespace kx::settings {
namespace {

using namespace kx::platform;

std::string sectionPath(std::string_view application, std::string_view section) {
    std::string path(kStoreRoot);
    path += '\\';
    path += application;
    if (!section.empty()) {
        path += '\\';
        path += section;
    }
    return path;
}

std::string enumName(Registry& registry, HKEY key, DWORD index, bool values, LONG& status) {
    std::string name(1024, '\0');
    DWORD size = static_cast<DWORD>(name.size());
    status = values ? registry.RegEnumValueA(key, index, name.data(), &size, nullptr, nullptr,
                                             nullptr, nullptr)
                    : registry.RegEnumKeyExA(key, index, name.data(), &size, nullptr, nullptr,
                                             nullptr, nullptr);
    name.resize(status == ERROR_SUCCESS ? size : 0);
    return name;
}

std::optional<std::string> readText(Registry& registry, HKEY key, std::string_view name) {
    DWORD type = 0;
    DWORD size = 0;
    if (registry.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::string text(size, '\0');
    if (registry.RegQueryValueExA(key, name, nullptr, &type,
                                  reinterpret_cast<std::uint8_t*>(text.data()),
                                  &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return std::nullopt;
    text.resize(size);
    // The stored text ends at its terminator.
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

}  // namespace

std::string applicationName() {
    return shared().applicationTitle;
}

std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view defaultValue) {
    auto& registry = currentMachine().registry();
    HKEY raw = 0;
    if (registry.RegOpenKeyExA(HKEY_CURRENT_USER, sectionPath(application, section), 0,
                               KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) {
        return std::string(defaultValue);
    }
    const RegKey open(registry, raw);
    return readText(registry, open.get(), key).value_or(std::string(defaultValue));
}

bool SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                 std::string_view value) {
    auto& registry = currentMachine().registry();
    HKEY raw = 0;
    if (registry.RegCreateKeyExA(HKEY_CURRENT_USER, sectionPath(application, section), 0, "",
                                 REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &raw,
                                 nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const RegKey open(registry, raw);
    std::string data(value);
    data.push_back('\0');
    return registry.RegSetValueExA(open.get(), key, 0, REG_SZ,
                                   reinterpret_cast<const std::uint8_t*>(data.data()),
                                   static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

void DeleteSetting(std::string_view application, std::string_view section, std::string_view key) {
    auto& registry = currentMachine().registry();
    HKEY raw = 0;
    if (key.empty()) {
        // A section holds values only, so the key itself can go.
        registry.RegDeleteKeyA(HKEY_CURRENT_USER, sectionPath(application, section));
        return;
    }
    if (registry.RegOpenKeyExA(HKEY_CURRENT_USER, sectionPath(application, section), 0,
                               KEY_SET_VALUE, &raw) != ERROR_SUCCESS) {
        return;
    }
    const RegKey open(registry, raw);
    registry.RegDeleteValueA(open.get(), key);
}

std::vector<std::pair<std::string, std::string>> GetAllSettings(std::string_view application,
                                                                std::string_view section) {
    std::vector<std::pair<std::string, std::string>> all;
    auto& registry = currentMachine().registry();
    HKEY raw = 0;
    if (registry.RegOpenKeyExA(HKEY_CURRENT_USER, sectionPath(application, section), 0, KEY_READ,
                               &raw) != ERROR_SUCCESS) {
        return all;
    }
    const RegKey open(registry, raw);
    LONG status = ERROR_SUCCESS;
    for (DWORD i = 0;; ++i) {
        auto name = enumName(registry, open.get(), i, true, status);
        if (status != ERROR_SUCCESS)
            break;
        if (auto text = readText(registry, open.get(), name)) {
            all.emplace_back(std::move(name), std::move(*text));
        }
    }
    return all;
}

std::vector<std::string> GetSections(std::string_view application) {
    std::vector<std::string> sections;
    auto& registry = currentMachine().registry();
    HKEY raw = 0;
    if (registry.RegOpenKeyExA(HKEY_CURRENT_USER, sectionPath(application, {}), 0, KEY_READ,
                               &raw) != ERROR_SUCCESS) {
        return sections;
    }
    const RegKey open(registry, raw);
    LONG status = ERROR_SUCCESS;
    for (DWORD i = 0;; ++i) {
        auto name = enumName(registry, open.get(), i, false, status);
        if (status != ERROR_SUCCESS)
            break;
        sections.push_back(std::move(name));
    }
    return sections;
}

}  // namespace kx::settings
