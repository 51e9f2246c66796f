// Download on frmMain against loopback servers: the request on the wire, the
// content-length rules, the progress line, errors, bad answers and cancel.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "anonymity/http_download.hpp"
#include "frame/progress.hpp"
#include "frame/shared_state.hpp"
#include "platform/ini.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
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

// A port on which nothing listens: bound once, then released.
std::uint16_t deadPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A one-connection server that sends its answer in pieces with pauses
// between them, so the client sees several arrivals.
class PiecewiseServer {
  public:
    PiecewiseServer(std::vector<std::string> pieces, std::chrono::milliseconds pause)
        : pieces_(std::move(pieces)), pause_(pause) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 1);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~PiecewiseServer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }

  private:
    void run() {
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0)
            return;
        char buf[4096];
        std::string request;
        while (request.find("\r\n\r\n") == std::string::npos) {
            const auto n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, static_cast<std::size_t>(n));
        }
        for (std::size_t i = 0; i < pieces_.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(pause_);
            ::send(c, pieces_[i].data(), pieces_[i].size(), MSG_NOSIGNAL);
        }
        ::close(c);
    }

    std::vector<std::string> pieces_;
    std::chrono::milliseconds pause_;
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

    // The texts the progress window's current line shows while `work` runs,
    // each change once.
    template <typename F>
    std::vector<std::string> watchLastLine(F&& work) {
        std::vector<std::string> seen;
        auto& loop = platform::ui::MessageLoop::current();
        const auto id = loop.addSource([&] {
            const auto window = existingProgressWindow();
            if (window && window->m_lvLastLine &&
                (seen.empty() || seen.back() != window->m_lvLastLine->text))
                seen.push_back(window->m_lvLastLine->text);
        });
        work();
        loop.removeSource(id);
        const auto window = existingProgressWindow();
        if (window && window->m_lvLastLine &&
            (seen.empty() || seen.back() != window->m_lvLastLine->text))
            seen.push_back(window->m_lvLastLine->text);
        return seen;
    }

    std::string lastLogLine() {
        const auto window = existingProgressWindow();
        return window && window->m_lvLastLine ? window->m_lvLastLine->text : std::string();
    }

    WebServer web;
    test::TempMachine machine;
    platform::ui::ScriptedView view;
    platform::ui::ViewScope viewScope{view};
};

// ---- the request -------------------------------------------------------------

TEST_F(HttpDownloadTest, SendsExactlyTheFourLinesAndTheBlankLine) {
    web.serve("/dir/file.txt", "hello");
    EXPECT_EQ(download("http://127.0.0.1/dir/file.txt"), "hello");
    ASSERT_EQ(web.requestCount(), 1u);
    EXPECT_EQ(web.requests()[0].raw,
              "GET /dir/file.txt HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
              "Accept: */*\r\n\r\n");
}

TEST_F(HttpDownloadTest, UrlWithoutSchemeSendsTheSameRequest) {
    web.serve("/dir/file.txt", "hello");
    EXPECT_EQ(download("http://127.0.0.1/dir/file.txt"), "hello");
    EXPECT_EQ(download("127.0.0.1/dir/file.txt"), "hello");
    const auto requests = web.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].raw, requests[1].raw);
}

TEST_F(HttpDownloadTest, HostWithoutPathConnectsNowhere) {
    web.serve("/", "root");
    EXPECT_EQ(download("http://127.0.0.1"), "");
    EXPECT_EQ(download("127.0.0.1"), "");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(web.requestCount(), 0u);
}

TEST_F(HttpDownloadTest, QueryAndPathAreSentAsGiven) {
    web.serve("/cgi-bin/ip.cgi", "1.2.3.4");
    EXPECT_EQ(download("http://127.0.0.1/cgi-bin/ip.cgi?x=1&y=2"), "1.2.3.4");
    ASSERT_EQ(web.requestCount(), 1u);
    EXPECT_TRUE(web.requests()[0].raw.starts_with("GET /cgi-bin/ip.cgi?x=1&y=2 HTTP/1.1\r\n"));
}

