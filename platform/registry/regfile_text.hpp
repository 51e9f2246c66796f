#pragma once
// What .reg import and export share: the headers of the two formats and the
// text conversions between the engine's UTF-8 and the files' encodings.
//
// The engine keeps registry text as UTF-8. REGEDIT4 files are Windows-1252
// throughout, including the bytes of hex(1)/hex(2)/hex(7) data. Version 5
// files are UTF-16LE and so is string data in hex form. Bytes that are not
// valid UTF-8 travel through UTF-16 as the lone surrogates U+DC80..U+DCFF,
// so that an export of such data imports back unchanged.
#include <string>
#include <string_view>

#include "platform/registry/registry.hpp"

namespace kx::platform::detail {

inline constexpr std::string_view kHeader4 = "REGEDIT4";
inline constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kNewline = "\r\n";

bool isStringType(DWORD type);
std::string utf8ToUtf16le(std::string_view s);
std::string utf16leToUtf8(std::string_view bytes);
/// Text that survives the trip to Windows-1252 and back unchanged.
bool fitsCp1252(std::string_view s);
/// A status as the messages of import and export name it.
std::string describe(LONG status);

}  // namespace kx::platform::detail
