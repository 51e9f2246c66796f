#pragma once
// Whether a browser is running on a profile, as the browsers themselves
// tell: Firefox by its "lock" link (naming address and process) and the
// lock it holds on ".parentlock"; Chromium by the "SingletonLock" link in
// its user data folder, naming host and process. A lock left behind by a
// browser that crashed names a process that is gone and does not count.
#include <filesystem>

namespace kx::platform::browser {

/// A Firefox profile folder in use by a running Firefox.
bool firefoxProfileInUse(const std::filesystem::path& profileFolder);

/// A Chromium (or Chrome) user data folder in use by a running browser.
bool chromiumUserDataInUse(const std::filesystem::path& userDataFolder);

}  // namespace kx::platform::browser
