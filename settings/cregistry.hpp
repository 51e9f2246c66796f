#pragma once
// Registry values relative to a product's base path below the machine, the
// current user or the default user:
//   software path     SOFTWARE\<Company>\<ProductName>\<sSubKey>
//   system path       SYSTEM\<Company>\<ProductName>\<sSubKey>
//   default-user path .DEFAULT\SOFTWARE\<Company>\<ProductName>\<sSubKey>
// Empty members or sub-keys leave empty segments, which the registry skips.
#include <string>
#include <string_view>

#include "core/automation.hpp"

namespace kx::settings {

class CRegistry {
  public:
    std::string ProductName;
    std::string Company;

    Long WriteMachineSYSTEMInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                           Long lValue) const;
    Long WriteMachineInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                     Long lValue) const;
    Long WriteMachineInformationString(std::string_view sSubKey, std::string_view sValueName,
                                       std::string_view sValue) const;
    Long QueryMachineInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                     Long& lValue) const;
    Long QueryMachineInformationString(std::string_view sSubKey, std::string_view sValueName,
                                       std::string& sValue) const;
    Long QueryMachineInformationStringEx(std::string_view sSubKey, std::string_view sValueName,
                                         std::string& sValue) const;
    Long QueryUserInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                  Long& lValue) const;
    Long QueryUserInformationString(std::string_view sSubKey, std::string_view sValueName,
                                    std::string& sValue) const;
    Long QueryUserInformationStringEx(std::string_view sSubKey, std::string_view sValueName,
                                      std::string& sValue) const;
    /// bWithDefault writes below HKEY_USERS\.DEFAULT instead of the current user.
    Long WriteUserInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                  Long lValue, bool bWithDefault) const;
    Long WriteUserInformationString(std::string_view sSubKey, std::string_view sValueName,
                                    std::string_view sValue, bool bWithDefault) const;
    Long DeleteMachineInformationValue(std::string_view sSubKey, std::string_view sValueName) const;
    Long DeleteUserInformationValue(std::string_view sSubKey, std::string_view sValueName) const;
    Long DeleteMachineInformationKey(std::string_view sSubKey) const;
    Long DeleteUserInformationKey(std::string_view sSubKey) const;
    /// Writes below HKEY_LOCAL_MACHINE at sKeyPath itself, without the base path.
    Long WriteMachineLongRaw(std::string_view sKeyPath, std::string_view sValueName,
                             Long lValue) const;

    std::string softwarePath(std::string_view sSubKey) const;
    std::string systemPath(std::string_view sSubKey) const;
    std::string defaultUserPath(std::string_view sSubKey) const;
};

}  // namespace kx::settings
