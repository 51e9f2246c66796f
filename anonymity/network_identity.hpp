#pragma once
// The machine's network identity: its host name and addresses, name and
// address lookups (IPv4), and the two ways of starting and stopping the
// socket layer with the messages each shows. Lookups answer "" on any
// failure; only the host-name reads and the socket start and cleanup tell
// the user (message boxes of the thread's dialogs).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/network/name_lookup.hpp"

namespace kx {

/// The first address of the (trimmed) name, dotted; "" when it has none.
/// Starts the socket layer before and cleans it up after.
std::string GetIPAddress(std::string_view sHostName);

/// The local host name; "" (after a system-modal box "Windows Sockets Error
/// <n>(Host).") when it cannot be read. Starts and cleans up the socket layer.
std::string GetIPHostName();

/// The adapter-th (1-based) address of the name, dotted; "" when the name
/// has fewer addresses or does not resolve, and for an adapter below 1.
std::string HostByName(std::string& na, std::int16_t adapter = 1);

/// The host name of a dotted address; "" when nothing is found or the text
/// is no address (a part above 255).
std::string HostByAddr(std::string_view addr);

/// The local host name; a box "Windows Sockets error <n>" when it cannot be read.
std::string MyHostName();

/// Start the socket layer asking for version 1.1, with the checks and
/// messages of each variant. A start that succeeded but fails a check is
/// cleaned up again, so the layer is never left started by a refusal.
bool SocketsInitialize();
void xSocketsInitialize();
void SocketsCleanup();
void xSocketsCleanup();

/// The four bytes of a dotted address: parts split at ".", each read as its
/// leading decimal digits (none read as 0); missing parts are 0, parts after
/// the fourth are ignored. Nothing when a part exceeds 255.
std::optional<platform::net::Ipv4> dottedToAddress(std::string_view addr);

/// The version the socket starts ask for (1.1) and the sockets they need.
inline constexpr std::uint16_t kSocketVersion = 0x0101;
inline constexpr int kMinSockets = 1;

}  // namespace kx
