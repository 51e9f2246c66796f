// The loopback stand-in itself: what it serves, records and how it misbehaves.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "support/web_server.hpp"

namespace kx::test {
namespace {

using namespace std::chrono_literals;

struct Reply {
    std::string bytes;
    bool closedByServer = false;  // false: gave up waiting
};

// Sends raw bytes to 127.0.0.1:port and reads until the server closes or `wait` passes.
Reply exchange(std::uint16_t port, const std::string& raw, std::chrono::milliseconds wait = 3s) {
    Reply reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return reply;
    }
    ::send(fd, raw.data(), raw.size(), MSG_NOSIGNAL);
    const auto until = std::chrono::steady_clock::now() + wait;
    char chunk[4096];
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            reply.closedByServer = true;
            break;
        }
        reply.bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return reply;
}

std::string get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

std::string bodyOf(const std::string& reply) {
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

TEST(WebServer, ServesFilesAndRecordsTheRawRequest) {
    WebServer web;
    web.serve("/stinger.ver", "3.1.7");
    const std::string raw = get("/stinger.ver?x=1", "User-Agent: Mozilla/4.0\r\n");
    const Reply reply = exchange(web.port(), raw);
    EXPECT_TRUE(reply.closedByServer);
    EXPECT_TRUE(reply.bytes.starts_with("HTTP/1.1 200 OK\r\n"));
    EXPECT_NE(reply.bytes.find("Content-Length: 5\r\n"), std::string::npos);
    EXPECT_EQ(bodyOf(reply.bytes), "3.1.7");

    const auto seen = web.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].raw, raw);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/stinger.ver?x=1");
    EXPECT_EQ(seen[0].path(), "/stinger.ver");
    EXPECT_EQ(seen[0].version, "HTTP/1.0");
    EXPECT_EQ(seen[0].header("user-agent").value_or(""), "Mozilla/4.0");
    EXPECT_EQ(seen[0].clientAddress, "127.0.0.1");

    const Reply missing = exchange(web.port(), get("/nothing"));
    EXPECT_TRUE(missing.bytes.starts_with("HTTP/1.1 404 Not Found\r\n"));
}

TEST(WebServer, MisbehavesOnRequest) {
    WebServer web;
    web.serve("/short", WebServer::Resource{.body = "0123456789", .declaredLength = 20});
    web.serve("/noclen", WebServer::Resource{.body = "till close", .omitContentLength = true});
    web.serve("/odd",
              WebServer::Resource{.body = "x", .headerCase = WebServer::HeaderCase::Alternating});
    web.serve("/lower",
              WebServer::Resource{.body = "x", .headerCase = WebServer::HeaderCase::Lower});
    web.serve("/cut", WebServer::Resource{.body = std::string(100, 'b'), .closeAfterBytes = 10});
    web.serve("/huge", WebServer::Resource{.body = "x", .hugeHeaderBytes = 100000});
    web.serve("/nohead", WebServer::Resource{.body = "never", .noHeaderEnd = true});

    EXPECT_NE(exchange(web.port(), get("/short")).bytes.find("Content-Length: 20\r\n"),
              std::string::npos);
    const Reply noclen = exchange(web.port(), get("/noclen"));
    EXPECT_EQ(noclen.bytes.find("Content-Length"), std::string::npos);
    EXPECT_EQ(bodyOf(noclen.bytes), "till close");
    EXPECT_TRUE(noclen.closedByServer);
    EXPECT_NE(exchange(web.port(), get("/odd")).bytes.find("cOnTeNt-lEnGtH: 1\r\n"),
              std::string::npos);
    EXPECT_NE(exchange(web.port(), get("/lower")).bytes.find("content-length: 1\r\n"),
              std::string::npos);
    EXPECT_EQ(exchange(web.port(), get("/cut")).bytes, "HTTP/1.1 2");
    const Reply huge = exchange(web.port(), get("/huge"));
    EXPECT_GT(huge.bytes.size(), 100000u);
    EXPECT_EQ(bodyOf(huge.bytes), "x");
    const Reply nohead = exchange(web.port(), get("/nohead"));
    EXPECT_TRUE(nohead.closedByServer);
    EXPECT_EQ(nohead.bytes.find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(nohead.bytes.find("never"), std::string::npos);
}

TEST(WebServer, SilentAnswerAndAStopThatReleasesHeldConnections) {
    auto web = std::make_unique<WebServer>();
    web->serve("/silent", WebServer::Resource{.neverAnswer = true});
    const Reply silent = exchange(web->port(), get("/silent"), 300ms);
    EXPECT_FALSE(silent.closedByServer);
    EXPECT_TRUE(silent.bytes.empty());
    EXPECT_TRUE(web->waitForRequests(1));

    // A held connection must not keep the destructor waiting.
    const auto stopAt = std::chrono::steady_clock::now();
    web.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 2s);
}

TEST(WebServer, TransparentProxyRevealsTheClientAnonymousProxyHidesIt) {
    WebServer target;
    target.serve("/cgi-bin/ip.cgi", WebServer::echoClient());
    WebServer transparent(WebServer::ProxyMode::Transparent);
    WebServer anonymous(WebServer::ProxyMode::Anonymous);

    const std::string through =
        get(target.url("/cgi-bin/ip.cgi"), "Proxy-Connection: keep-alive\r\n");
    const std::string shown = bodyOf(exchange(transparent.port(), through).bytes);
    EXPECT_NE(shown.find("HTTP_X_FORWARDED_FOR=127.0.0.1\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("HTTP_VIA=1.0 kx-test-proxy\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("PROXY_CONNECTION"), std::string::npos) << shown;

    // The client tries to give itself away; the anonymous proxy drops it.
    const std::string hidden =
        bodyOf(exchange(anonymous.port(),
                        get(target.url("/cgi-bin/ip.cgi"), "X-Forwarded-For: 10.1.2.3\r\n"))
                   .bytes);
    EXPECT_TRUE(hidden.starts_with("REMOTE_ADDR=127.0.0.1\n")) << hidden;
    EXPECT_EQ(hidden.find("X_FORWARDED_FOR"), std::string::npos) << hidden;
    EXPECT_EQ(hidden.find("VIA"), std::string::npos) << hidden;

    ASSERT_EQ(target.requestCount(), 2u);
    EXPECT_EQ(target.requests()[0].target, "/cgi-bin/ip.cgi");
    EXPECT_EQ(transparent.requests()[0].target, target.url("/cgi-bin/ip.cgi"));

    // Nothing is forwarded off the machine.
    const Reply outside = exchange(transparent.port(), get("http://example.com/"));
    EXPECT_TRUE(outside.bytes.starts_with("HTTP/1.0 502")) << outside.bytes;
}

}  // namespace
}  // namespace kx::test