// ---- content-length ------------------------------------------------------------

TEST_F(HttpDownloadTest, BodyCountsOnlyWithMatchingContentLength) {
    web.serve("/five", "hello");
    WebServer::Resource six{.body = "hello"};
    six.declaredLength = 6;
    web.serve("/six", six);
    WebServer::Resource four{.body = "hello"};
    four.declaredLength = 4;
    web.serve("/four", four);
    WebServer::Resource none{.body = "hello"};
    none.omitContentLength = true;
    web.serve("/none", none);

    EXPECT_EQ(download("http://127.0.0.1/five"), "hello");
    EXPECT_EQ(download("http://127.0.0.1/six"), "");
    EXPECT_EQ(download("http://127.0.0.1/four"), "");
    EXPECT_EQ(download("http://127.0.0.1/none"), "");
}

TEST_F(HttpDownloadTest, HeaderNameInAnyCaseCountsForCompleteness) {
    for (const auto headerCase : {WebServer::HeaderCase::Lower, WebServer::HeaderCase::Upper,
                                  WebServer::HeaderCase::Alternating}) {
        WebServer::Resource r{.body = "hello"};
        r.headerCase = headerCase;
        web.serve("/odd", r);
        EXPECT_EQ(download("http://127.0.0.1/odd"), "hello") << static_cast<int>(headerCase);
    }
    WebServer::Resource mixed{.body = "hello"};
    mixed.omitContentLength = true;
    mixed.extraHeaders = {{"content-LENGTH", "5"}};
    web.serve("/mixed", mixed);
    EXPECT_EQ(download("http://127.0.0.1/mixed"), "hello");
}

TEST_F(HttpDownloadTest, BodyTextMentioningContentLengthDoesNotCount) {
    // A file that talks about HTTP must not change its own length test.
    const std::string body = "x\r\nContent-Length: 3\r\n";
    web.serve("/doc", body);
    EXPECT_EQ(download("http://127.0.0.1/doc"), body);
}

