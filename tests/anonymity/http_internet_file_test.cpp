// GetInternetFile, GetDownloadProxy, IsConnection and URLDownloadToFileA
// against loopback servers, and the console commands that reach them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "anonymity/internet_file.hpp"
#include "frame/kolvanex.hpp"
#include "frame/progress.hpp"
#include "frame/shared_state.hpp"
#include "platform/inet.hpp"
#include "platform/ini.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/interrupt.hpp"
#include "platform/ui/view.hpp"
#include "settings/settings_store.hpp"
#include "support/host_run.hpp"
#include "support/temp_machine.hpp"
#include "support/web_server.hpp"

namespace kx {
namespace {

using namespace std::chrono_literals;
using test::WebServer;
namespace ui = platform::ui;

platform::MachineConfig configWithMaker(const WebServer& maker) {
    auto config = platform::MachineConfig::defaults();
    config.endpoints["maker"] = maker.url("");
    return config;
}

void setDownloadProxy(const std::string& host, const std::string& port) {
    const auto app = settings::applicationName();
    ASSERT_TRUE(settings::SaveSetting(app, "Options", "DownLoadProxy", host));
    ASSERT_TRUE(settings::SaveSetting(app, "Options", "DownLoadPort", port));
}

class InternetFileTest : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override {
        unloadProgressWindow();
        (void)ui::takeInterrupt();
        resetShared();
    }

    WebServer maker;
    test::TempMachine machine{configWithMaker(maker)};
    ui::ScriptedView view;
    ui::ViewScope viewScope{view};
    ui::RecordingCursor cursor;
    ui::CursorScope cursorScope{cursor};
    CKOLVANEX kolvanex;
};

// ---- GetInternetFile -------------------------------------------------------------

TEST_F(InternetFileTest, BlanksAroundTheTextFallAway) {
    maker.serve("/echo", "   abc   ");
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/echo")).value(), "abc");
    // Only blanks: line ends and tabs are text.
    maker.serve("/lines", " \r\nabc\t ");
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/lines")).value(), "\r\nabc\t");
}

TEST_F(InternetFileTest, SendsTheOldAgentAndAsksForAFreshCopy) {
    maker.serve("/v", "1");
    ASSERT_EQ(kolvanex.GetInternetFile(maker.url("/v")).value(), "1");
    ASSERT_EQ(maker.requestCount(), 1u);
    const auto request = maker.requests()[0];
    EXPECT_EQ(request.header("User-Agent").value_or(""), "Mozilla/4.0");
    EXPECT_EQ(request.header("Pragma").value_or(""), "no-cache");
    EXPECT_EQ(request.header("Cache-Control").value_or(""), "no-cache");
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/v");
}

TEST_F(InternetFileTest, ShowsTheHourglassAndRestoresThePointer) {
    maker.serve("/v", "1");
    (void)kolvanex.GetInternetFile(maker.url("/v"));
    EXPECT_EQ(cursor.history,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
    cursor.history.clear();
    (void)kolvanex.GetInternetFile("nonsense");
    EXPECT_EQ(cursor.history,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
}

TEST_F(InternetFileTest, FailuresAnswerEmpty) {
    WebServer::Resource missing{.body = "Not Found", .status = 404, .reason = "Not Found"};
    maker.serve("/missing", missing);
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/missing")).value(), "");
    EXPECT_EQ(kolvanex.GetInternetFile("").value(), "");
    EXPECT_EQ(kolvanex.GetInternetFile("file:///etc/passwd").value(), "");
    EXPECT_EQ(kolvanex.GetInternetFile("ftp://127.0.0.1/x").value(), "");
    std::uint16_t closedPort = 0;
    {
        WebServer gone;
        closedPort = gone.port();
    }
    EXPECT_EQ(kolvanex.GetInternetFile("http://127.0.0.1:" + std::to_string(closedPort) + "/x")
                  .value(),
              "");
    // Nothing is reported to the user.
    EXPECT_EQ(existingProgressWindow(), nullptr);
}

TEST_F(InternetFileTest, BinaryAndLargeResourcesArriveWhole) {
    std::string body;
    for (int i = 0; i < 300000; ++i) body.push_back(static_cast<char>('a' + i % 26));
    body[1000] = '\0';
    maker.serve("/big", body);
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/big")).value(), body);
}

TEST_F(InternetFileTest, InterruptEndsAFetchFromAServerThatNeverAnswers) {
    WebServer::Resource never;
    never.neverAnswer = true;
    maker.serve("/never", never);
    std::thread user([] {
        std::this_thread::sleep_for(400ms);
        ui::requestInterrupt();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/never")).value(), "");
    user.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    // The interrupt is still owed to the loop.
    EXPECT_TRUE(ui::takeInterrupt());
}

// ---- GetDownloadProxy and the proxy --------------------------------------------------

TEST_F(InternetFileTest, DownloadProxyJoinsHostAndPort) {
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), "");
    setDownloadProxy("proxy.example", "3128");
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), "proxy.example:3128");
    setDownloadProxy(" ", " ");
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), "");
    setDownloadProxy("hostonly", "");
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), "hostonly:");
}

