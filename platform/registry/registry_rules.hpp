#pragma once
// The Win32 rules of the registry that do not depend on where keys are kept:
// the root keys, access masks, key paths and how answers fill callers' buffers.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.hpp"

namespace kx::platform::detail {

// Access bits that let a handle change something. KEY_CREATE_LINK, WRITE_DAC
// and WRITE_OWNER count as well, because an ACL that refuses writes refuses them.
inline constexpr DWORD kKeyCreateLink = 0x0020;
inline constexpr DWORD kWriteDac = 0x40000;
inline constexpr DWORD kWriteOwner = 0x80000;
inline constexpr DWORD kWriteAccess =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kKeyCreateLink | DELETE_ACCESS | kWriteDac | kWriteOwner;
inline constexpr DWORD kMaximumAllowed = 0x02000000u;

// A key name (one path segment) longer than this is refused on creation, as Win32 does.
inline constexpr std::size_t kMaxKeyNameChars = 255;
// Win32 trees end at 512 levels. Keeping to that also bounds the recursion of
// whoever walks a tree (export, deleteKeyTree), whatever a .reg file asks for.
inline constexpr std::int64_t kMaxDepth = 512;

inline constexpr std::array<HKEY, 4> kRoots = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
                                               HKEY_LOCAL_MACHINE, HKEY_USERS};
inline constexpr std::array<std::string_view, 4> kRootNames = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

inline bool isRoot(HKEY h) {
    return h >= HKEY_CLASSES_ROOT && h <= HKEY_USERS;
}
// Root keys have the row ids 1..4 in root-handle order.
inline std::int64_t rootId(HKEY h) {
    return static_cast<std::int64_t>(h - HKEY_CLASSES_ROOT) + 1;
}

/// GENERIC_READ/WRITE/EXECUTE/ALL turned into the key rights they stand for.
DWORD mapGenericAccess(DWORD sam);
/// The segments of a key path; empty segments are skipped.
std::vector<std::string_view> splitPath(std::string_view path);
/// Characters (code points) of a UTF-8 name.
std::size_t countChars(std::string_view text);
/// Copies a name into a caller's char buffer with Win32's capacity rules.
LONG putName(std::string_view name, char* buffer, DWORD* cch);
/// Enumerates subkey `index` of `key` into `name`, growing the buffer as needed.
LONG enumSubKey(Registry& reg, HKEY key, DWORD index, std::string& name);
/// Fills type/data/size the way RegQueryValueExA does.
LONG putData(DWORD storedType, std::string_view bytes, DWORD* type, std::uint8_t* data,
             DWORD* cbData);

}  // namespace kx::platform::detail
