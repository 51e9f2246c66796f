// The loopback stand-in for outside servers; see web_server.hpp.
#include "web_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kx::test {
namespace {

constexpr std::size_t kMaxHead = 1 << 20;
constexpr std::size_t kMaxBody = 16 << 20;
constexpr int kTick = 50;  // ms between looks at the stop flag

std::string asciiLower(std::string s) {
    std::ranges::transform(s, s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

std::string trimHeaderBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

std::string styled(const std::string& name, WebServer::HeaderCase style) {
    std::string out = name;
    switch (style) {
        case WebServer::HeaderCase::Normal:
            break;
        case WebServer::HeaderCase::Lower:
            out = asciiLower(out);
            break;
        case WebServer::HeaderCase::Upper:
            std::ranges::transform(out, out.begin(),
                                   [](unsigned char c) { return std::toupper(c); });
            break;
        case WebServer::HeaderCase::Alternating:
            for (std::size_t i = 0; i < out.size(); ++i) {
                const auto c = static_cast<unsigned char>(out[i]);
                out[i] = static_cast<char>(i % 2 ? std::toupper(c) : std::tolower(c));
            }
            break;
    }
    return out;
}

// Sends everything unless the peer goes away; false then.
bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Where the head of a message ends (after the blank line), or npos.
std::size_t headEnd(const std::string& buffer) {
    const auto crlf = buffer.find("\r\n\r\n");
    const auto lf = buffer.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos)
        return std::string::npos;
    if (lf == std::string::npos || (crlf != std::string::npos && crlf < lf))
        return crlf + 4;
    return lf + 2;
}

}  // namespace

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (equalNoCase(key, name))
            return value;
    return std::nullopt;
}

std::string RecordedRequest::path() const {
    std::string p = target;
    if (const auto scheme = p.find("://"); scheme != std::string::npos) {
        const auto slash = p.find('/', scheme + 3);
        p = slash == std::string::npos ? "/" : p.substr(slash);
    }
    if (const auto q = p.find('?'); q != std::string::npos)
        p.resize(q);
    return p;
}

WebServer::WebServer(ProxyMode mode) : mode_(mode) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("WebServer: socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("WebServer: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

WebServer::~WebServer() {
    stop_ = true;
    if (acceptor_.joinable())
        acceptor_.join();
    ::close(listenFd_);
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(connections_);
    }
    for (auto& t : threads)
        if (t.joinable())
            t.join();
}

void WebServer::serve(const std::string& path, Resource resource) {
    std::lock_guard lock(mutex_);
    files_[path] = std::move(resource);
}

void WebServer::serve(const std::string& path, std::string body) {
    Resource r;
    r.body = std::move(body);
    serve(path, std::move(r));
}

void WebServer::remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    files_.erase(path);
}

WebServer::Resource WebServer::echoClient() {
    Resource r;
    r.handler = [](const RecordedRequest& request) {
        std::string out = "REMOTE_ADDR=" + request.clientAddress + "\n";
        for (const auto& [name, value] : request.headers) {
            std::string env = "HTTP_";
            for (const unsigned char c : name)
                env += c == '-' ? '_' : static_cast<char>(std::toupper(c));
            out += env + "=" + value + "\n";
        }
        return out;
    };
    return r;
}

std::string WebServer::hostPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string WebServer::url(const std::string& path) const {
    return "http://" + hostPort() + path;
}

std::vector<RecordedRequest> WebServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t WebServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void WebServer::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool WebServer::waitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (requestCount() < n) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void WebServer::acceptLoop() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kTick) <= 0)
            continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd, address = std::string(text)] {
            handle(fd, address);
            ::close(fd);
        });
    }
}

bool WebServer::sleepUnlessStopped(std::chrono::milliseconds span) const {
    const auto until = std::chrono::steady_clock::now() + span;
    while (!stop_) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(kTick)));
    }
    return false;
}

void WebServer::holdUntilStopped(int fd) const {
    // Keep reading (and discarding) so the client's writes never block; stop
    // holding when the server stops. A client that closes is simply waited out.
    char sink[4096];
    bool open = true;
    while (!stop_) {
        if (!open) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kTick));
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kTick) > 0 && ::recv(fd, sink, sizeof sink, 0) <= 0)
            open = false;
    }
}

void WebServer::handle(int fd, std::string peer) {
    std::string buffer;
    std::size_t end = std::string::npos;
    char chunk[8192];
    while (!stop_ && (end = headEnd(buffer)) == std::string::npos && buffer.size() < kMaxHead) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kTick) <= 0)
            continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    if (end == std::string::npos) {
        // Closed, stopped or over-long before the head ended: record what came.
        if (!buffer.empty()) {
            RecordedRequest partial;
            partial.raw = buffer;
            partial.clientAddress = peer;
            std::lock_guard lock(mutex_);
            requests_.push_back(std::move(partial));
        }
        return;
    }

    RecordedRequest request;
    request.clientAddress = std::move(peer);
    {
        const std::string head = buffer.substr(0, end);
        std::size_t pos = 0;
        bool first = true;
        while (pos < head.size()) {
            auto eol = head.find('\n', pos);
            if (eol == std::string::npos)
                eol = head.size();
            std::string line = head.substr(pos, eol - pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            pos = eol + 1;
            if (line.empty())
                break;
            if (first) {
                first = false;
                const auto a = line.find(' ');
                const auto b = line.rfind(' ');
                request.method = line.substr(0, a);
                if (a != std::string::npos && b > a) {
                    request.target = line.substr(a + 1, b - a - 1);
                    request.version = line.substr(b + 1);
                } else if (a != std::string::npos) {
                    request.target = line.substr(a + 1);  // HTTP/0.9 style
                }
                continue;
            }
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            request.headers.emplace_back(
                trimHeaderBlanks(std::string_view(line).substr(0, colon)),
                trimHeaderBlanks(std::string_view(line).substr(colon + 1)));
        }
    }
    std::size_t bodyLength = 0;
    if (const auto cl = request.header("Content-Length")) {
        try {
            bodyLength = std::min<std::size_t>(std::stoull(*cl), kMaxBody);
        } catch (const std::exception&) {
            bodyLength = 0;
        }
    }
    while (!stop_ && buffer.size() < end + bodyLength) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kTick) <= 0)
            continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    request.body = buffer.substr(end, bodyLength);
    request.raw = buffer.substr(0, std::min(buffer.size(), end + bodyLength));
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }

    ProxyMode mode;
    {
        std::lock_guard lock(mutex_);
        mode = mode_;
    }
    if (mode != ProxyMode::None && request.target.starts_with("http://"))
        forward(fd, request);
    else
        answerLocal(fd, request);
}

