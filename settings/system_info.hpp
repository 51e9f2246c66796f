#pragma once
// What the system is: the operating system's name.
#include <cstdint>
#include <string>

namespace kx::settings {

/// "Windows XP", "Windows 2000", "Windows NT", "Windows 98", "Windows 98 SE",
/// "Windows 95", "Windows ME", or "" for anything else.
std::string Betriebssystem();

/// The same decision on a given version record.
std::string operatingSystemName(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                std::uint32_t build);

}  // namespace kx::settings
