#pragma once
// Registry values in one call each, for the arrange and check steps of tests:
// a value written with the key made on the way, the bytes a value holds, and
// whether a key is there. The code under test keeps making its own calls.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/registry.hpp"

namespace kx::test {

/// Makes the key (and its parents) and writes the value's bytes as they are;
/// answers the first status that is not success.
inline platform::LONG putValue(platform::Registry& reg, platform::HKEY root, std::string_view path,
                               std::string_view name, std::string_view bytes,
                               platform::DWORD type = platform::REG_SZ) {
    platform::HKEY h = 0;
    if (const auto st = reg.RegCreateKeyExA(root, path, 0, {}, 0, platform::KEY_ALL_ACCESS, nullptr,
                                            &h, nullptr))
        return st;
    const auto st =
        reg.RegSetValueExA(h, name, 0, type, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           static_cast<platform::DWORD>(bytes.size()));
    reg.RegCloseKey(h);
    return st;
}

/// Makes the key and its parents.
inline platform::LONG createKey(platform::Registry& reg, platform::HKEY root,
                                std::string_view path) {
    platform::HKEY h = 0;
    const auto st =
        reg.RegCreateKeyExA(root, path, 0, {}, 0, platform::KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (st == 0)
        reg.RegCloseKey(h);
    return st;
}

/// The bytes a value holds, terminator and all; nothing when the key or the
/// value cannot be read.
inline std::optional<std::string> valueBytes(platform::Registry& reg, platform::HKEY root,
                                             std::string_view path, std::string_view name,
                                             platform::DWORD* type = nullptr) {
    platform::HKEY h = 0;
    if (reg.RegOpenKeyExA(root, path, 0, platform::KEY_READ, &h) != 0)
        return std::nullopt;
    platform::DWORD size = 0;
    std::optional<std::string> out;
    if (reg.RegQueryValueExA(h, name, nullptr, type, nullptr, &size) == 0) {
        std::string data(size, '\0');
        if (reg.RegQueryValueExA(h, name, nullptr, type,
                                 reinterpret_cast<std::uint8_t*>(data.data()), &size) == 0)
            out = data.substr(0, size);
    }
    reg.RegCloseKey(h);
    return out;
}

/// Deletes one value of an existing key.
inline platform::LONG deleteValue(platform::Registry& reg, platform::HKEY root,
                                  std::string_view path, std::string_view name) {
    platform::HKEY h = 0;
    if (const auto st = reg.RegOpenKeyExA(root, path, 0, platform::KEY_ALL_ACCESS, &h))
        return st;
    const auto st = reg.RegDeleteValueA(h, name);
    reg.RegCloseKey(h);
    return st;
}

inline bool keyExists(platform::Registry& reg, platform::HKEY root, std::string_view path) {
    platform::HKEY h = 0;
    if (reg.RegOpenKeyExA(root, path, 0, platform::KEY_READ, &h) != 0)
        return false;
    reg.RegCloseKey(h);
    return true;
}

}  // namespace kx::test
