#include "settings/registry_access.hpp"

#include <algorithm>

#include "core/shared_state.hpp"
#include "platform/machine/machine.hpp"
#include "platform/registry/registry_key.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"
#include "settings/cregistry.hpp"

namespace kx::settings {
namespace {

using namespace kx::platform;

// Access masks the component asks for.
constexpr DWORD kDeleteTree = 0x10008;  // DELETE | KEY_ENUMERATE_SUB_KEYS

Registry& registry() {
    return currentMachine().registry();
}

Long writeValue(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
                std::string_view bytes, CreateKey create) {
    auto& reg = registry();
    HKEY raw = 0;
    Long status = reg.RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, &raw);
    if (status != ERROR_SUCCESS &&
        (create == CreateKey::OnAnyFailure || status == ERROR_FILE_NOT_FOUND)) {
        raw = 0;
        status = reg.RegCreateKeyExA(root, keyPath, 0, "", REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                     nullptr, &raw, nullptr);
    }
    if (status != ERROR_SUCCESS)
        return status;
    RegKey key(reg, raw);
    status = reg.RegSetValueExA(key.get(), valueName, 0, type,
                                reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                static_cast<DWORD>(bytes.size()));
    return status;
}

}  // namespace

Long writeRegistryLong(HKEY root, std::string_view keyPath, std::string_view valueName, Long value,
                       CreateKey create) {
    const auto u = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                           static_cast<char>((u >> 16) & 0xFF), static_cast<char>(u >> 24)};
    return writeValue(root, keyPath, valueName, REG_DWORD, std::string_view(bytes, 4), create);
}

Long writeRegistryString(HKEY root, std::string_view keyPath, std::string_view valueName,
                         std::string_view value, CreateKey create) {
    return writeValue(root, keyPath, valueName, REG_SZ, vbTrim(value), create);
}

Long queryRegistryLong(HKEY root, std::string_view keyPath, std::string_view valueName,
                       Long& value) {
    value = 0;
    auto& reg = registry();
    HKEY raw = 0;
    Long status = reg.RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &raw);
    if (status != ERROR_SUCCESS)
        return status;
    RegKey key(reg, raw);
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    DWORD size = 4;
    DWORD type = 0;
    status = reg.RegQueryValueExA(key.get(), valueName, nullptr, &type, bytes, &size);
    if (status == ERROR_SUCCESS) {
        value = static_cast<Long>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                  (static_cast<std::uint32_t>(bytes[3]) << 24));
    }
    return status;
}

Long queryRegistryString(HKEY root, std::string_view keyPath, std::string_view valueName,
                         std::string& value, bool raw) {
    value.clear();
    auto& reg = registry();
    HKEY rawKey = 0;
    Long status = reg.RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &rawKey);
    if (status != ERROR_SUCCESS)
        return status;
    RegKey key(reg, rawKey);
    DWORD size = 0;
    DWORD type = 0;
    status = reg.RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    std::string buffer(size, '\0');
    status = reg.RegQueryValueExA(key.get(), valueName, nullptr, &type,
                                  reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS)
        return status;
    buffer.resize(std::min<std::size_t>(size, buffer.size()));
    if (raw) {
        value = std::move(buffer);
    } else {
        std::erase(buffer, '\0');
        value = std::string(vbTrim(buffer));
    }
    return status;
}

Long deleteRegistryValue(HKEY root, std::string_view keyPath, std::string_view valueName) {
    auto& reg = registry();
    HKEY raw = 0;
    const Long status = reg.RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, &raw);
    if (status != ERROR_SUCCESS)
        return status;
    RegKey key(reg, raw);
    return reg.RegDeleteValueA(key.get(), valueName);
}

Long deleteRegistryTree(HKEY root, std::string_view keyPath) {
    auto& reg = registry();
    HKEY raw = 0;
    Long status = reg.RegOpenKeyExA(root, keyPath, 0, kDeleteTree, &raw);
    if (status != ERROR_SUCCESS)
        return status;
    RegKey key(reg, raw);
    while (true) {
        char name[260];
        DWORD size = sizeof name;
        status = reg.RegEnumKeyExA(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            status = reg.RegDeleteKeyA(key.get(), "");
            break;
        }
        if (status != ERROR_SUCCESS)
            break;
        status = deleteRegistryTree(root, std::string(keyPath) + "\\" + std::string(name, size));
        if (status != ERROR_SUCCESS)
            break;
    }
    return status;
}

std::string RegFailMsg() {
    return std::string(
        platform::tr("Fehler beim Schreiben in die Registry! Sie müssen über Admistrator-Rechte um "
                     "Einträge in der Registry schreiben zu können"));
}

void AutoStart(bool autoStart, std::string_view sCommandLine, std::string_view sKeyName) {
    CRegistry run;
    run.Company = "Microsoft";
    run.ProductName = "Windows\\CurrentVersion\\Run";
    if (autoStart) {
        const Long status = run.WriteUserInformationString("", sKeyName, sCommandLine, false);
        if (status != ERROR_SUCCESS) {
            ui::dialogs().messageBox(RegFailMsg() + "\rError: " + std::to_string(status),
                                     shared().applicationTitle,
                                     ui::MB_SYSTEMMODAL | ui::MB_ICONINFORMATION);
        }
    } else {
        run.DeleteUserInformationValue("", sKeyName);
    }
}

bool GetNoOptions() {
    CRegistry product;
    product.ProductName = "Kolvanex";
    Long value = 0;
    product.QueryMachineInformationLong("", "HideOptions", value);
    return value == 1;
}

}  // namespace kx::settings
