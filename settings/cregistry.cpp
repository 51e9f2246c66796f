#include "settings/cregistry.hpp"

#include "settings/registry_access.hpp"

namespace kx::settings {

using namespace kx::platform;

std::string CRegistry::softwarePath(std::string_view sSubKey) const {
    return "SOFTWARE\\" + Company + "\\" + ProductName + "\\" + std::string(sSubKey);
}

std::string CRegistry::systemPath(std::string_view sSubKey) const {
    return "SYSTEM\\" + Company + "\\" + ProductName + "\\" + std::string(sSubKey);
}

std::string CRegistry::defaultUserPath(std::string_view sSubKey) const {
    return ".DEFAULT\\" + softwarePath(sSubKey);
}

Long CRegistry::WriteMachineSYSTEMInformationLong(std::string_view sSubKey,
                                                  std::string_view sValueName, Long lValue) const {
    return writeRegistryLong(HKEY_LOCAL_MACHINE, systemPath(sSubKey), sValueName, lValue,
                             CreateKey::OnAnyFailure);
}

Long CRegistry::WriteMachineInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                            Long lValue) const {
    return writeRegistryLong(HKEY_LOCAL_MACHINE, softwarePath(sSubKey), sValueName, lValue,
                             CreateKey::OnAnyFailure);
}

Long CRegistry::WriteMachineInformationString(std::string_view sSubKey, std::string_view sValueName,
                                              std::string_view sValue) const {
    return writeRegistryString(HKEY_LOCAL_MACHINE, softwarePath(sSubKey), sValueName, sValue,
                               CreateKey::OnAnyFailure);
}

Long CRegistry::QueryMachineInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                            Long& lValue) const {
    return queryRegistryLong(HKEY_LOCAL_MACHINE, softwarePath(sSubKey), sValueName, lValue);
}

Long CRegistry::QueryMachineInformationString(std::string_view sSubKey, std::string_view sValueName,
                                              std::string& sValue) const {
    return queryRegistryString(HKEY_LOCAL_MACHINE, softwarePath(sSubKey), sValueName, sValue);
}

Long CRegistry::QueryMachineInformationStringEx(std::string_view sSubKey,
                                                std::string_view sValueName,
                                                std::string& sValue) const {
    return queryRegistryString(HKEY_LOCAL_MACHINE, softwarePath(sSubKey), sValueName, sValue, true);
}

Long CRegistry::QueryUserInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                         Long& lValue) const {
    return queryRegistryLong(HKEY_CURRENT_USER, softwarePath(sSubKey), sValueName, lValue);
}

Long CRegistry::QueryUserInformationString(std::string_view sSubKey, std::string_view sValueName,
                                           std::string& sValue) const {
    return queryRegistryString(HKEY_CURRENT_USER, softwarePath(sSubKey), sValueName, sValue);
}

Long CRegistry::QueryUserInformationStringEx(std::string_view sSubKey, std::string_view sValueName,
                                             std::string& sValue) const {
    return queryRegistryString(HKEY_CURRENT_USER, softwarePath(sSubKey), sValueName, sValue, true);
}

Long CRegistry::WriteUserInformationLong(std::string_view sSubKey, std::string_view sValueName,
                                         Long lValue, bool bWithDefault) const {
    return bWithDefault ? writeRegistryLong(HKEY_USERS, defaultUserPath(sSubKey), sValueName,
                                            lValue, CreateKey::OnNotFound)
                        : writeRegistryLong(HKEY_CURRENT_USER, softwarePath(sSubKey), sValueName,
                                            lValue, CreateKey::OnNotFound);
}

Long CRegistry::WriteUserInformationString(std::string_view sSubKey, std::string_view sValueName,
                                           std::string_view sValue, bool bWithDefault) const {
    return bWithDefault ? writeRegistryString(HKEY_USERS, defaultUserPath(sSubKey), sValueName,
                                              sValue, CreateKey::OnAnyFailure)
                        : writeRegistryString(HKEY_CURRENT_USER, softwarePath(sSubKey), sValueName,
                                              sValue, CreateKey::OnAnyFailure);
}

Long CRegistry::DeleteMachineInformationValue(std::string_view sSubKey,
                                              std::string_view sValueName) const {
    return deleteRegistryValue(HKEY_LOCAL_MACHINE, softwarePath(sSubKey), sValueName);
}

Long CRegistry::DeleteUserInformationValue(std::string_view sSubKey,
                                           std::string_view sValueName) const {
    return deleteRegistryValue(HKEY_CURRENT_USER, softwarePath(sSubKey), sValueName);
}

Long CRegistry::DeleteMachineInformationKey(std::string_view sSubKey) const {
    return deleteRegistryTree(HKEY_LOCAL_MACHINE, softwarePath(sSubKey));
}

Long CRegistry::DeleteUserInformationKey(std::string_view sSubKey) const {
    return deleteRegistryTree(HKEY_CURRENT_USER, softwarePath(sSubKey));
}

Long CRegistry::WriteMachineLongRaw(std::string_view sKeyPath, std::string_view sValueName,
                                    Long lValue) const {
    return writeRegistryLong(HKEY_LOCAL_MACHINE, sKeyPath, sValueName, lValue,
                             CreateKey::OnAnyFailure);
}

}  // namespace kx::settings
