#include "settings/system_info.hpp"

#include "platform/machine/system_info.hpp"

namespace kx::settings {

std::string operatingSystemName(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                std::uint32_t build) {
    // The build number's low 16 bits, taken as a signed value.
    const auto build16 = static_cast<std::int16_t>(build & 0xFFFF);
    if (platformId == 2) {
        if (major == 4)
            return "Windows NT";
        if (major >= 5)
            return minor != 0 ? "Windows XP" : "Windows 2000";
        return "";
    }
    if (platformId == 1) {
        if (major >= 5 || (major == 4 && minor == 10)) {
            return build16 == 1998 ? "Windows 98" : "Windows 98 SE";
        }
        if (major == 4 && minor == 0)
            return "Windows 95";
        if (major == 4 && minor == 90)
            return "Windows ME";
        return "";
    }
    return "";
}

std::string Betriebssystem() {
    platform::OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = 148;
    if (!platform::GetVersionExA(&info))
        return "";
    return operatingSystemName(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                               info.dwBuildNumber);
}

}  // namespace kx::settings