TEST_F(InternetFileTest, FetchGoesThroughTheNamedDownloadProxy) {
    maker.serve("/kxproxy.txt", " 10.0.0.1:8080 ");
    WebServer proxy(WebServer::ProxyMode::Anonymous);
    setDownloadProxy("127.0.0.1", std::to_string(proxy.port()));
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/kxproxy.txt")).value(), "10.0.0.1:8080");
    ASSERT_EQ(proxy.requestCount(), 1u);
    const auto viaProxy = proxy.requests()[0];
    EXPECT_EQ(viaProxy.target, maker.url("/kxproxy.txt"));
    EXPECT_EQ(viaProxy.header("User-Agent").value_or(""), "Mozilla/4.0");
    EXPECT_EQ(viaProxy.header("Pragma").value_or(""), "no-cache");
    ASSERT_EQ(maker.requestCount(), 1u);
}

TEST_F(InternetFileTest, ProxyThatIsDownMeansEmpty) {
    maker.serve("/x", "direct would work");
    std::uint16_t closedPort = 0;
    {
        WebServer gone;
        closedPort = gone.port();
    }
    setDownloadProxy("127.0.0.1", std::to_string(closedPort));
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/x")).value(), "");
    EXPECT_EQ(maker.requestCount(), 0u);
}

// ---- IsConnection --------------------------------------------------------------------

TEST_F(InternetFileTest, OnlineWhenTheVersionFileHasText) {
    maker.serve("/stinger.ver", "2.5.3\r\n");
    EXPECT_TRUE(kolvanex.IsConnection().value());
    ASSERT_NE(existingProgressWindow(), nullptr);
    EXPECT_EQ(existingProgressWindow()->m_lvLastLine->text, "Prüfe Internetverbindung");
    ASSERT_EQ(maker.requestCount(), 1u);
    EXPECT_EQ(maker.requests()[0].target, "/stinger.ver");
}

TEST_F(InternetFileTest, OfflineWhenTheVersionFileIsBlankMissingOrUnreachable) {
    maker.serve("/stinger.ver", "    ");
    EXPECT_FALSE(kolvanex.IsConnection().value());
    maker.remove("/stinger.ver");
    EXPECT_FALSE(kolvanex.IsConnection().value());
}

TEST(InternetFileNoMaker, OfflineWhenTheMakerServerIsDown) {
    resetShared();
    std::uint16_t closedPort = 0;
    {
        WebServer gone;
        closedPort = gone.port();
    }
    auto config = platform::MachineConfig::defaults();
    config.endpoints["maker"] = "http://127.0.0.1:" + std::to_string(closedPort);
    test::TempMachine machine(config);
    ui::ScriptedView view;
    ui::ViewScope scope(view);
    CKOLVANEX kolvanex;
    EXPECT_FALSE(kolvanex.IsConnection().value());
    unloadProgressWindow();
}

// ---- URLDownloadToFileA ----------------------------------------------------------------

