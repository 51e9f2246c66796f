// The loop-driven TCP client socket on POSIX sockets.
#include "platform/network/http_socket.hpp"

#include "platform/runtime/error.hpp"
#include "platform/runtime/translation.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>

#include "platform/files/ini.hpp"
#include "platform/machine/machine.hpp"
#include "platform/runtime/system_reason.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::platform {
namespace {

// What one poll reads at most before it lets the loop run other things; a
// fast sender cannot keep the thread inside one socket for ever.
constexpr std::size_t kReadPerPoll = 256 * 1024;
constexpr std::size_t kReadChunk = 16 * 1024;

// The socket control's wording for the errors we can meet, in the user's
// language as the system's socket library gives it.
Error fromErrno(int err) {
    switch (err) {
        case ECONNREFUSED:
            return {kSockConnectionRefused,
                    std::string(tr("Die Verbindung wurde von der Gegenseite abgelehnt"))};
        case ETIMEDOUT:
            return {kSockTimedOut, std::string(tr("Zeitüberschreitung bei der Verbindung"))};
        case ECONNRESET:
        case EPIPE:
            return {kSockConnectionReset,
                    std::string(tr("Die Verbindung wurde von der Gegenseite zurückgesetzt"))};
        case ENETUNREACH:
            return {kSockNetUnreachable, std::string(tr("Das Netzwerk ist nicht erreichbar"))};
        case EHOSTUNREACH:
            return {kSockHostUnreachable, std::string(tr("Keine Route zum Host"))};
        default:
            return {kSockOtherError, trf("Socketfehler: {1}", {systemReason(err)})};
    }
}

}  // namespace

struct TcpClientSocket::Impl {
    TcpClientSocket* owner = nullptr;
    int fd = -1;
    SocketState state = SocketState::Closed;
    std::string received;
    std::string outgoing;
    std::optional<platform::Error> pendingError;  // reported at the next poll
    std::optional<ui::MessageLoop::SourceId> source;
    std::weak_ptr<void> loopLifetime;
    bool polling = false;

    void closeFd() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    void leaveLoop() {
        if (source && !loopLifetime.expired())
            ui::MessageLoop::current().removeSource(*source);
        source.reset();
    }

    void fail(const platform::Error& error) {
        closeFd();
        outgoing.clear();
        state = SocketState::Error;
        leaveLoop();
        if (owner && owner->Error)
            owner->Error(static_cast<std::int32_t>(error.code), error.message);
    }

    void flush() {
        while (!outgoing.empty() && fd >= 0) {
            const auto n = ::send(fd, outgoing.data(), outgoing.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    return;
                fail(fromErrno(errno));
                return;
            }
            outgoing.erase(0, static_cast<std::size_t>(n));
        }
    }

    void poll() {
        if (polling)
            return;  // a handler yielded; this poll is already on the stack
        polling = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{polling};

        if (pendingError) {
            const auto error = *pendingError;
            pendingError.reset();
            fail(error);
            return;
        }
        if (fd < 0)
            return;
        if (state == SocketState::Connecting) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 0) <= 0)
                return;
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
            if (err != 0) {
                fail(fromErrno(err));
                return;
            }
            state = SocketState::Connected;
            if (owner && owner->Connect)
                owner->Connect();
            if (state != SocketState::Connected)
                return;  // the handler closed or reconnected
        }
        flush();
        std::size_t readNow = 0;
        char chunk[kReadChunk];
        while (state == SocketState::Connected && fd >= 0 && readNow < kReadPerPoll) {
            const auto n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                received.append(chunk, static_cast<std::size_t>(n));
                readNow += static_cast<std::size_t>(n);
                if (owner && owner->DataArrival)
                    owner->DataArrival(static_cast<std::int32_t>(n));
                continue;
            }
            if (n == 0) {
                closeFd();
                state = SocketState::Closed;
                leaveLoop();
                if (owner && owner->Close)
                    owner->Close();
                return;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                fail(fromErrno(errno));
            return;
        }
    }
};

TcpClientSocket::TcpClientSocket() : impl_(std::make_shared<Impl>()) {
    impl_->owner = this;
}

TcpClientSocket::~TcpClientSocket() {
    impl_->owner = nullptr;  // a poll on the stack must not call back into us
    close();
}

void TcpClientSocket::close() {
    impl_->closeFd();
    impl_->leaveLoop();
    impl_->outgoing.clear();
    impl_->pendingError.reset();
    impl_->state = SocketState::Closed;
}

SocketState TcpClientSocket::state() const {
    return impl_->state;
}

void TcpClientSocket::connect(const std::string& host, std::uint16_t port) {
    close();
    impl_->received.clear();
    auto& loop = ui::MessageLoop::current();
    impl_->loopLifetime = loop.lifetime();
    std::weak_ptr<Impl> weak = impl_;
    impl_->source = loop.addSource([weak] {
        if (const auto impl = weak.lock())
            impl->poll();
    });
    impl_->state = SocketState::Connecting;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const auto service = std::to_string(port);
    if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 ||
        found == nullptr) {
        impl_->pendingError =
            platform::Error{kSockHostNotFound, std::string(tr("Host nicht gefunden"))};
        return;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        impl_->pendingError = fromErrno(errno);
        return;
    }
    impl_->fd = fd;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        impl_->pendingError = fromErrno(errno);
        impl_->closeFd();
    }
}

bool TcpClientSocket::sendData(std::string_view data) {
    if (impl_->state != SocketState::Connected)
        return false;
    impl_->outgoing.append(data);
    impl_->flush();
    return impl_->state == SocketState::Connected;
}

std::string TcpClientSocket::getData() {
    std::string data;
    data.swap(impl_->received);
    return data;
}

std::uint16_t httpPort() {
    constexpr std::uint16_t kDefault = 80;
    if (!hasCurrentMachine())
        return kDefault;
    const auto ini = IniFile::load(currentMachine().prefix() / "machine.ini");
    if (!ini)
        return kDefault;
    const auto text = ini->get("network", "http_port");
    if (!text)
        return kDefault;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc{} || end != text->data() + text->size() || value == 0 || value > 65535)
        return kDefault;
    return static_cast<std::uint16_t>(value);
}

}  // namespace kx::platform
