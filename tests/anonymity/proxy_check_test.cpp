// The anonymity test of proxies and the search for a chain, end to end on
// loopback: the maker's stand-in serves the list, its stamp and both echo
// scripts; the real checker program runs against stand-in proxies that hide
// the client, pass its address on, refuse, stall or are not there at all.
// Proxies forward from their own loopback address (127.0.0.2, ...), so the
// echo page names the client only when a proxy passes it on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "anonymity/frm_ano_check.hpp"
#include "anonymity/proxy_checker.hpp"
#include "anonymity/proxy_search.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/files/files.hpp"
#include "platform/ui/cursor.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/view.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"
#include "support/host_run.hpp"
#include "support/programs.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"
#include "support/web_server.hpp"

namespace kx::anonymity {
namespace {

using test::WebServer;
namespace ui = platform::ui;

constexpr const char* kAppPath = "C:\\Programme\\Kolvanex";
constexpr const char* kOwnAddress = "127.0.0.1";

// ip.cgi as such scripts are: the peer, and what proxies say about the client.
WebServer::Resource ipEcho() {
    return WebServer::Resource{.handler = [](const test::RecordedRequest& request) {
        std::string page = "REMOTE_ADDR=" + request.clientAddress + "\n";
        for (const char* name : {"X-Forwarded-For", "Via"}) {
            if (const auto value = request.header(name))
                page += std::string(name) + ": " + *value + "\n";
        }
        return page;
    }};
}

// An address where nothing listens any more.
std::string deadAddress() {
    return "127.0.0.1:" + std::to_string(test::deadPort());
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ProxyCheckTest : public ::testing::Test, protected test::ScriptedUi {
  protected:
    ProxyCheckTest() {
        resetShared();
        shared().KXAppPath = kAppPath;
        maker.serve("/cgi-bin/ip.cgi", ipEcho());
        maker.serve("/cgi-bin/ipget.cgi",
                    WebServer::Resource{
                        .handler = [](const test::RecordedRequest& r) { return r.clientAddress; }});
        test::installProgram(machine, checkerPath(), test::companionBinary("KXChecker.Exe"));
        refusing.serve("/cgi-bin/ip.cgi",
                       WebServer::Resource{.body = "denied", .status = 403, .reason = "Forbidden"});
        stalling.serve("/cgi-bin/ip.cgi", WebServer::Resource{.neverAnswer = true});
        anonymous.setForwardSource("127.0.0.2");
        transparent.setForwardSource("127.0.0.3");
    }
    ~ProxyCheckTest() override {
        unloadProgressWindow();
        resetShared();
    }

    std::size_t echoRequests() const {
        std::size_t n = 0;
        for (const auto& r : maker.requests()) n += r.path() == "/cgi-bin/ip.cgi";
        return n;
    }
    bool logged(const std::string& line) const {
        const auto window = existingProgressWindow();
        return window && std::ranges::any_of(window->lvLog->items(),
                                             [&](const auto& item) { return item->text == line; });
    }

    WebServer maker;
    test::TempMachine machine{[this] {
        auto config = platform::MachineConfig::defaults();
        config.endpoints["maker"] = maker.url("");
        return config;
    }()};
    WebServer anonymous{WebServer::ProxyMode::Anonymous};
    WebServer transparent{WebServer::ProxyMode::Transparent};
    WebServer refusing;  // a plain server: the echo path answers 403
    WebServer stalling;  // takes the request and never answers
};

// ---- GetIPAdress -----------------------------------------------------------------

TEST_F(ProxyCheckTest, OwnAddressIsTheBareEchoOfAShortDirectRead) {
    EXPECT_EQ(GetIPAdress(), kOwnAddress);
    // Direct even when downloads go through a proxy.
    const auto app = settings::applicationName();
    settings::SaveSetting(app, "Options", "DownLoadProxy", "127.0.0.1");
    settings::SaveSetting(app, "Options", "DownLoadPort", std::to_string(transparent.port()));
    EXPECT_EQ(GetIPAdress(), kOwnAddress);
    EXPECT_EQ(transparent.requestCount(), 0u);

    const auto answers = [&](const std::string& body) {
        maker.serve("/cgi-bin/ipget.cgi", body);
        return GetIPAdress();
    };
    EXPECT_EQ(answers("  10.1.2.3\r\n"), "10.1.2.3");
    // Only 16 bytes are read: the tail never counts.
    EXPECT_EQ(answers("1.2.3.4         <b>trailer</b>"), "1.2.3.4");
    // Error pages of proxies and servers, in any letter case.
    // Anything but an address would make every proxy look anonymous.
    for (const char* notAnAddress :
         {"<h1>FORBIDDEN</h1>", "Squid/2.5.STABLE", "HTTP 404 Not Found", "<html>", "  "})
        EXPECT_EQ(answers(notAnAddress), "") << notAnAddress;
    EXPECT_EQ(cursor.current(), ui::MousePointer::Default);
}

// ---- KXChecker -------------------------------------------------------------------

TEST_F(ProxyCheckTest, AnsweringProxiesAreJudgedByWhatTheEchoPageShows) {
    bool anonymousFlag = false;
    EXPECT_EQ(KXChecker(anonymous.hostPort(), anonymousFlag, nullptr, 5), "OK");
    EXPECT_TRUE(anonymousFlag);
    ASSERT_EQ(anonymous.requestCount(), 1u);
    EXPECT_EQ(anonymous.requests()[0].target, maker.url("/cgi-bin/ip.cgi"));

    bool transparentFlag = true;
    EXPECT_EQ(KXChecker(transparent.hostPort(), transparentFlag, nullptr, 5), "OK");
    EXPECT_FALSE(transparentFlag);

    // 127.0.0.12 holds the own address 127.0.0.1: any mention counts.
    anonymous.setForwardSource("127.0.0.12");
    EXPECT_EQ(KXChecker(anonymous.hostPort(), anonymousFlag, nullptr, 5), "OK");
    EXPECT_FALSE(anonymousFlag);

    // The exchange is left empty, so no later run can read these answers.
    EXPECT_EQ(settings::readChecker(settings::keys::CheckerResult), "");
    EXPECT_EQ(settings::readChecker(settings::keys::CheckerPage), "");
}

TEST_F(ProxyCheckTest, FailingProxiesAndBadInputAreNeverAnonymous) {
    const auto check = [](const std::string& address, int seconds = 5) {
        bool flag = true;
        const auto answer = KXChecker(address, flag, nullptr, seconds);
        EXPECT_FALSE(flag) << address;
        return answer;
    };
    EXPECT_EQ(check(refusing.hostPort()), "Access denied");
    EXPECT_EQ(check(deadAddress()), "No answer");
    EXPECT_EQ(check("garbage"), "Bad proxy address");
    EXPECT_EQ(check("127.0.0.1:0"), "Bad proxy address");
    // What could be read as several words or an option never reaches the checker.
    for (const char* address : {"--prefix /tmp", "127.0.0.1 80", "-x", ""})
        EXPECT_EQ(check(address), "") << address;
    EXPECT_EQ(echoRequests(), 0u);

    // A proxy that never answers: the checker is ended when the wait is over
    // and has written nothing.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(check(stalling.hostPort(), 2), "");
    EXPECT_LT(secondsSince(start), 6.0);
    EXPECT_EQ(settings::readChecker(settings::keys::CheckerResult), "");

    // Without the own address there is nothing to compare with.
    CKOLVANEX kolvanex;
    bool flag = true;
    const auto notAWindow = std::make_shared<platform::Collection>();
    EXPECT_EQ(kolvanex.KXChecker(anonymous.hostPort(), flag, notAWindow, 5).error().number, 13);
    maker.serve("/cgi-bin/ipget.cgi", "403 Forbidden");
    EXPECT_EQ(kolvanex.KXChecker(anonymous.hostPort(), flag, nullptr, 5).value(), "");
    EXPECT_FALSE(flag);
    EXPECT_EQ(echoRequests(), 1u);
}

TEST_F(ProxyCheckTest, MissingCheckerTellsTheUserAndAnswersBreak) {
    ASSERT_TRUE(platform::files::remove(checkerPath()));
    shared().applicationTitle = "Tarnkappe";
    bool flag = true;
    EXPECT_EQ(KXChecker(anonymous.hostPort(), flag, nullptr, 5), "BREAK");
    EXPECT_FALSE(flag);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Das Programm C:\\Programme\\Kolvanex\\KXChecker.Exe  wurde nicht gefunden! Bitte "
              "installieren Sie Tarnkappe erneut");
    EXPECT_EQ(dialogs.shown[0].flags, 4160u);

    // The result window is not shown at all then.
    EXPECT_EQ(ShowAnoCheck("127.0.0.1", std::to_string(anonymous.port())), "BREAK");
    EXPECT_EQ(view.count("modal", "frmAnoCheck"), 0u);
    EXPECT_EQ(dialogs.shown.size(), 2u);

    // The search stops at the first proxy, and tells of the program once.
    maker.serve("/kxproxy.txt", anonymous.hostPort() + "\r\n" + transparent.hostPort());
    EXPECT_EQ(GetFastestProxy([] { return 0.0; }), "");
    EXPECT_TRUE(logged("Fehler bei der Serversuche"));
    EXPECT_EQ(dialogs.shown.size(), 3u);
}

// ---- frmAnoCheck -----------------------------------------------------------------

TEST_F(ProxyCheckTest, ResultWindowShowsTheVerdictAndTheOwnAddress) {
    const auto port = [](const WebServer& s) { return std::to_string(s.port()); };
    std::string shownInfo;
    view.onModal = [&](ui::Form& form) {
        auto& window = dynamic_cast<frmAnoCheck&>(form);
        shownInfo = window.lblInfo->caption;
        EXPECT_TRUE(window.imgOK->visible);
        EXPECT_FALSE(window.imgStop->visible);
        ASSERT_EQ(window.lvIP->count(), 1u);
        EXPECT_EQ(window.lvIP->item(0)->text, kOwnAddress);
        window.cmdOK->click();
    };
    EXPECT_EQ(ShowAnoCheck("127.0.0.1", port(anonymous)), "OK");
    EXPECT_EQ(shownInfo, "Der Server " + anonymous.hostPort() +
                             " anonymisiert . Die folgende lokale IP-Adresse ist während einer "
                             "anonymen Internet-Sitzung nicht im Browser im Internet sichtbar:");
    EXPECT_EQ(view.count("modal", "frmAnoCheck"), 1u);

    frmAnoCheck passedOn("127.0.0.1", port(transparent));
    passedOn.load();
    passedOn.activate();
    EXPECT_EQ(passedOn.lblInfo->caption,
              "Der Server " + transparent.hostPort() +
                  " anonymisiert nicht. Die folgende lokale IP-Adresse ist beim Surfen im "
                  "Internet sichtbar:");
    EXPECT_TRUE(passedOn.imgStop->visible);
    EXPECT_FALSE(passedOn.imgOK->visible);

    frmAnoCheck refused("127.0.0.1", port(refusing));
    refused.load();
    refused.activate();
    EXPECT_EQ(refused.answer(), "Access denied");
    EXPECT_EQ(refused.lblInfo->caption, kAnoCheckNoServer);
    EXPECT_FALSE(refused.lvIP->enabled);
    EXPECT_EQ(cursor.current(), ui::MousePointer::Default);
}

// ---- KXChecker.Exe on its own ----------------------------------------------------

TEST_F(ProxyCheckTest, CheckerProgramEndsByItselfWithinItsLimit) {
    const std::string command = test::shellQuote(test::companionBinary("KXChecker.Exe").string()) +
                                " --prefix " + test::shellQuote(machine.prefix().string()) +
                                " --limit 1 " + stalling.hostPort() + " 2>/dev/null";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    EXPECT_LT(secondsSince(start), 4.0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(settings::readChecker(settings::keys::CheckerResult), "No answer");
}

// ---- GetFastestProxy -------------------------------------------------------------

class ProxySearchTest : public ProxyCheckTest {
  protected:
    // The list as the maker serves it: CR LF between the lines.
    void serveList(const std::vector<std::string>& proxies) {
        served_.clear();
        for (const auto& p : proxies) served_ += (served_.empty() ? "" : "\r\n") + p;
        maker.serve("/kxproxy.txt", served_);
    }
    // The order the search tries the served list in, given the numbers it draws.
    std::vector<std::string> shuffled(const RandomSource& random) const {
        auto lines = splitListLines(served_);
        shuffleProxyLines(lines, random);
        return lines;
    }
    static RandomSource zeros() {
        return [] { return 0.0; };
    }

  private:
    std::string served_;
};

TEST_F(ProxySearchTest, ChainOfThreeHoldsTheAnonymousProxyAndTwoShuffledLines) {
    settings::write(settings::keys::NProxys, "3");
    maker.serve("/proxyver.txt", "01.02.\r\n2005");
    serveList({transparent.hostPort(), refusing.hostPort(), deadAddress(), stalling.hostPort(),
               anonymous.hostPort()});
    const auto order = shuffled(zeros());
    ASSERT_EQ(order[0], anonymous.hostPort());  // so the padding below takes lines 1 and 2

    const auto search = searchProxyChain(zeros());
    EXPECT_EQ(search.chain, anonymous.hostPort() + ";" + order[1] + ";" + order[2] + ";");
    EXPECT_EQ(search.checked, 1u);           // the fillers are not
    EXPECT_EQ(stalling.requestCount(), 1u);  // every proxy was tried
    EXPECT_TRUE(logged("Liste der Proxy-Server ist vom 01.02.2005"));
    EXPECT_TRUE(logged("Prüfe Proxy-Server " + transparent.hostPort()));
    const auto bar = existingProgressWindow()->pbBar;
    EXPECT_EQ(bar->max(), 3);
    EXPECT_EQ(bar->value(), 1);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ProxySearchTest, PaddingSkipsTheProxyAlreadyInTheChainAndASingleLineIsNotShuffled) {
    serveList({anonymous.hostPort(), refusing.hostPort(), transparent.hostPort()});
    const auto order = shuffled(zeros());
    ASSERT_EQ(order[1], anonymous.hostPort());
    settings::write(settings::keys::NProxys, "zwei");  // no number: the default 2
    EXPECT_EQ(GetFastestProxy(zeros()), anonymous.hostPort() + ";" + order[2] + ";");

    maker.serve("/kxproxy.txt", anonymous.hostPort());
    std::size_t draws = 0;
    EXPECT_EQ(GetFastestProxy([&] { return ++draws, 0.5; }), anonymous.hostPort() + ";");
    EXPECT_EQ(draws, 0u);
}

TEST_F(ProxySearchTest, NoAnonymousProxyTellsTheUserAndStillFillsTheChain) {
    serveList({transparent.hostPort(), "not a proxy", refusing.hostPort()});
    // Zeros shuffle three lines a, b, c into c, a, b; lines that are no proxy
    // address never fill the chain, nor does a proxy just seen passing the
    // user's address on (the browser would fall over to it).
    ASSERT_EQ(shuffled(zeros())[2], "not a proxy");
    const auto search = searchProxyChain(zeros());
    EXPECT_EQ(search.chain, refusing.hostPort() + ";");
    EXPECT_EQ(search.checked, 0u);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].flags, 4160u);
    EXPECT_TRUE(dialogs.shown[0].text.starts_with(
        "Es wurde kein anonymisierender Proxy-Server gefunden.\rBitte stellen Sie ggf."));
}

TEST_F(ProxySearchTest, CancelDuringTheScanAnswersEmpty) {
    settings::write(settings::keys::NProxys, "3");
    serveList({transparent.hostPort(), refusing.hostPort(), stalling.hostPort(), deadAddress(),
               anonymous.hostPort()});
    // The user closes the progress window once the first proxy was asked.
    std::function<void()> watch = [&] {
        if (anonymous.requestCount() > 0)  // tried first
            existingProgressWindow()->cancel();
        else
            view.post(watch);
    };
    view.post(watch);
    EXPECT_EQ(GetFastestProxy(zeros()), "");
    EXPECT_LT(echoRequests(), 3u);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ProxySearchTest, UnreachableListStopsTheSearch) {
    EXPECT_EQ(GetFastestProxy(zeros()), "");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].flags, 4144u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Die Datei mit den Proxy-Servern konnte nicht aus dem Internet geladen werden. "
              "Bitte stellen Sie ggf. eine Internetverbindung her");
}

