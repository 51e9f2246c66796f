#pragma once
// #include "support/web_server.hpp"  (tests/ is on the include path)
//
// WebServer: a small HTTP/1.0-1.1 server on 127.0.0.1 that stands in for the
// outside servers (the maker's web server, the address echo script, proxies)
// in tests. Nothing here ever talks to anything but loopback.
//
//   kx::test::WebServer web;                       // listening once constructed
//   web.serve("/stinger.ver", "3.1.7");            // plain 200 with a body
//   web.serve("/cgi-bin/ip.cgi", WebServer::echoClient());
//   web.serve("/slow", WebServer::Resource{.body = "late", .delay = std::chrono::seconds(2)});
//   fetch(web.url("/stinger.ver"));                // "http://127.0.0.1:<port>/stinger.ver"
//   web.requests()[0].raw                          // the bytes the client sent
//
// As a proxy (requests in absolute form "GET http://127.0.0.1:<port>/x HTTP/1.0"):
//   kx::test::WebServer target;  target.serve("/cgi-bin/ip.cgi", WebServer::echoClient());
//   kx::test::WebServer proxy(WebServer::ProxyMode::Transparent);
//   ... client uses proxy.hostPort() as its proxy; the echo script on `target`
//   then reports what the target saw (REMOTE_ADDR, HTTP_X_FORWARDED_FOR, HTTP_VIA).
//
// Each connection carries one request; every answer says "Connection: close"
// and the connection is closed after it.
// Unknown paths answer 404. The server thread starts in the constructor; the
// destructor stops it, releases held connections and joins every thread.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kx::test {

/// One request as the server received it.
struct RecordedRequest {
    std::string raw;      ///< the exact bytes read from the wire (head and body)
    std::string method;   ///< "GET"
    std::string target;   ///< "/path?query" or, to a proxy, "http://host:port/path"
    std::string version;  ///< "HTTP/1.0"
    std::vector<std::pair<std::string, std::string>> headers;  ///< in order, as sent
    std::string body;
    std::string clientAddress;  ///< dotted peer address, "127.0.0.1"

    /// The first header of that name (case-insensitive), or nullopt.
    std::optional<std::string> header(const std::string& name) const;
    /// The target's path without the query ("/x" also for "http://h:p/x?q").
    std::string path() const;
};

class WebServer {
  public:
    /// How header names of the answer are written.
    enum class HeaderCase { Normal, Lower, Upper, Alternating };

    /// What to do with requests in absolute form ("GET http://host:port/path").
    enum class ProxyMode {
        None,         ///< not a proxy: serve the path from this server's own files
        Transparent,  ///< forward; add "X-Forwarded-For: <client>" and "Via: 1.1 kx-test-proxy"
        Anonymous,    ///< forward; drop X-Forwarded-For, Via, Forwarded, Client-IP; add nothing
    };

    /// What one path answers, and how it misbehaves. Meant for designated
    /// initialisers; pass it spelled out (WebServer::Resource{...}) to serve().
    struct Resource {
        std::string body{};
        int status = 200;
        std::string reason = "OK";
        std::string contentType = "text/plain";
        std::vector<std::pair<std::string, std::string>> extraHeaders{};
        /// When set, builds the body from the request (replaces `body`).
        std::function<std::string(const RecordedRequest&)> handler{};

        // Misbehaviour, combinable.
        std::optional<std::size_t>
            declaredLength{};            ///< Content-Length to claim instead of the true size
        bool omitContentLength = false;  ///< no Content-Length: body delimited by close
        HeaderCase headerCase = HeaderCase::Normal;  ///< lowercase / odd-case header names
        std::chrono::milliseconds delay{0};          ///< wait this long before answering
        std::optional<std::size_t>
            closeAfterBytes{};            ///< send only the first N bytes of the answer, then close
        std::size_t hugeHeaderBytes = 0;  ///< add an "X-Padding" header of this many bytes
        bool noHeaderEnd = false;         ///< send status line and headers but never the blank line
        bool neverAnswer = false;         ///< read the request, send nothing, hold until stopped
    };

    explicit WebServer(ProxyMode mode = ProxyMode::None);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    /// Sets (or replaces) what a path answers; the path is matched without its query.
    void serve(const std::string& path, Resource resource);
    void serve(const std::string& path, std::string body);
    void remove(const std::string& path);
    /// As a proxy, connect onward from this loopback address ("127.0.0.2"),
    /// so the target sees the proxy, not the client, as its peer.
    void setForwardSource(std::string address);

    /// A resource whose body tells what the server saw, one "NAME=value" line each:
    /// "REMOTE_ADDR=<client address>", then per request header "HTTP_<NAME>=<value>"
    /// (name upper-cased, '-' as '_'), e.g. "HTTP_X_FORWARDED_FOR=127.0.0.1".
    static Resource echoClient();

    std::uint16_t port() const { return port_; }
    /// "127.0.0.1:<port>"
    std::string hostPort() const;
    /// "http://127.0.0.1:<port>" + path
    std::string url(const std::string& path = "/") const;

    /// Every request received so far, in arrival order (thread-safe copy).
    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    void clearRequests();
    /// Waits until at least n requests have arrived; false on timeout.
    bool waitForRequests(std::size_t n,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  private:
    void acceptLoop();
    void handle(int fd, std::string peer);
    void answerLocal(int fd, const RecordedRequest& request);
    void forward(int fd, const RecordedRequest& request);
    bool sleepUnlessStopped(std::chrono::milliseconds span) const;
    void holdUntilStopped(int fd) const;

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Resource> files_;
    ProxyMode mode_ = ProxyMode::None;
    std::string forwardSource_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

/// A loopback port on which nothing listens any more.
inline std::uint16_t deadPort() {
    WebServer gone;
    return gone.port();
}

}  // namespace kx::test
