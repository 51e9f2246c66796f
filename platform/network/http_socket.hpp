#pragma once
// A non-blocking TCP client socket whose events run from the thread's message
// loop, in the manner of the old socket control: connect(), then Connect,
// DataArrival, Close and Error fire from yield(); getData() hands over what
// arrived. IPv4 only, like the rest of our networking.
//
// Events never fire from inside a call made on the socket: connect() returns
// at once (name resolution included, a failed one reported through Error at
// the next yield), so handlers can rely on running from the loop alone.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kx::platform {

/// The socket control's error numbers (Winsock codes) for what we report.
inline constexpr std::int32_t kSockHostNotFound = 11001;
inline constexpr std::int32_t kSockConnectionRefused = 10061;
inline constexpr std::int32_t kSockTimedOut = 10060;
inline constexpr std::int32_t kSockConnectionReset = 10054;
inline constexpr std::int32_t kSockNetUnreachable = 10051;
inline constexpr std::int32_t kSockHostUnreachable = 10065;
inline constexpr std::int32_t kSockOtherError = 10004;

enum class SocketState { Closed, Connecting, Connected, Error };

class TcpClientSocket {
  public:
    TcpClientSocket();
    /// Closes the connection and leaves the message loop.
    ~TcpClientSocket();
    TcpClientSocket(const TcpClientSocket&) = delete;
    TcpClientSocket& operator=(const TcpClientSocket&) = delete;

    /// The connection is established.
    std::function<void()> Connect;
    /// Bytes arrived; `bytesTotal` is their count. They wait in the socket
    /// until getData() takes them.
    std::function<void(std::int32_t bytesTotal)> DataArrival;
    /// The other side closed the connection (after every byte it sent was
    /// reported through DataArrival).
    std::function<void()> Close;
    /// Resolution, connection or transfer failed: a description and the
    /// Winsock number. The socket is closed afterwards.
    std::function<void(std::int32_t number, const std::string& description)> Error;

    /// Closes any earlier connection and starts connecting to host:port.
    /// `host` is a dotted IPv4 address or a name.
    void connect(const std::string& host, std::uint16_t port);
    /// Queues bytes for sending; false when not connected. What the kernel
    /// does not take at once goes out from the loop.
    bool sendData(std::string_view data);
    /// Takes every byte received and not yet taken.
    std::string getData();
    /// Closes the connection (no event fires). Closing a closed socket is
    /// harmless.
    void close();

    SocketState state() const;

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

/// The port plain HTTP connections go to: 80, unless the machine's
/// machine.ini names another in [network] http_port (tests point it at a
/// loopback server that cannot bind port 80).
std::uint16_t httpPort();

}  // namespace kx::platform