void WebServer::answerLocal(int fd, const RecordedRequest& request) {
    Resource r;
    {
        std::lock_guard lock(mutex_);
        const auto it = files_.find(request.path());
        if (it != files_.end()) {
            r = it->second;
        } else {
            r.status = 404;
            r.reason = "Not Found";
            r.body = "not found\n";
        }
    }
    if (r.neverAnswer) {
        holdUntilStopped(fd);
        return;
    }
    if (r.delay.count() > 0 && !sleepUnlessStopped(r.delay))
        return;

    const std::string body = r.handler ? r.handler(request) : r.body;
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + r.reason + "\r\n";
    auto add = [&](const std::string& name, const std::string& value) {
        head += styled(name, r.headerCase) + ": " + value + "\r\n";
    };
    add("Server", "kx-test");
    add("Content-Type", r.contentType);
    if (!r.omitContentLength)
        add("Content-Length", std::to_string(r.declaredLength.value_or(body.size())));
    for (const auto& [name, value] : r.extraHeaders) add(name, value);
    if (r.hugeHeaderBytes > 0)
        add("X-Padding", std::string(r.hugeHeaderBytes, 'x'));
    add("Connection", "close");

    std::string wire =
        r.noHeaderEnd ? head : head + "\r\n" + (request.method == "HEAD" ? "" : body);
    if (r.closeAfterBytes && *r.closeAfterBytes < wire.size())
        wire.resize(*r.closeAfterBytes);
    sendAll(fd, wire);
}

void WebServer::setForwardSource(std::string address) {
    std::lock_guard lock(mutex_);
    forwardSource_ = std::move(address);
}

void WebServer::forward(int fd, const RecordedRequest& request) {
    auto fail = [&](const std::string& why) {
        const std::string body = why + "\n";
        sendAll(fd, "HTTP/1.0 502 Bad Gateway\r\nContent-Type: text/plain\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    };
    // "http://host[:port]/path"
    const std::string rest = request.target.substr(7);
    const auto slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    const std::string path = slash == std::string::npos ? "/" : rest.substr(slash);
    std::string host = authority;
    std::uint16_t port = 80;
    if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        try {
            port = static_cast<std::uint16_t>(std::stoul(authority.substr(colon + 1)));
        } catch (const std::exception&) {
            return fail("bad port");
        }
    }
    // Tests never leave the machine: only loopback targets are forwarded.
    if (host != "127.0.0.1" && host != "localhost")
        return fail("only loopback targets are forwarded");

    ProxyMode mode;
    {
        std::lock_guard lock(mutex_);
        mode = mode_;
    }
    std::string out = request.method + " " + path + " " +
                      (request.version.empty() ? "HTTP/1.0" : request.version) + "\r\n";
    std::optional<std::string> forwardedFor;
    for (const auto& [name, value] : request.headers) {
        const std::string key = asciiLower(name);
        if (key == "connection" || key == "proxy-connection" || key == "keep-alive" ||
            key == "proxy-authorization")
            continue;
        if (key == "x-forwarded-for" || key == "via" || key == "forwarded" || key == "client-ip") {
            if (mode == ProxyMode::Anonymous)
                continue;
            if (key == "x-forwarded-for") {
                forwardedFor = value;
                continue;
            }
        }
        out += name + ": " + value + "\r\n";
    }
    if (mode == ProxyMode::Transparent) {
        out +=
            "X-Forwarded-For: " +
            (forwardedFor ? *forwardedFor + ", " + request.clientAddress : request.clientAddress) +
            "\r\n";
        out += "Via: " + std::string(request.version == "HTTP/1.1" ? "1.1" : "1.0") +
               " kx-test-proxy\r\n";
    }
    out += "Connection: close\r\n\r\n" + request.body;

    const int up = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (up < 0)
        return fail("socket failed");
    std::string source;
    {
        std::lock_guard lock(mutex_);
        source = forwardSource_;
    }
    if (!source.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (::inet_pton(AF_INET, source.c_str(), &local.sin_addr) != 1 ||
            ::bind(up, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(up);
            return fail("cannot connect from " + source);
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(up, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !sendAll(up, out)) {
        ::close(up);
        return fail("cannot reach " + authority);
    }
    char chunk[8192];
    while (!stop_) {
        pollfd p{up, POLLIN, 0};
        if (::poll(&p, 1, kTick) <= 0)
            continue;
        const ssize_t n = ::recv(up, chunk, sizeof chunk, 0);
        if (n <= 0 || !sendAll(fd, std::string_view(chunk, static_cast<std::size_t>(n))))
            break;
    }
    ::close(up);
}

}  // namespace kx::test
