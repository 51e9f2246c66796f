// GetInternetFile, GetDownloadProxy, IsConnection and URLDownloadToFileA
// against loopback servers, and the console commands that reach them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "anonymity/internet_file.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/files/ini.hpp"
#include "platform/network/inet.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/interrupt.hpp"
#include "platform/ui/view.hpp"
#include "services/progress.hpp"
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

TEST_F(InternetFileTest, FetchTrimsBlanksSendsTheOldAgentAndShowsTheHourglass) {
    maker.serve("/echo", "   abc   ");
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/echo")).value(), "abc");
    ASSERT_EQ(maker.requestCount(), 1u);
    const auto request = maker.requests()[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/echo");
    EXPECT_EQ(request.header("User-Agent").value_or(""), "Mozilla/4.0");
    // Always a fresh copy.
    EXPECT_EQ(request.header("Pragma").value_or(""), "no-cache");
    EXPECT_EQ(request.header("Cache-Control").value_or(""), "no-cache");
    const std::vector<ui::MousePointer> hourglass{ui::MousePointer::Hourglass,
                                                  ui::MousePointer::Default};
    EXPECT_EQ(cursor.history, hourglass);

    // Only blanks go: line ends and tabs are text.
    maker.serve("/lines", " \r\nabc\t ");
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/lines")).value(), "\r\nabc\t");

    std::string big;
    for (int i = 0; i < 300000; ++i) big.push_back(static_cast<char>('a' + i % 26));
    big[1000] = '\0';
    maker.serve("/big", big);
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/big")).value(), big);
}

TEST_F(InternetFileTest, FailuresAnswerEmpty) {
    maker.serve("/missing",
                WebServer::Resource{.body = "Not Found", .status = 404, .reason = "Not Found"});
    for (const auto& url : {maker.url("/missing"), std::string(), std::string("file:///etc/passwd"),
                            std::string("ftp://127.0.0.1/x"),
                            "http://127.0.0.1:" + std::to_string(test::deadPort()) + "/x"})
        EXPECT_EQ(kolvanex.GetInternetFile(url).value(), "") << url;
    cursor.history.clear();
    EXPECT_EQ(kolvanex.GetInternetFile("nonsense").value(), "");
    EXPECT_EQ(cursor.history, (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass,
                                                             ui::MousePointer::Default}));
    // Nothing is reported to the user.
    EXPECT_EQ(existingProgressWindow(), nullptr);
}

TEST_F(InternetFileTest, InterruptEndsAFetchFromAServerThatNeverAnswers) {
    maker.serve("/never", WebServer::Resource{.neverAnswer = true});
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

TEST_F(InternetFileTest, FetchGoesThroughTheNamedDownloadProxy) {
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), "");
    setDownloadProxy(" ", " ");
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), "");
    setDownloadProxy("hostonly", "");
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), "hostonly:");

    maker.serve("/kxproxy.txt", " 10.0.0.1:8080 ");
    WebServer proxy(WebServer::ProxyMode::Anonymous);
    setDownloadProxy("127.0.0.1", std::to_string(proxy.port()));
    EXPECT_EQ(kolvanex.GetDownloadProxy().value(), proxy.hostPort());
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/kxproxy.txt")).value(), "10.0.0.1:8080");
    ASSERT_EQ(proxy.requestCount(), 1u);
    const auto viaProxy = proxy.requests()[0];
    EXPECT_EQ(viaProxy.target, maker.url("/kxproxy.txt"));
    EXPECT_EQ(viaProxy.header("User-Agent").value_or(""), "Mozilla/4.0");
    EXPECT_EQ(viaProxy.header("Pragma").value_or(""), "no-cache");
    EXPECT_EQ(maker.requestCount(), 1u);

    // A proxy that is down means empty, never a direct fetch.
    setDownloadProxy("127.0.0.1", std::to_string(test::deadPort()));
    EXPECT_EQ(kolvanex.GetInternetFile(maker.url("/kxproxy.txt")).value(), "");
    EXPECT_EQ(maker.requestCount(), 1u);
}

// ---- IsConnection --------------------------------------------------------------------

