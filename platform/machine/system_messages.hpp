#pragma once
// FormatMessageA for the system's own message table: the texts of the
// Win32 error codes the machine's services answer, in the user's language.
#include <cstdint>

#include "platform/registry/registry.hpp"

namespace kx::platform {

inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;

/// Copies the system's text of `messageId` (ended by CR LF, as Windows ends
/// its texts) into `buffer`, cut to `size` - 1 characters and NUL-ended.
/// Answers the number of characters copied; 0 when FORMAT_MESSAGE_FROM_SYSTEM
/// is not set, the buffer is null or empty, or the table has no such text.
/// `source`, `languageId` and `arguments` are not used.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char* buffer, DWORD size, void* arguments);

}  // namespace kx::platform
