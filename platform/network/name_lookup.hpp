#pragma once
// The Windows Sockets calls of the name lookups (WSAStartup, WSACleanup,
// WSAGetLastError, gethostname, gethostbyname, gethostbyaddr), IPv4 only, on
// getaddrinfo/getnameinfo/gethostname.
//
// The socket layer is bound per thread like the shell and the dialogs, so
// tests can put a scripted one in its place (a start that fails, an old
// version, a lookup that must not leave the machine).
//
// Names under the reserved top-level domain ".invalid" and names that cannot
// be DNS names (an empty label, a label over 63 characters, over 253 in all)
// are answered "host not found" here, without asking the resolver: such a
// lookup never produces network traffic.
#include <array>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>
#include "platform/runtime/thread_binding.hpp"

namespace kx::platform::net {

// Statuses as Winsock numbers them.
inline constexpr int SOCKET_ERROR = -1;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

/// Address family 2.
inline constexpr int AF_INET_WINSOCK = 2;
/// gethostname's buffer.
inline constexpr std::size_t kHostNameBuffer = 256;

/// What WSAStartup reports.
struct WSAData {
    std::uint16_t wVersion = 0;      ///< granted: low byte major, high byte minor
    std::uint16_t wHighVersion = 0;  ///< highest the layer supports
    std::string szDescription;
    std::string szSystemStatus;
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
};

/// An IPv4 address in network order (first byte first).
using Ipv4 = std::array<std::uint8_t, 4>;

class SocketLayer {
  public:
    virtual ~SocketLayer() = default;
    /// 0 on success, else the error number (WSASYSNOTREADY, WSAVERNOTSUPPORTED).
    virtual int startup(std::uint16_t versionRequested, WSAData& data) = 0;
    /// 0, or SOCKET_ERROR with the last error set.
    virtual int cleanup() = 0;
    virtual int lastError() const = 0;
    /// gethostname: the name into a buffer of `size` bytes (NUL-terminated,
    /// the buffer's contents after the name as they were); 0 or SOCKET_ERROR.
    virtual int gethostname(std::string& buffer, std::size_t size) = 0;
    /// gethostbyname: every IPv4 address of the name in the resolver's order,
    /// or the error number.
    virtual std::expected<std::vector<Ipv4>, int> hostByName(std::string_view name) = 0;
    /// gethostbyaddr (family 2): the address's host name, or the error number.
    virtual std::expected<std::string, int> hostByAddr(const Ipv4& address) = 0;
};

/// The system's resolver. Startup grants version 1.1 (and offers 2.2), with
/// 32767 sockets; cleanup without a matching startup fails with
/// WSANOTINITIALISED. Lookups need no startup: the resolver here has none.
class SystemSocketLayer final : public SocketLayer {
  public:
    int startup(std::uint16_t versionRequested, WSAData& data) override;
    int cleanup() override;
    int lastError() const override;
    int gethostname(std::string& buffer, std::size_t size) override;
    std::expected<std::vector<Ipv4>, int> hostByName(std::string_view name) override;
    std::expected<std::string, int> hostByAddr(const Ipv4& address) override;
};

/// The layer bound to the calling thread (the system's when none is bound).
SocketLayer& sockets();

using SocketLayerScope = BindingScope<SocketLayer>;

/// The loopback address, and names that mean this machine itself
/// ("localhost" and names under ".localhost"): they are answered here, without
/// asking the resolver, so that no lookup of this machine can leave it, even
/// where /etc/hosts is missing.
inline constexpr Ipv4 kLoopback{127, 0, 0, 1};
bool isLoopbackName(std::string_view name);

/// True for names the resolver must never be asked about (see above).
bool isUnresolvableName(std::string_view name);

/// "a.b.c.d" of the address's bytes.
std::string dotted(const Ipv4& address);

/// The Winsock calls by their own names, on the thread's layer.
inline int WSAStartup(std::uint16_t versionRequested, WSAData& data) {
    return sockets().startup(versionRequested, data);
}
inline int WSACleanup() {
    return sockets().cleanup();
}
inline int WSAGetLastError() {
    return sockets().lastError();
}

}  // namespace kx::platform::net
