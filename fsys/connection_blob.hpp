#pragma once
// Internet Explorer's per-connection settings blob, the REG_BINARY values
// under HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections.
// Layout (all DWORDs little-endian):
//   version/marker, change counter, flags (1 direct, 2 proxy, 4 auto-config
//   URL, 8 auto-detect), then three counted texts: DWORD length + proxy
//   server, DWORD length + bypass list, DWORD length + auto-config URL, and
//   whatever IE keeps after them (auto-detect data), which we carry along
//   byte for byte.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kx::fsys {

struct ConnectionBlob {
    std::uint32_t version = 0x46;  // what IE 6 writes
    std::uint32_t counter = 0;
    std::uint32_t flags = 1;  // direct
    std::string proxyServer;
    std::string bypassList;
    std::string autoConfigUrl;
    std::string trailing;  // kept exactly as read

    static constexpr std::uint32_t Direct = 1;
    static constexpr std::uint32_t Proxy = 2;
    static constexpr std::uint32_t AutoConfigUrl = 4;
    static constexpr std::uint32_t AutoDetect = 8;

    /// A fresh blob as IE writes one for a connection it has not seen.
    static ConnectionBlob fresh();

    /// nullopt when the bytes are too short or a length points past the end.
    static std::optional<ConnectionBlob> parse(std::string_view bytes);

    std::string serialize() const;
};

}  // namespace kx::fsys
