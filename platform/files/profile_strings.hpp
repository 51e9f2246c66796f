#pragma once
// The private-profile calls of Windows over the machine's files:
// GetPrivateProfileStringA and WritePrivateProfileStringA with the
// signatures and answers of their Win32 originals, and the file replacement
// that writing settings files needs (a new file beside the old one, renamed
// over it, so a browser never finds its settings half-written).
//
// Profile semantics kept from Windows:
// - section and key names compare without regard to case; of duplicate
//   sections only the first counts, for reading and for writing;
// - a value is trimmed of blanks, and one pair of enclosing quotes (single
//   or double) is dropped;
// - a file name without a "\" lives in the Windows folder (C:\WINDOWS);
// - a missing file reads as empty and is created by the first write.
#include <cstdint>
#include <string_view>

#include "platform/machine/machine.hpp"

namespace kx::platform {

/// Copies the value of `keyName` in `appName` into `returned` (NUL-ended),
/// or the default (null reads as "", trailing blanks dropped) when there is
/// none. A null `appName` lists the section names, a null `keyName` the key
/// names of the section, each NUL-ended and the list ended by a second NUL.
/// Answers the number of characters copied without the final NUL: nSize - 1
/// when a value was cut to fit, nSize - 2 when a list was cut.
std::uint32_t GetPrivateProfileStringA(const char* appName, const char* keyName,
                                       const char* defaultValue, char* returned,
                                       std::uint32_t nSize, const char* fileName);

/// Sets `keyName` = `value` in `appName`, adding the section and the key when
/// absent. A null `value` removes the key, a null `keyName` the section. With
/// a null `appName` nothing is written and the answer is 0, as Windows
/// answers after flushing its cache. Answers nonzero on success; 0 when the
/// file cannot be read or written (a read-only file, a missing folder).
int WritePrivateProfileStringA(const char* appName, const char* keyName, const char* value,
                               const char* fileName);

/// Replaces the whole content of a file of the machine: the bytes go to a
/// new file beside it, which is then renamed over the old one. The new file
/// is written without following links on the way; a read-only file is
/// refused, as Windows refuses to open it for writing. False on any failure,
/// and the old file is then left as it was.
bool replaceFileText(Machine& machine, std::string_view windowsPath, std::string_view text);
inline bool replaceFileText(std::string_view windowsPath, std::string_view text) {
    return replaceFileText(currentMachine(), windowsPath, text);
}

}  // namespace kx::platform
