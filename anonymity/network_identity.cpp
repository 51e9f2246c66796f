// Host names, addresses and the socket layer's start; see network_identity.hpp.
#include "anonymity/network_identity.hpp"

#include <cctype>
#include <vector>

#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"

namespace kx {
namespace {

namespace net = platform::net;
namespace ui = platform::ui;
using platform::tr;
using platform::trf;

constexpr std::uint32_t kExclamationBox = ui::MB_SYSTEMMODAL | ui::MB_ICONEXCLAMATION;  // 4144
constexpr std::uint32_t kCriticalBox = ui::MB_SYSTEMMODAL | ui::MB_ICONCRITICAL;        // 4112
constexpr std::uint32_t kPlainBox = ui::MB_SYSTEMMODAL;                                 // 4096

void tell(const std::string& text, std::uint32_t flags) {
    ui::dialogs().messageBox(text, shared().applicationTitle, flags);
}

std::string upToNul(std::string text) {
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

std::string versionText(std::uint16_t version) {
    const auto v = static_cast<Integer>(version);
    return std::to_string(lobyte(v)) + "." + std::to_string(hibyte(v));
}

bool versionTooLow(std::uint16_t version) {
    const int major = version & 0xFF;
    const int minor = version >> 8;
    return major < 1 || (major == 1 && minor < 1);
}

}  // namespace

std::optional<net::Ipv4> dottedToAddress(std::string_view addr) {
    net::Ipv4 out{};
    std::size_t start = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        if (start > addr.size())
            break;  // fewer parts: the rest stay 0
        const auto dot = addr.find('.', start);
        const auto text = addr.substr(start, dot == std::string_view::npos ? dot : dot - start);
        std::uint32_t value = 0;
        for (const char c : platform::vbTrim(text)) {
            if (!std::isdigit(static_cast<unsigned char>(c)))
                break;
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
            if (value > 255)
                return std::nullopt;
        }
        out[part] = static_cast<std::uint8_t>(value);
        start = dot == std::string_view::npos ? addr.size() + 1 : dot + 1;
    }
    return out;
}

std::string GetIPAddress(std::string_view sHostName) {
    if (!SocketsInitialize())
        return "";
    const auto found = net::sockets().hostByName(platform::vbTrim(sHostName));
    SocketsCleanup();
    if (!found || found->empty())
        return "";
    return net::dotted(found->front());
}

std::string GetIPHostName() {
    if (!SocketsInitialize())
        return "";
    std::string buffer(net::kHostNameBuffer, '\0');
    std::string name;
    if (net::sockets().gethostname(buffer, net::kHostNameBuffer) == net::SOCKET_ERROR) {
        tell(trf("Windows Sockets Error {1}(Host).", {std::to_string(net::WSAGetLastError())}),
             kPlainBox);
    } else {
        name = upToNul(buffer);
    }
    SocketsCleanup();
    return name;
}

std::string HostByName(std::string& na, std::int16_t adapter) {
    if (adapter < 1)
        return "";
    const auto found = net::sockets().hostByName(na);
    if (!found || static_cast<std::size_t>(adapter) > found->size())
        return "";
    return net::dotted((*found)[static_cast<std::size_t>(adapter) - 1]);
}

std::string HostByAddr(std::string_view addr) {
    const auto address = dottedToAddress(addr);
    if (!address)
        return "";
    const auto name = net::sockets().hostByAddr(*address);
    return name ? upToNul(*name) : "";
}

std::string MyHostName() {
    std::string buffer(net::kHostNameBuffer, '\0');
    if (net::sockets().gethostname(buffer, net::kHostNameBuffer) == net::SOCKET_ERROR) {
        tell(trf("Windows Sockets error {1}", {std::to_string(net::WSAGetLastError())}),
             kCriticalBox);
        return "";
    }
    return upToNul(std::string(platform::vbTrim(buffer)));
}

bool SocketsInitialize() {
    net::WSAData data;
    if (net::WSAStartup(kSocketVersion, data) != 0) {
        tell(std::string(tr("No 32-bit Windows Socket")), kExclamationBox);
        return false;
    }
    if (data.iMaxSockets < kMinSockets) {
        tell(trf("{1} Min. Winsock Version", {std::to_string(kMinSockets)}), kExclamationBox);
        net::WSACleanup();
        return false;
    }
    if (versionTooLow(data.wVersion)) {
        tell(trf("Winsock Version {1} No 32-Bit Windows Sockets.", {versionText(data.wVersion)}),
             kPlainBox);
        net::WSACleanup();
        return false;
    }
    return true;
}

void xSocketsInitialize() {
    net::WSAData data;
    if (net::WSAStartup(kSocketVersion, data) != 0) {
        tell(std::string(tr("Winsock.dll is not responding.")), kCriticalBox);
        return;
    }
    if (versionTooLow(data.wVersion)) {
        tell(trf("Windows Sockets version {1} is not supported by winsock.dll ",
                 {versionText(data.wVersion)}),
             kCriticalBox);
        net::WSACleanup();
        return;
    }
    if (data.iMaxSockets < kMinSockets) {
        tell(trf("This application requires a minimum of {1} supported sockets.",
                 {std::to_string(kMinSockets)}),
             kCriticalBox);
        net::WSACleanup();
    }
}

void SocketsCleanup() {
    if (net::WSACleanup() != 0)
        tell(std::string(tr("Error Socket Cleanup.")), kExclamationBox);
}

void xSocketsCleanup() {
    if (net::WSACleanup() != 0)
        tell(trf("Socket error {1} occurred in Cleanup ", {std::to_string(net::WSAGetLastError())}),
             kCriticalBox);
}

}  // namespace kx
