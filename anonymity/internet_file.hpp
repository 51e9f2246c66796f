#pragma once
// The one-shot fetch through the internet library and what builds on it:
// the download proxy and the connection test.
#include <cstddef>
#include <string>

namespace kx {

/// Characters GetInternetFile reads at most (the buffer it reads into).
inline constexpr std::size_t kInternetFileBuffer = 10'000'000;

/// The agent string every fetch sends.
inline constexpr const char* kInternetAgent = "Mozilla/4.0";

/// The maker's scanner version file, whose presence means "online".
inline constexpr const char* kConnectionTestPath = "/stinger.ver";

/// GetDownloadProxy: the settings DownLoadProxy and DownLoadPort (section
/// "Options") joined as "host:port"; "" when both are empty (the joined text
/// trimmed is only ":"). One of the two alone is answered as it stands.
std::string GetDownloadProxy();

/// GetInternetFile: the resource's text, blanks removed at both ends, or ""
/// when anything fails (nothing is reported). Direct, or through the
/// download proxy when one is set; never a cached copy; agent
/// "Mozilla/4.0"; at most kInternetFileBuffer characters are read (a longer
/// resource keeps its first ones; one beyond the library's limit gives ""). The hourglass shows
/// meanwhile. Blocks the thread for the whole transfer; Ctrl+C ends it early.
std::string GetInternetFile(const std::string& sURL);

/// IsConnection: shows "Prüfe Internetverbindung", then true exactly when
/// the maker's /stinger.ver answers something that is not blank. False when
/// machine.ini names no maker endpoint.
bool IsConnection();

/// The URL of a path on the maker's web server ("" when none is configured).
std::string makerUrl(const std::string& path);

}  // namespace kx