class UrlDownloadTest : public InternetFileTest {
  protected:
    std::filesystem::path folder() { return machine.host("C:\\Programme\\Kolvanex"); }
    std::vector<std::string> folderNames() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder()))
            names.push_back(e.path().filename().string());
        return names;
    }
    void SetUp() override {
        InternetFileTest::SetUp();
        std::filesystem::create_directories(machine.prefix() / "drive_c" / "Programme" / "Kolvanex");
    }
};

TEST_F(UrlDownloadTest, WritesTheWholeResource) {
    std::string body(70000, 'z');
    body[5] = '\0';
    maker.serve("/spybot.exe", body);
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/spybot.exe"),
                                           "C:\\Programme\\Kolvanex\\spybot.exe"),
              platform::S_OK);
    EXPECT_EQ(test::TempMachine::readHostFile(folder() / "spybot.exe"), body);
    EXPECT_EQ(folderNames(), std::vector<std::string>{"spybot.exe"});
}

TEST_F(UrlDownloadTest, FailureLeavesNothingBehind) {
    WebServer::Resource missing{.body = "Not Found", .status = 404, .reason = "Not Found"};
    maker.serve("/missing", missing);
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/missing"), "C:\\Programme\\Kolvanex\\a.exe"),
              platform::INET_E_DOWNLOAD_FAILURE);
    WebServer::Resource cut{.body = std::string(50000, 'q')};
    cut.closeAfterBytes = 1000;
    maker.serve("/cut", cut);
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/cut"), "C:\\Programme\\Kolvanex\\a.exe"),
              platform::INET_E_DOWNLOAD_FAILURE);
    EXPECT_TRUE(folderNames().empty());
}

TEST_F(UrlDownloadTest, FailureKeepsAnExistingFile) {
    machine.writeHostFile(folder() / "a.exe", "old");
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/nothing"), "C:\\Programme\\Kolvanex\\a.exe"),
              platform::INET_E_DOWNLOAD_FAILURE);
    EXPECT_EQ(test::TempMachine::readHostFile(folder() / "a.exe"), "old");
    maker.serve("/new", "new");
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/new"), "C:\\Programme\\Kolvanex\\a.exe"),
              platform::S_OK);
    EXPECT_EQ(test::TempMachine::readHostFile(folder() / "a.exe"), "new");
}

TEST_F(UrlDownloadTest, BadUrlsAndPathsAreRefused) {
    maker.serve("/x", "x");
    EXPECT_EQ(platform::URLDownloadToFileA("file:///etc/passwd", "C:\\Programme\\Kolvanex\\p"),
              platform::INET_E_INVALID_URL);
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/x"), "Q:\\x"), platform::INET_E_INVALID_URL);
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/x"), "C:\\Programme\\Kolvanex\\no\\dir\\x"),
              platform::INET_E_DOWNLOAD_FAILURE);
    EXPECT_TRUE(folderNames().empty());
}

// ---- the console commands ---------------------------------------------------------------

TEST_F(InternetFileTest, FetchCommandPrintsTheTrimmedText) {
    maker.serve("/kxproxy.txt", "  1.2.3.4:80  ");
    const auto run = test::runKolvanex(machine.prefix(), {"fetch", maker.url("/kxproxy.txt")},
                                       machine.root());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "1.2.3.4:80\n");
    const auto failed =
        test::runKolvanex(machine.prefix(), {"fetch", maker.url("/nothing")}, machine.root());
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "");
}

TEST_F(InternetFileTest, DownloadCommandWritesTheBodyAndTheProgress) {
    const auto file = machine.prefix() / "machine.ini";
    auto ini = platform::IniFile::load(file);
    ASSERT_TRUE(ini.has_value());
    ini->set("network", "http_port", std::to_string(maker.port()));
    ASSERT_TRUE(ini->save(file).has_value());
    maker.serve("/stinger.opt", std::string(3000, 'o'));
    const auto run = test::runKolvanex(machine.prefix(), {"download", "http://127.0.0.1/stinger.opt"},
                                       machine.root());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, std::string(3000, 'o'));
    EXPECT_NE(run.err.find("Download http://127.0.0.1/stinger.opt"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("100%"), std::string::npos) << run.err;

    const auto refused = test::runKolvanex(machine.prefix(), {"download", "http:///x"}, machine.root());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("HTTP Error: Host not found11001"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace kx
