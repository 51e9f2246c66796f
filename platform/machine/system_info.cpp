#include "platform/machine/system_info.hpp"

#include "platform/machine/machine.hpp"

namespace kx::platform {

bool GetVersionExA(OSVERSIONINFOA* info) {
    if (info == nullptr || info->dwOSVersionInfoSize != 148 || !hasCurrentMachine())
        return false;
    const auto& version = currentMachine().config().version;
    info->dwMajorVersion = version.major;
    info->dwMinorVersion = version.minor;
    info->dwBuildNumber = version.build;
    info->dwPlatformId = version.platform;
    info->szCSDVersion = version.servicePack;
    return true;
}

}  // namespace kx::platform
