#pragma once
// The list of candidate proxies: the maker's remote list, its local copy
// "kxproxy.txt" in the private folder, and the shuffle that puts the remote
// list into a fresh order for every search.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::anonymity {

/// The maker's list (one host:port per line, CR LF) and its stamp.
inline constexpr std::string_view kRemoteProxyListPath = "/kxproxy.txt";
inline constexpr std::string_view kRemoteProxyStampPath = "/proxyver.txt";
/// The local copy in the private folder, and the copy kept of its previous
/// version.
inline constexpr std::string_view kProxyListFile = "kxproxy.txt";
inline constexpr std::string_view kProxyListBackupFile = "kxproxy.txt.Bak";

/// One accepted line of a list: the trimmed host and the port as written.
struct ProxyListEntry {
    std::string sHost;
    std::string sPort;
    bool operator==(const ProxyListEntry&) const = default;
};

/// The lines of a text split at line ends: CR LF, or a bare LF. A text
/// ending in a line end gives an empty last line, as the split always did.
std::vector<std::string> splitListLines(std::string_view text);

/// True for a port text that is a whole number from 1 to 65535 (blanks
/// around it allowed): "0", "-1", "80a", "" and "70000" are no ports.
bool isProxyPort(std::string_view port);

/// One line of the local list taken apart. The separator is ":", else (no
/// ":" in the line) a blank, else a tab; one trailing ":" is dropped first.
/// The host is the trimmed text before the separator, the port the text up
/// to the next separator. Nothing when the port is no port (isProxyPort),
/// the host is empty or holds blanks, tabs or quotes.
std::optional<ProxyListEntry> parseProxyLine(std::string_view line);

/// Every accepted line of a list text in order; a host (compared without
/// regard to case) is taken once, with the port of its first line. Lines
/// that hold text but no proxy go to `skipped` when it is given.
std::vector<ProxyListEntry> parseProxyList(std::string_view text,
                                           std::vector<std::string>* skipped = nullptr);

/// The local list's Windows path: the private folder + "kxproxy.txt".
std::string proxyListPath();

/// The local list's accepted entries; nothing when the file does not exist
/// or cannot be read.
std::optional<std::vector<ProxyListEntry>> readLocalProxyList();

/// Replaces the local list by a fetched list: trimmed of blanks at both ends
/// and followed by CR LF. The file is replaced as a whole, so a failure
/// leaves the old one. False when it could not be written.
bool saveLocalProxyList(std::string_view fetchedList);

/// Numbers in [0, 1), as the runtime's Rnd gives them.
using RandomSource = std::function<double()>;

/// A source seeded from the millisecond tick count, as the search always
/// seeded its generator.
RandomSource tickSeededRandom();

/// Shuffles the lines 0..n in place: 1 or 2 passes are drawn (integer part
/// of r * 2 + 1) and passes + 1 rounds run; each round swaps every line i
/// with line j = integer part of n * r + 1 (1..n). A single line stays.
void shuffleProxyLines(std::vector<std::string>& lines, const RandomSource& random);

}  // namespace kx::anonymity
