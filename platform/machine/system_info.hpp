#pragma once
// GetVersionExA over the machine's version record.
#include <cstdint>
#include <string>

namespace kx::platform {

struct OSVERSIONINFOA {
    std::uint32_t dwOSVersionInfoSize = 148;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    std::string szCSDVersion;
};

/// Fills the record from the current machine's version record; false when
/// the record's size is not 148 or no machine is bound.
bool GetVersionExA(OSVERSIONINFOA* info);

}  // namespace kx::platform
