// Name lookups on the system's resolver; see name_lookup.hpp.
#include "platform/network/name_lookup.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/runtime/text.hpp"

namespace kx::platform::net {
namespace {

thread_local int tLastError = 0;
std::atomic<int> gStartups{0};

int fromAddrInfoError(int code) {
    switch (code) {
        case EAI_NONAME:
            return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return WSANO_DATA;
#endif
        case EAI_AGAIN:
            return WSATRY_AGAIN;
        default:
            return WSANO_RECOVERY;
    }
}

}  // namespace

bool isLoopbackName(std::string_view name) {
    while (!name.empty() && name.back() == '.') name.remove_suffix(1);
    const std::string lowered = vbLCase(name);
    return lowered == "localhost" || lowered.ends_with(".localhost");
}

bool isUnresolvableName(std::string_view name) {
    while (!name.empty() && name.back() == '.') name.remove_suffix(1);  // the root's dot
    if (name.empty() || name.size() > 253)
        return true;
    std::size_t start = 0;
    std::string_view last;
    while (true) {
        const auto dot = name.find('.', start);
        const auto label = name.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (label.empty() || label.size() > 63)
            return true;
        last = label;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return winEqualNoCase(last, "invalid");
}

std::string dotted(const Ipv4& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

int SystemSocketLayer::startup(std::uint16_t versionRequested, WSAData& data) {
    // Version 1.0 and later are served; the granted one is the lower of the
    // request and 1.1 (low byte major, high byte minor).
    const int major = versionRequested & 0xFF;
    const int minor = versionRequested >> 8;
    if (major == 0)
        return WSAVERNOTSUPPORTED;
    data = WSAData{};
    data.wVersion = (major > 1 || (major == 1 && minor >= 1)) ? 0x0101 : versionRequested;
    data.wHighVersion = 0x0202;
    data.szDescription = "Kolvanex sockets on the system resolver";
    data.szSystemStatus = "Running";
    data.iMaxSockets = 32767;
    data.iMaxUdpDg = 65467;
    ++gStartups;
    return 0;
}

int SystemSocketLayer::cleanup() {
    int now = gStartups.load();
    while (now > 0 && !gStartups.compare_exchange_weak(now, now - 1)) {
    }
    if (now <= 0) {
        tLastError = WSANOTINITIALISED;
        return SOCKET_ERROR;
    }
    return 0;
}

int SystemSocketLayer::lastError() const {
    return tLastError;
}

int SystemSocketLayer::gethostname(std::string& buffer, std::size_t size) {
    std::string raw(size == 0 ? 1 : size, '\0');
    if (size == 0 || ::gethostname(raw.data(), raw.size()) != 0 ||
        std::find(raw.begin(), raw.end(), '\0') == raw.end()) {
        tLastError = WSAEFAULT;  // the buffer is too small for the name
        return SOCKET_ERROR;
    }
    buffer = std::move(raw);
    return 0;
}

std::expected<std::vector<Ipv4>, int> SystemSocketLayer::hostByName(std::string_view name) {
    if (isLoopbackName(name))
        return std::vector<Ipv4>{kLoopback};
    if (isUnresolvableName(name)) {
        tLastError = WSAHOST_NOT_FOUND;
        return std::unexpected(WSAHOST_NOT_FOUND);
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket kind
    addrinfo* list = nullptr;
    const std::string host(name);
    if (const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list); rc != 0) {
        tLastError = fromAddrInfoError(rc);
        return std::unexpected(tLastError);
    }
    std::vector<Ipv4> out;
    for (const addrinfo* p = list; p != nullptr; p = p->ai_next) {
        if (p->ai_family != AF_INET || p->ai_addr == nullptr)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(p->ai_addr);
        Ipv4 a{};
        std::memcpy(a.data(), &in->sin_addr, 4);
        if (std::ranges::find(out, a) == out.end())
            out.push_back(a);
    }
    ::freeaddrinfo(list);
    if (out.empty()) {
        tLastError = WSANO_DATA;
        return std::unexpected(WSANO_DATA);
    }
    return out;
}

std::expected<std::string, int> SystemSocketLayer::hostByAddr(const Ipv4& address) {
    if (address == kLoopback)
        return std::string("localhost");
    sockaddr_in in{};
    in.sin_family = AF_INET;
    std::memcpy(&in.sin_addr, address.data(), 4);
    char host[NI_MAXHOST] = {};
    const int rc = ::getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host,
                                 sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        tLastError = fromAddrInfoError(rc);
        return std::unexpected(tLastError);
    }
    return std::string(host);
}

SocketLayer& sockets() {
    static SystemSocketLayer system;
    if (auto* bound = boundService<SocketLayer>())
        return *bound;
    return system;
}

}  // namespace kx::platform::net