TEST_F(InternetFileTest, OnlineExactlyWhenTheVersionFileHasText) {
    maker.serve("/stinger.ver", "2.5.3\r\n");
    EXPECT_TRUE(kolvanex.IsConnection().value());
    ASSERT_NE(existingProgressWindow(), nullptr);
    EXPECT_EQ(existingProgressWindow()->m_lvLastLine->text, "Prüfe Internetverbindung");
    ASSERT_EQ(maker.requestCount(), 1u);
    EXPECT_EQ(maker.requests()[0].target, "/stinger.ver");

    maker.serve("/stinger.ver", "    ");
    EXPECT_FALSE(kolvanex.IsConnection().value());
    maker.remove("/stinger.ver");
    EXPECT_FALSE(kolvanex.IsConnection().value());

    auto config = platform::MachineConfig::defaults();
    config.endpoints["maker"] = "http://127.0.0.1:" + std::to_string(test::deadPort());
    test::TempMachine down(config);
    EXPECT_FALSE(kolvanex.IsConnection().value());
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
    std::int32_t fetch(const std::string& path, const std::string& file = "a.exe") {
        return platform::URLDownloadToFileA(maker.url(path), "C:\\Programme\\Kolvanex\\" + file);
    }
    void SetUp() override {
        InternetFileTest::SetUp();
        std::filesystem::create_directories(machine.prefix() / "drive_c" / "Programme" /
                                            "Kolvanex");
    }
};

TEST_F(UrlDownloadTest, WritesTheWholeResourceOrKeepsWhatWasThere) {
    std::string body(70000, 'z');
    body[5] = '\0';
    maker.serve("/spybot.exe", body);
    EXPECT_EQ(fetch("/spybot.exe", "spybot.exe"), platform::S_OK);
    EXPECT_EQ(test::TempMachine::readHostFile(folder() / "spybot.exe"), body);
    EXPECT_EQ(folderNames(), std::vector<std::string>{"spybot.exe"});

    machine.writeHostFile(folder() / "a.exe", "old");
    EXPECT_EQ(fetch("/nothing"), platform::INET_E_DOWNLOAD_FAILURE);
    EXPECT_EQ(test::TempMachine::readHostFile(folder() / "a.exe"), "old");
    maker.serve("/new", "new");
    EXPECT_EQ(fetch("/new"), platform::S_OK);
    EXPECT_EQ(test::TempMachine::readHostFile(folder() / "a.exe"), "new");
}

TEST_F(UrlDownloadTest, FailuresAndBadUrlsOrPathsLeaveNothingBehind) {
    maker.serve("/x", "x");
    maker.serve("/missing",
                WebServer::Resource{.body = "Not Found", .status = 404, .reason = "Not Found"});
    maker.serve("/cut",
                WebServer::Resource{.body = std::string(50000, 'q'), .closeAfterBytes = 1000});
    EXPECT_EQ(fetch("/missing"), platform::INET_E_DOWNLOAD_FAILURE);
    EXPECT_EQ(fetch("/cut"), platform::INET_E_DOWNLOAD_FAILURE);
    EXPECT_EQ(fetch("/x", "no\\dir\\x"), platform::INET_E_DOWNLOAD_FAILURE);
    EXPECT_EQ(platform::URLDownloadToFileA("file:///etc/passwd", "C:\\Programme\\Kolvanex\\p"),
              platform::INET_E_INVALID_URL);
    EXPECT_EQ(platform::URLDownloadToFileA(maker.url("/x"), "Q:\\x"), platform::INET_E_INVALID_URL);
    EXPECT_TRUE(folderNames().empty());
}

// ---- the console commands ---------------------------------------------------------------

TEST_F(InternetFileTest, FetchAndDownloadCommands) {
    maker.serve("/kxproxy.txt", "  1.2.3.4:80  ");
    const auto run = [&](const std::vector<std::string>& args) {
        return test::runKolvanex(machine.prefix(), args, machine.root());
    };
    auto done = run({"fetch", maker.url("/kxproxy.txt")});
    EXPECT_EQ(done.exitCode, 0);
    EXPECT_EQ(done.out, "1.2.3.4:80\n");
    done = run({"fetch", maker.url("/nothing")});
    EXPECT_EQ(done.exitCode, 1);
    EXPECT_EQ(done.out, "");

    const auto file = machine.prefix() / "machine.ini";
    auto ini = platform::IniFile::load(file);
    ASSERT_TRUE(ini.has_value());
    ini->set("network", "http_port", std::to_string(maker.port()));
    ASSERT_TRUE(ini->save(file).has_value());
    maker.serve("/stinger.opt", std::string(3000, 'o'));
    done = run({"download", "http://127.0.0.1/stinger.opt"});
    EXPECT_EQ(done.exitCode, 0);
    EXPECT_EQ(done.out, std::string(3000, 'o'));
    EXPECT_NE(done.err.find("Download http://127.0.0.1/stinger.opt"), std::string::npos)
        << done.err;
    EXPECT_NE(done.err.find("100%"), std::string::npos) << done.err;
    done = run({"download", "http:///x"});
    EXPECT_EQ(done.exitCode, 1);
    // The failure is said once: the progress line is not echoed again.
    const std::string failure = "HTTP Error: Host nicht gefunden11001";
    const auto at = done.err.find(failure);
    EXPECT_NE(at, std::string::npos) << done.err;
    EXPECT_EQ(done.err.find(failure, at + 1), std::string::npos) << done.err;
}

}  // namespace
}  // namespace kx
