#pragma once
// .reg files, as regedit.exe reads and writes them, on top of the Registry API.
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/registry/registry.hpp"

namespace kx::platform {

struct RegFileResult {
    LONG status = ERROR_SUCCESS;
    std::string error;  // "line 7: ..." for a bad file; empty on success
};

enum class RegFileFormat {
    Regedit4,  // "REGEDIT4": Windows-1252 text, string data in Windows-1252
    Version5,  // "Windows Registry Editor Version 5.00": UTF-16LE with BOM
};

/// Imports a .reg file: REGEDIT4 (Windows-1252) or Version 5.00 (UTF-16LE with
/// BOM, or UTF-8). The whole file is checked before anything is written and
/// then applied in one transaction, so a bad file (ERROR_BADDB, the error naming
/// the line) or a refused write (ERROR_ACCESS_DENIED) leaves the registry as it was.
RegFileResult importRegFile(Registry& registry, const std::filesystem::path& file);
RegFileResult importRegText(Registry& registry, std::string_view bytes);

/// Exports a key and everything below it. Importing the result into an empty
/// registry gives back every key and value byte for byte. REGEDIT4 cannot hold
/// text outside Windows-1252; such a key or value fails the export (87) rather
/// than being written with '?'. The file is replaced only when the export succeeds.
RegFileResult exportRegFile(Registry& registry, HKEY root, std::string_view subKey,
                            const std::filesystem::path& file, RegFileFormat format);
std::expected<std::string, RegFileResult> exportRegText(Registry& registry, HKEY root,
                                                        std::string_view subKey,
                                                        RegFileFormat format);

}  // namespace kx::platform
