// Deleting a whole tree of keys through any registry.
#include <string>
#include <vector>

#include "platform/registry/registry_rules.hpp"

namespace kx::platform {
namespace detail {

LONG enumSubKey(Registry& reg, HKEY key, DWORD index, std::string& name) {
    std::vector<char> buffer(256);
    for (;;) {
        DWORD cch = static_cast<DWORD>(buffer.size());
        const LONG st =
            reg.RegEnumKeyExA(key, index, buffer.data(), &cch, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_MORE_DATA && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (st == ERROR_SUCCESS)
            name.assign(buffer.data(), cch);
        return st;
    }
}

}  // namespace detail

namespace {
using detail::enumSubKey;

LONG deleteTreeBody(Registry& reg, HKEY hKey, std::string_view subKey) {
    HKEY key = 0;
    LONG st = reg.RegOpenKeyExA(hKey, subKey, 0, KEY_READ | DELETE_ACCESS, &key);
    if (st != ERROR_SUCCESS)
        return st;
    std::string child;
    // Index 0 each time: every round removes the first subkey.
    while ((st = enumSubKey(reg, key, 0, child)) == ERROR_SUCCESS) {
        st = deleteTreeBody(reg, key, child);
        if (st != ERROR_SUCCESS)
            break;
    }
    reg.RegCloseKey(key);
    if (st != ERROR_NO_MORE_ITEMS)
        return st;
    return reg.RegDeleteKeyA(hKey, subKey);
}

}  // namespace

LONG deleteKeyTree(Registry& registry, HKEY hKey, std::string_view subKey) {
    return registry.transaction([&] { return deleteTreeBody(registry, hKey, subKey); });
}

}  // namespace kx::platform
