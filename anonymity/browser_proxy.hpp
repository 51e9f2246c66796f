#pragma once
// Pointing the installed browsers at a proxy auto-configuration script, and
// back: Internet Explorer's per-connection settings, Opera's ini file and
// every Mozilla or Netscape profile's "prefs.js". "ADFILTER" stands for the
// ad filter's script "no-ads.pac" in the program folder; "" restores what
// each browser had before.
//
// What was there before is kept in memory (hosts may carry it over, see
// SavedBrowserSettings). Opera's and Mozilla's values
// belong to the component (shared by a thread's instances, as all of its
// state is); Internet Explorer's are kept for the process, read at the first
// change and never overwritten later. Opera's and Mozilla's values are read
// at the first change after a restore, so switching from one proxy to
// another still restores the user's own settings, and Mozilla's are kept per
// profile file. File errors end an operation quietly.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::anonymity {

/// The pseudo-proxy that stands for the ad filter.
inline constexpr std::string_view kAdFilter = "ADFILTER";

/// One connection's Internet Explorer proxy settings as they were.
struct CProxySetting {
    std::string connectionName;  // "" for the LAN
    std::string autoConfigUrl;
    std::int32_t autoConfigFlags = 0;
    std::string proxyValue;
    std::int32_t proxyFlags = 0;
};

/// "file://" + private folder + "\kx.js".
std::string GetAutoProxyFileName();
/// "file://" + program folder + "\no-ads.pac".
std::string GetAdFilterProxyFileName();

/// Writes the script for `proxy` (see buildProxyScript) with a final CR LF to
/// the generated script's file. A nested call while one runs does nothing.
void WriteAutoProxyFile(std::string_view proxy);

/// False when no Opera ini file is found or it cannot be written.
bool SetOperaProxy(std::string_view proxy);
/// False when the profile file cannot be read or written. The file keeps its
/// own line ends (a new one gets CR LF). A profile lying outside the
/// machine's prefix (linked from the host) is read by the host's browser and
/// gets the script as a "file:///" URL of its host path.
bool SetMozillaProxy(std::string_view proxy, std::string_view profileFile);
/// Every browser. True when done: the per-connection settings report no
/// failure, so neither does this.
bool SetIEProxy(std::string_view proxy);

/// Tells the internet library its settings changed. There is no such library
/// on this platform: the browsers read the settings written above the next
/// time they look, so there is nothing to tell.
void RefreshIESettings();

/// Everything kept of the browsers' own settings, so that a host whose
/// sessions span several processes (the console host) can carry it from the
/// process that changed the browsers to the one that restores them.
struct SavedBrowserSettings {
    /// The last SetIEProxy pointed the browsers at a script (not restored).
    bool pointed = false;
    bool ieSaved = false;
    std::vector<CProxySetting> ie;
    bool operaSaved = false;
    bool operaKnown = false;
    std::optional<std::string> operaUrl;  // nullopt: the key was not there
    std::optional<std::string> operaUse;
    /// Per lower-cased profile file: the address line and the type line.
    std::map<std::string, std::pair<std::string, std::string>> mozilla;

    /// Nothing waits to be restored: every browser has its own settings.
    bool settled() const { return !pointed && !operaSaved && mozilla.empty(); }
};
SavedBrowserSettings savedBrowserSettings();
/// Takes over what another process kept.
void adoptSavedBrowserSettings(const SavedBrowserSettings& saved);
/// Forgets everything saved, as a new process would start (for tests).
void forgetSavedBrowserSettings();

}  // namespace kx::anonymity
