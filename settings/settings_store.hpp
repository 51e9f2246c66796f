#pragma once
// The per-user settings store: application -> section -> key -> text, kept
// where the runtime keeps program settings, below the current user's
// "Software\VB and VBA Program Settings". Names compare without regard to case.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kx::settings {

inline constexpr std::string_view kStoreRoot = "Software\\VB and VBA Program Settings";

/// The stored text, or `defaultValue` when the key (or its section or
/// application) is absent. Never writes the default into the store.
std::string GetSetting(std::string_view application, std::string_view section, std::string_view key,
                       std::string_view defaultValue);

/// Creates or replaces the value, creating the application and section as
/// needed. Answers false when the registry refused the write.
bool SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                 std::string_view value);

/// Removes one key (or, with an empty key, the whole section). Absent keys are
/// not an error.
void DeleteSetting(std::string_view application, std::string_view section,
                   std::string_view key = {});

/// Every key of a section with its text, in name order.
std::vector<std::pair<std::string, std::string>> GetAllSettings(std::string_view application,
                                                                std::string_view section);

/// Every section name of an application, in name order.
std::vector<std::string> GetSections(std::string_view application);

/// The application name the component's settings live under: the application
/// title, read anew at every call.
std::string applicationName();

}  // namespace kx::settings
