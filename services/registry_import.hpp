#pragma once
// Importing a registry file silently, through the registry editor.
#include <string_view>

namespace kx::settings {

/// Copies sFileName to "<private folder>\<base name>.tmp" (or, when a file
/// has that name, to the first free "<base name><n>.tmp"), has the registry
/// editor import the copy silently and removes the copy a second later.
/// False, with a status line naming the copy, when the copy could not be
/// made or the editor could not be started.
bool RegEdit(std::string_view sFileName);

}  // namespace kx::settings
