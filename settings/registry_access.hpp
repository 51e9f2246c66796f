#pragma once
// Reading and writing registry values the way the whole component does: each
// call opens the key, acts and closes it, and answers the status of its last
// registry call (0 success, 2 not found, 5 access denied, 259 no more items).
#include <cstdint>
#include <string>
#include <string_view>

#include "core/automation.hpp"
#include "platform/registry/registry.hpp"

namespace kx::settings {

using platform::HKEY;

/// When a write creates the key it could not open.
enum class CreateKey {
    OnAnyFailure,  // whatever the open answered
    OnNotFound,    // only when the open answered 2; a denial stays a denial
};

/// Writes a REG_DWORD of 4 bytes.
Long writeRegistryLong(HKEY root, std::string_view keyPath, std::string_view valueName, Long value,
                       CreateKey create);

/// Writes a REG_SZ of the text trimmed of blanks at both ends; the byte
/// count is the trimmed text's length (no terminator).
Long writeRegistryString(HKEY root, std::string_view keyPath, std::string_view valueName,
                         std::string_view value, CreateKey create);

/// Reads 4 bytes; `value` is 0 unless the read succeeds.
Long queryRegistryLong(HKEY root, std::string_view keyPath, std::string_view valueName,
                       Long& value);

/// Reads a text value. Cleaned: every NUL removed and blanks trimmed. Raw:
/// all bytes the value holds, its terminator and embedded NULs included.
Long queryRegistryString(HKEY root, std::string_view keyPath, std::string_view valueName,
                         std::string& value, bool raw = false);

Long deleteRegistryValue(HKEY root, std::string_view keyPath, std::string_view valueName);

/// Deletes the key with everything below it; 2 when it does not exist.
Long deleteRegistryTree(HKEY root, std::string_view keyPath);

/// The message shown when a registry write fails.
std::string RegFailMsg();

/// Adds (AutoStart true) or removes the start-with-Windows entry sKeyName of
/// the current user. A failed add is reported in a message box.
void AutoStart(bool autoStart, std::string_view sCommandLine, std::string_view sKeyName);

/// Whether the machine-wide switch "HideOptions" of the product is 1.
bool GetNoOptions();

}  // namespace kx::settings
