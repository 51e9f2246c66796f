// Download on frmMain against loopback servers: the request on the wire, the
// content-length rules, the progress line, errors, bad answers and cancel.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

#include "anonymity/http_download.hpp"
#include "core/shared_state.hpp"
#include "platform/files/ini.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
#include "services/progress.hpp"
#include "support/language.hpp"
#include "support/temp_machine.hpp"
#include "support/web_server.hpp"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::WebServer;

// Points the machine's plain HTTP port at a loopback server.
void setHttpPort(test::TempMachine& machine, std::uint16_t port) {
    const auto file = machine.prefix() / "machine.ini";
    auto ini = platform::IniFile::load(file);
    ASSERT_TRUE(ini.has_value());
    ini->set("network", "http_port", std::to_string(port));
    ASSERT_TRUE(ini->save(file).has_value());
}

// A one-connection server that sends its answer in pieces with pauses
// between them, so the client sees several arrivals.
class PiecewiseServer {
  public:
    PiecewiseServer(std::vector<std::string> pieces, std::chrono::milliseconds pause) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, pieces = std::move(pieces), pause] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            char buf[4096];
            std::string request;
            for (ssize_t n = 1; n > 0 && request.find("\r\n\r\n") == std::string::npos;) {
                n = ::recv(c, buf, sizeof buf, 0);
                if (n > 0)
                    request.append(buf, static_cast<std::size_t>(n));
            }
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(pause);
                ::send(c, pieces[i].data(), pieces[i].size(), MSG_NOSIGNAL);
            }
            ::close(c);
        });
    }
    ~PiecewiseServer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

class HttpDownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetShared();
        setHttpPort(machine, web.port());
    }
    void TearDown() override {
        unloadProgressWindow();
        resetShared();
    }

    std::string download(const std::string& url) { return mainForm().Download(url); }

    std::string lastLogLine() {
        const auto window = existingProgressWindow();
        return window && window->m_lvLastLine ? window->m_lvLastLine->text : std::string();
    }

    // The texts the progress window's current line shows while `work` runs,
    // each change once.
    template <typename F>
    std::vector<std::string> watchLastLine(F&& work) {
        std::vector<std::string> seen;
        const auto note = [&] {
            const auto text = lastLogLine();
            if (!text.empty() && (seen.empty() || seen.back() != text))
                seen.push_back(text);
        };
        auto& loop = platform::ui::MessageLoop::current();
        const auto id = loop.addSource(note);
        work();
        loop.removeSource(id);
        note();
        return seen;
    }

    WebServer web;
    test::TempMachine machine;
    platform::ui::ScriptedView view;
    platform::ui::ViewScope viewScope{view};
};

// ---- the request -------------------------------------------------------------