TEST_F(HttpDownloadTest, ErrorStatusIsNotTheFile) {
    WebServer::Resource missing{.body = "Not Found", .status = 404, .reason = "Not Found"};
    web.serve("/gone", missing);
    EXPECT_EQ(download("http://127.0.0.1/gone"), "");
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

TEST_F(HttpDownloadTest, ProgressLineLeftAloneAtOrBelow1024Bytes) {
    web.serve("/small", std::string(1024, 'b'));
    Status("Anfang");
    const auto seen = watchLastLine(
        [&] { EXPECT_EQ(download("http://127.0.0.1/small"), std::string(1024, 'b')); });
    EXPECT_EQ(seen, std::vector<std::string>{"Anfang"});
}

TEST_F(HttpDownloadTest, ProgressNeedsTheHeaderNameAsServersWriteIt) {
    WebServer::Resource big{.body = std::string(2048, 'c')};
    big.headerCase = WebServer::HeaderCase::Upper;
    web.serve("/upper", big);
    Status("Anfang");
    EXPECT_EQ(download("http://127.0.0.1/upper"), std::string(2048, 'c'));
    EXPECT_EQ(lastLogLine(), "Anfang");

    web.serve("/normal", std::string(2048, 'c'));
    EXPECT_EQ(download("http://127.0.0.1/normal"), std::string(2048, 'c'));
    EXPECT_EQ(lastLogLine(), "Download http://127.0.0.1/normal 100%");
}

TEST_F(HttpDownloadTest, ProgressWithoutWindowCreatesNone) {
    web.serve("/big", std::string(4096, 'd'));
    EXPECT_EQ(download("http://127.0.0.1/big"), std::string(4096, 'd'));
    EXPECT_EQ(existingProgressWindow(), nullptr);
}

// ---- errors ----------------------------------------------------------------------

TEST_F(HttpDownloadTest, RefusedConnectionShowsTheErrorLine) {
    setHttpPort(machine, deadPort());
    EXPECT_EQ(download("http://127.0.0.1/x"), "");
    EXPECT_EQ(lastLogLine(), "HTTP Error: Connection is forcefully rejected10061");
}

TEST_F(HttpDownloadTest, HostThatCannotBeResolvedShowsTheErrorLine) {
    EXPECT_EQ(download("http:///x"), "");
    EXPECT_EQ(lastLogLine(), "HTTP Error: Host not found11001");
}

TEST_F(HttpDownloadTest, FrmMainIsReusedAcrossDownloads) {
    web.serve("/a", "first");
    web.serve("/b", "second");
    setHttpPort(machine, deadPort());
    EXPECT_EQ(download("http://127.0.0.1/a"), "");
    setHttpPort(machine, web.port());
    EXPECT_EQ(download("http://127.0.0.1/a"), "first");
    EXPECT_EQ(download("http://127.0.0.1/b"), "second");
    EXPECT_EQ(&mainForm(), &mainForm());
    EXPECT_TRUE(mainForm().isLoaded());
}

// ---- bad answers -------------------------------------------------------------------

TEST_F(HttpDownloadTest, AnswerWithoutHeaderEndIsEmpty) {
    WebServer::Resource r{.body = "hello"};
    r.noHeaderEnd = true;
    web.serve("/nohead", r);
    EXPECT_EQ(download("http://127.0.0.1/nohead"), "");

    PiecewiseServer raw({"HTTP/1.1 200 OK\r\nContent-Length: 0"}, 0ms);
    setHttpPort(machine, raw.port());
    EXPECT_EQ(download("http://127.0.0.1/raw"), "");
}

TEST_F(HttpDownloadTest, AbsurdContentLengthsNeverMatch) {
    for (const std::string value :
         {"99999999999999999999999999", "4294967301", "-5", "abc", "2147483653"}) {
        WebServer::Resource r{.body = "hello"};
        r.omitContentLength = true;
        r.extraHeaders = {{"Content-Length", value}};
        web.serve("/absurd", r);
        Status("Anfang");
        EXPECT_EQ(download("http://127.0.0.1/absurd"), "") << value;
    }
}

TEST_F(HttpDownloadTest, BinaryBodyComesBackByteForByte) {
    std::string body;
    for (int round = 0; round < 40; ++round)
        for (int b = 0; b < 256; ++b) body.push_back(static_cast<char>(b));
    body += "\r\n\r\nContent-Length: 1\r\n";
    web.serve("/bin", body);
    EXPECT_EQ(download("http://127.0.0.1/bin"), body);
}

TEST_F(HttpDownloadTest, ConnectionClosedEarlyIsEmpty) {
    WebServer::Resource r{.body = std::string(5000, 'e')};
    r.closeAfterBytes = 200;
    web.serve("/cut", r);
    EXPECT_EQ(download("http://127.0.0.1/cut"), "");
}

TEST_F(HttpDownloadTest, HugeHeaderBlockStillSplits) {
    WebServer::Resource r{.body = "fine"};
    r.hugeHeaderBytes = 200000;
    web.serve("/huge", r);
    EXPECT_EQ(download("http://127.0.0.1/huge"), "fine");
}

// ---- cancel ------------------------------------------------------------------------

TEST_F(HttpDownloadTest, BreakEndsTheWaitOnAServerThatNeverAnswers) {
    WebServer::Resource r;
    r.neverAnswer = true;
    web.serve("/never", r);
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

TEST_F(HttpDownloadTest, BreakAlreadySetEndsAtOnce) {
    web.serve("/x", "data");
    shared().gbBreak = true;
    EXPECT_EQ(download("http://127.0.0.1/x"), "");
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
