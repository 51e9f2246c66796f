#pragma once
// What the parts of the machine share inside this folder: the record in
// machine.ini, the lexical rules of Windows paths and the linked folders.
#include <cctype>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/ini.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx::platform::detail {

inline constexpr std::string_view kProfilesRoot = "C:\\Dokumente und Einstellungen";

/// A failure of the machine; `code` is the Win32 code a file call reports.
Error machineError(std::string message, std::uint32_t code = 3);

bool pathExists(const std::filesystem::path& p);

// ---- machine.ini ---------------------------------------------------------

/// Reads the record, taking what the file lacks from `fallback`.
MachineConfig configFromIni(const IniFile& ini, const MachineConfig& fallback);
void configToIni(const MachineConfig& c, IniFile& ini);
std::expected<void, Error> validateConfig(const MachineConfig& c);

// ---- Windows paths -------------------------------------------------------

/// A name Windows could hold as one path component.
bool validComponent(std::string_view name);
bool isSeparator(char c);
/// The components of a path after its drive letter, as Windows normalises it
/// before it looks at the disk: "." skipped, ".." climbing one component.
std::expected<std::vector<std::string_view>, Error> lexicalParts(std::string_view path);

// ---- linked folders ------------------------------------------------------

/// The components of a linked folder's Windows path, without its drive.
std::vector<std::string_view> linkParts(const LinkedFolder& link);
std::size_t linkDepth(const LinkedFolder& link);
bool sameDrive(const LinkedFolder& link, char letter);

/// True when `prefix` is the start of `parts`, compared as Windows compares names.
template <typename A, typename B>
bool startsWith(const std::vector<A>& parts, const std::vector<B>& prefix) {
    if (prefix.size() > parts.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!winEqualNoCase(parts[i], prefix[i]))
            return false;
    }
    return true;
}

/// The deepest linked folder a path lies in (or is), or null.
const LinkedFolder* linkOf(const MachineConfig& c, char letter,
                           const std::vector<std::string_view>& parts);

}  // namespace kx::platform::detail