// ---- the console host ------------------------------------------------------------

TEST_F(ProxySearchTest, ConsoleCommandsTestAndSearch) {
    const auto scratch = machine.root();
    maker.serve("/kxproxy.txt", anonymous.hostPort());
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    } commands[] = {
        {{"proxy", "check", anonymous.hostPort()}, 0, "OK\nbIsAnonym=True\n"},
        {{"proxy", "check", refusing.hostPort()}, 1, "Access denied\nbIsAnonym=False\n"},
        {{"--quiet", "proxy", "fastest"}, 0, anonymous.hostPort() + ";\n"},
    };
    for (const auto& c : commands) {
        const auto run = test::runKolvanex(machine.prefix(), c.args, scratch);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.back() << run.err;
        EXPECT_EQ(run.out, c.out);
    }

    // An anonymous session says which of the chain's proxies were checked;
    // with none of them it is no anonymous session.
    settings::write(settings::keys::NProxys, "2");
    // In any order the fill-up finds the refusing proxy after the anonymous one.
    serveList({anonymous.hostPort(), refusing.hostPort(), refusing.hostPort()});
    auto run = test::runKolvanex(machine.prefix(), {"--quiet", "session", "anonym", "on"}, scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("anonyme Sitzung ein: die Browser nutzen die Proxykette " +
                           anonymous.hostPort() + " -> " + refusing.hostPort() +
                           " (nur die ersten 1 als anonym geprüft"),
              std::string::npos)
        << run.out;
    serveList({refusing.hostPort()});
    run = test::runKolvanex(machine.prefix(), {"--quiet", "session", "anonym", "on"}, scratch);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("kein anonymer Proxy wurde gefunden; die Browser zeigen auf den Proxy " +
                           refusing.hostPort() + ", ungeprüft aus der Liste genommen"),
              std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace kx::anonymity
