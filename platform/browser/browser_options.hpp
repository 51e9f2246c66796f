#pragma once
// What a browser of this platform is made of: Chromium and its WebDriver
// program (chromedriver), how they are found and how a browser starts.
#include <filesystem>
#include <optional>
#include <string>

namespace kx::platform::browser {

/// How a browser is started.
struct BrowserOptions {
    /// The browser program; empty: found on the system (Debian's
    /// /usr/lib/chromium/chromium, else "chromium" on the search path).
    std::filesystem::path chromium;
    /// The driver program; empty: "chromedriver" on the search path.
    std::filesystem::path chromedriver;
    /// A proxy auto-configuration script ("file:///..."); empty: direct.
    std::string proxyScriptUrl;
    /// Show a window when a display exists; otherwise the browser runs
    /// headless (its window is then only pretended).
    bool windowed = false;
};

/// The browser and driver programs as found on this system; nothing when
/// either is missing.
struct Programs {
    std::filesystem::path chromium;
    std::filesystem::path chromedriver;
};
std::optional<Programs> findPrograms(const BrowserOptions& options = {});

/// Ends every browser process group still running, with SIGKILL. Safe in a
/// signal handler: it only reads a fixed table and calls kill().
void endAllBrowserGroups() noexcept;

}  // namespace kx::platform::browser