TEST_F(HttpDownloadTest, SendsExactlyTheFourLinesAndTheBlankLine) {
    web.serve("/dir/file.txt", "hello");
    web.serve("/cgi-bin/ip.cgi", "1.2.3.4");
    web.serve("/", "root");
    EXPECT_EQ(download("http://127.0.0.1/dir/file.txt"), "hello");
    EXPECT_EQ(download("127.0.0.1/dir/file.txt"), "hello");  // the scheme may be left off
    EXPECT_EQ(download("http://127.0.0.1/cgi-bin/ip.cgi?x=1&y=2"), "1.2.3.4");
    // A host without a path connects nowhere.
    EXPECT_EQ(download("http://127.0.0.1"), "");
    EXPECT_EQ(download("127.0.0.1"), "");
    std::this_thread::sleep_for(100ms);
    const auto requests = web.requests();
    ASSERT_EQ(requests.size(), 3u);
    const std::string tail =
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nAccept: */*\r\n\r\n";
    EXPECT_EQ(requests[0].raw, "GET /dir/file.txt" + tail);
    EXPECT_EQ(requests[1].raw, "GET /dir/file.txt" + tail);
    EXPECT_EQ(requests[2].raw, "GET /cgi-bin/ip.cgi?x=1&y=2" + tail);
}

// ---- what counts as the file ----------------------------------------------------

TEST_F(HttpDownloadTest, BodyCountsOnlyWhenComplete) {
    using R = WebServer::Resource;
    using HC = WebServer::HeaderCase;
    std::string binary;
    for (int round = 0; round < 40; ++round)
        for (int b = 0; b < 256; ++b) binary.push_back(static_cast<char>(b));
    binary += "\r\n\r\nContent-Length: 1\r\n";
    const auto absurd = [](const char* length) {
        return R{.body = "hello",
                 .extraHeaders = {{"Content-Length", length}},
                 .omitContentLength = true};
    };
    struct Case {
        const char* name;
        R answer;
        std::string expected;
    };
    const Case cases[] = {
        {"matching length", R{.body = "hello"}, "hello"},
        {"longer length", R{.body = "hello", .declaredLength = 6}, ""},
        {"shorter length", R{.body = "hello", .declaredLength = 4}, ""},
        {"no length", R{.body = "hello", .omitContentLength = true}, ""},
        {"lower-case name", R{.body = "hello", .headerCase = HC::Lower}, "hello"},
        {"upper-case name", R{.body = "hello", .headerCase = HC::Upper}, "hello"},
        {"odd-case name", R{.body = "hello", .headerCase = HC::Alternating}, "hello"},
        {"mixed-case name",
         R{.body = "hello", .extraHeaders = {{"content-LENGTH", "5"}}, .omitContentLength = true},
         "hello"},
        // A file that talks about HTTP must not change its own length test.
        {"body naming a length", R{.body = "x\r\nContent-Length: 3\r\n"},
         "x\r\nContent-Length: 3\r\n"},
        {"binary body", R{.body = binary}, binary},
        {"error status", R{.body = "Not Found", .status = 404, .reason = "Not Found"}, ""},
        {"closed early", R{.body = std::string(5000, 'e'), .closeAfterBytes = 200}, ""},
        {"huge header block", R{.body = "fine", .hugeHeaderBytes = 200000}, "fine"},
        {"no header end", R{.body = "hello", .noHeaderEnd = true}, ""},
        // No absurd length may wrap around into a match.
        {"length beyond 64 bits", absurd("99999999999999999999999999"), ""},
        {"length 2^32 + 5", absurd("4294967301"), ""},
        {"length 2^31 + 5", absurd("2147483653"), ""},
        {"negative length", absurd("-5"), ""},
        {"length not a number", absurd("abc"), ""},
    };
    Status("Anfang");  // with a window, so the progress line sees every length too
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        web.serve("/case", c.answer);
        EXPECT_EQ(download("http://127.0.0.1/case"), c.expected);
    }
    EXPECT_EQ(download("http://127.0.0.1/unknown"), "");
}

// ---- the progress line ------------------------------------------------------------

TEST_F(HttpDownloadTest, ProgressLineRunsThroughHalfToFull) {
    const std::string half(1024, 'a');
    PiecewiseServer server({"HTTP/1.1 200 OK\r\nContent-Length: 2048\r\n\r\n" + half, half}, 600ms);
    setHttpPort(machine, server.port());
    Status("Download beginnt");
    const auto seen = watchLastLine(
        [&] { EXPECT_EQ(download("http://127.0.0.1/Stinger/BIG.exe"), half + half); });
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), "Download beginnt");
    EXPECT_NE(std::find(seen.begin(), seen.end(), "Download http://127.0.0.1/stinger/big.exe 50%"),
              seen.end());
    EXPECT_EQ(seen.back(), "Download http://127.0.0.1/stinger/big.exe 100%");
    // The line is replaced, not added.
    EXPECT_EQ(existingProgressWindow()->lvLog->count(), 1u);
}

TEST_F(HttpDownloadTest, ProgressOnlyAbove1024BytesInAnOpenWindowByTheUsualHeaderName) {
    const std::string big(2048, 'c');
    web.serve("/big", big);
    EXPECT_EQ(download("http://127.0.0.1/big"), big);
    EXPECT_EQ(existingProgressWindow(), nullptr);  // none is created

    web.serve("/small", std::string(1024, 'b'));
    web.serve("/upper",
              WebServer::Resource{.body = big, .headerCase = WebServer::HeaderCase::Upper});
    Status("Anfang");
    const auto seen = watchLastLine([&] {
        EXPECT_EQ(download("http://127.0.0.1/small"), std::string(1024, 'b'));
        EXPECT_EQ(download("http://127.0.0.1/upper"), big);
    });
    EXPECT_EQ(seen, std::vector<std::string>{"Anfang"});
    EXPECT_EQ(download("http://127.0.0.1/big"), big);
    EXPECT_EQ(lastLogLine(), "Download http://127.0.0.1/big 100%");
}

// ---- errors ----------------------------------------------------------------------

TEST_F(HttpDownloadTest, ErrorsShowTheirLineAndFrmMainIsReused) {
    web.serve("/a", "first");
    web.serve("/b", "second");
    EXPECT_EQ(download("http:///x"), "");
    EXPECT_EQ(lastLogLine(), "HTTP Error: Host nicht gefunden11001");
    setHttpPort(machine, test::deadPort());
    EXPECT_EQ(download("http://127.0.0.1/a"), "");
    EXPECT_EQ(lastLogLine(), "HTTP Error: Die Verbindung wurde von der Gegenseite abgelehnt10061");
    setHttpPort(machine, web.port());
    EXPECT_EQ(download("http://127.0.0.1/a"), "first");
    EXPECT_EQ(download("http://127.0.0.1/b"), "second");
    EXPECT_TRUE(mainForm().isLoaded());
}

TEST_F(HttpDownloadTest, SocketErrorDescriptionsReadInEnglish) {
    KX_ONLY_IN_ENGLISH();
    const struct {
        std::uint16_t port;
        const char* url;
        const char* line;
    } cases[] = {
        {web.port(), "http:///x", "HTTP error: Host not found11001"},
        {test::deadPort(), "http://127.0.0.1/a",
         "HTTP error: Connection is forcefully rejected10061"},
    };
    for (const auto& c : cases) {
        setHttpPort(machine, c.port);
        EXPECT_EQ(download(c.url), "") << c.url;
        EXPECT_EQ(lastLogLine(), c.line);
    }
}

// ---- cancel ------------------------------------------------------------------------

TEST_F(HttpDownloadTest, BreakEndsTheWaitOnAServerThatNeverAnswers) {
    web.serve("/x", "data");
    shared().gbBreak = true;
    EXPECT_EQ(download("http://127.0.0.1/x"), "");  // already set: ends at once
    shared().gbBreak = false;

    web.serve("/never", WebServer::Resource{.neverAnswer = true});
    auto& loop = platform::ui::MessageLoop::current();
    const auto timer = loop.addTimer(platform::ui::Millis(500), [] { shared().gbBreak = true; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(download("http://127.0.0.1/never"), "");
    loop.removeTimer(timer);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(mainForm().wscHttp.state(), platform::SocketState::Closed);

    // The next download starts clean.
    shared().gbBreak = false;
    web.serve("/ok", "fresh");
    EXPECT_EQ(download("http://127.0.0.1/ok"), "fresh");
}

TEST_F(HttpDownloadTest, SecondDownloadWhileWaitingIsRefused) {
    const std::string half(10, 'h');
    PiecewiseServer server({"HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + half, half}, 500ms);
    setHttpPort(machine, server.port());
    std::string inner = "unset";
    auto& loop = platform::ui::MessageLoop::current();
    bool once = false;
    const auto timer = loop.addTimer(platform::ui::Millis(100), [&] {
        if (!once) {
            once = true;
            inner = mainForm().Download("http://127.0.0.1/other");
        }
    });
    EXPECT_EQ(download("http://127.0.0.1/first"), half + half);
    loop.removeTimer(timer);
    EXPECT_EQ(inner, "");
}

// ---- pieces ------------------------------------------------------------------------

TEST(HttpLeadingNumber, ReadsDigitsAfterBlanks) {
    EXPECT_EQ(leadingNumber("  42abc"), 42);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
}

}  // namespace
}  // namespace kx
