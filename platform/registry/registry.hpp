#pragma once
// The registry of a machine, with the calling conventions and status codes of
// the Win32 registry functions. Kept in one SQLite database per machine prefix
// so that companion programs in other processes see the same keys.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kx::platform {

using HKEY = std::uint32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_OUTOFMEMORY = 14;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BUSY = 170;  // another process held the database too long
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD DELETE_ACCESS = 0x10000;  // DELETE

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

/// Who is asking: writes below HKEY_LOCAL_MACHINE, HKEY_USERS and
/// HKEY_CLASSES_ROOT answer ERROR_ACCESS_DENIED for a user who is not an
/// administrator, as they do for a restricted Windows user.
struct RegistryPolicy {
    bool administrator = true;
};

/// One process's view of a machine's registry. Handles are valid only in the
/// object that returned them. Key and value names compare without regard to
/// case (Latin-1 letters included); empty path segments ("a\\\\b", a leading or
/// trailing "\\") are skipped. Write access (KEY_SET_VALUE, KEY_CREATE_SUB_KEY,
/// DELETE) to a read-only key, or to a machine root without administrator
/// rights, is refused with ERROR_ACCESS_DENIED when the key is opened or created.
/// Several processes may use the same database at once.
///
/// A read-only key refuses changes to its values, new subkeys directly below it
/// and its own deletion, at once, also through handles opened before it was
/// marked. Writes through a handle answer ERROR_ACCESS_DENIED unless it was
/// opened with KEY_SET_VALUE; new subkeys need KEY_CREATE_SUB_KEY on the handle
/// they are created below. Database failures answer ERROR_BADDB (ERROR_BUSY when
/// another process kept the database locked past the time-out) and change nothing.
class Registry {
  public:
    /// Opens (creating when absent) the database file. Throws std::runtime_error
    /// when the file cannot be opened as a registry database.
    static std::unique_ptr<Registry> open(const std::filesystem::path& dbFile,
                                          RegistryPolicy policy = {});
    virtual ~Registry() = default;

    virtual LONG RegOpenKeyExA(HKEY hKey, std::string_view subKey, DWORD options, DWORD samDesired,
                               HKEY* phkResult) = 0;
    /// Creates every missing key of the path. `disposition` may be null.
    virtual LONG RegCreateKeyExA(HKEY hKey, std::string_view subKey, DWORD reserved,
                                 std::string_view className, DWORD options, DWORD samDesired,
                                 const void* security, HKEY* phkResult, DWORD* disposition) = 0;
    /// Win32 rules: `type` and `cbData` may be null; `data` null asks for the
    /// size only (answers 0 and the size); a buffer too small answers
    /// ERROR_MORE_DATA with the needed size in *cbData. An empty value name is
    /// the key's default value. REG_SZ data is stored with the bytes given.
    virtual LONG RegQueryValueExA(HKEY hKey, std::string_view valueName, DWORD* reserved,
                                  DWORD* type, std::uint8_t* data, DWORD* cbData) = 0;
    virtual LONG RegSetValueExA(HKEY hKey, std::string_view valueName, DWORD reserved, DWORD type,
                                const std::uint8_t* data, DWORD cbData) = 0;
    virtual LONG RegDeleteValueA(HKEY hKey, std::string_view valueName) = 0;
    /// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some);
    /// an empty subKey deletes the key the handle names.
    virtual LONG RegDeleteKeyA(HKEY hKey, std::string_view subKey) = 0;
    /// Subkeys in name order. `name` receives the name and a NUL when *cchName
    /// (capacity in characters) suffices, else ERROR_MORE_DATA.
    virtual LONG RegEnumKeyExA(HKEY hKey, DWORD index, char* name, DWORD* cchName, DWORD* reserved,
                               char* className, DWORD* cchClass, void* lastWriteTime) = 0;
    /// Values in name order, with the same buffer rules as RegQueryValueExA.
    virtual LONG RegEnumValueA(HKEY hKey, DWORD index, char* valueName, DWORD* cchValueName,
                               DWORD* reserved, DWORD* type, std::uint8_t* data, DWORD* cbData) = 0;
    virtual LONG RegCloseKey(HKEY hKey) = 0;

    /// Marks a key read-only (or writable again), as an administrator's ACL
    /// would; answers 2 when the key does not exist. Not a Win32 call.
    virtual LONG setKeyReadOnly(HKEY root, std::string_view subKey, bool readOnly) = 0;

    /// Runs `work` in one transaction: either all its writes land or none.
    /// `work` answers a status; a non-zero status rolls back.
    virtual LONG transaction(const std::function<LONG()>& work) = 0;
};

/// Deletes a key with all its subkeys and values, in one transaction: either the
/// whole tree goes or nothing does (ERROR_ACCESS_DENIED when any key of it may
/// not be deleted). Unlike Win32's RegDeleteTree the key itself goes too.
LONG deleteKeyTree(Registry& registry, HKEY hKey, std::string_view subKey);

/// Answers the root handle for "HKEY_CURRENT_USER", "HKCU", ... (any case), or 0.
HKEY rootFromName(std::string_view name);
/// "HKEY_CURRENT_USER" and so on; "" for a handle that is not a root.
std::string_view rootName(HKEY root);

}  // namespace kx::platform
