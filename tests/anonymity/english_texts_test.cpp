// What an English-speaking user reads of the proxies: the verdict of the
// anonymity check, the search's status lines and the proxy dialog, whose
// shown answers ("Yes", "[No selection]") its keys and its OK still read.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "anonymity/frm_ano_check.hpp"
#include "anonymity/frm_optionen_proxy.hpp"
#include "anonymity/proxy_checker.hpp"
#include "anonymity/proxy_search.hpp"
#include "core/shared_state.hpp"
#include "services/progress.hpp"
#include "settings/keys.hpp"
#include "settings/settings_store.hpp"
#include "support/language.hpp"
#include "support/programs.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"
#include "support/web_server.hpp"

namespace kx::anonymity {
namespace {

using test::WebServer;
namespace ui = platform::ui;

constexpr const char* kAppPath = "C:\\Programme\\Kolvanex";

struct Shown {
    std::string what, text, english;
};

void expectAll(const std::vector<Shown>& shown) {
    for (const auto& s : shown) EXPECT_EQ(s.text, s.english) << s.what;
}

class EnglishProxies : public ::testing::Test, protected test::ScriptedUi {
  protected:
    EnglishProxies() {
        resetShared();
        shared().KXAppPath = kAppPath;
        std::filesystem::create_directories(machine.host(kAppPath));
    }
    ~EnglishProxies() override {
        unloadProgressWindow();
        resetShared();
    }
    static std::string lastStatus() {
        const auto window = existingProgressWindow();
        return window ? window->m_lvLastLine->text : "";
    }

    WebServer maker;
    test::TempMachine machine{[this] {
        auto config = platform::MachineConfig::defaults();
        config.endpoints["maker"] = maker.url("");
        return config;
    }()};
};

TEST_F(EnglishProxies, TheCheckAndTheSearchSpeakEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    // The echo page names whoever asks; a proxy that forwards from its own
    // address hides the client, one that passes the client on does not.
    maker.serve("/cgi-bin/ip.cgi", WebServer::Resource{.handler = [](const auto& request) {
                    const auto forwarded = request.header("X-Forwarded-For");
                    return request.clientAddress + " " + forwarded.value_or("");
                }});
    maker.serve("/cgi-bin/ipget.cgi", WebServer::Resource{.handler = [](const auto& request) {
                    return request.clientAddress;
                }});
    test::installProgram(machine, checkerPath(), test::companionBinary("KXChecker.Exe"));
    WebServer hiding{WebServer::ProxyMode::Anonymous};
    WebServer passing{WebServer::ProxyMode::Transparent};
    hiding.setForwardSource("127.0.0.2");
    passing.setForwardSource("127.0.0.3");
    const auto verdict = [](const WebServer& proxy) {
        frmAnoCheck window("127.0.0.1", std::to_string(proxy.port()));
        window.load();
        window.activate();
        return window.lblInfo->caption;
    };
    std::vector<Shown> shown{
        {"hiding proxy", verdict(hiding),
         "The server " + hiding.hostPort() +
             " is anonymous. The following local IP address is not visible on the Internet in "
             "the browser during an anonymous Internet session:"},
        {"passing proxy", verdict(passing),
         "The server " + passing.hostPort() +
             " is not anonymous. The following local IP address is visible when you surf the "
             "Internet:"},
        {"window caption", frmAnoCheck("a", "1").caption, "Anonymity check"},
    };

    maker.serve("/kxproxy.txt", passing.hostPort());
    EXPECT_EQ(GetFastestProxy([] { return 0.0; }), "");
    shown.push_back({"search status", lastStatus(), "Checking proxy server " + passing.hostPort()});
    ASSERT_FALSE(dialogs.shown.empty());
    const auto& message = dialogs.shown.back().text;
    shown.push_back({"search message", message.substr(0, message.find('\r')),
                     "No anonymising proxy server was found."});
    expectAll(shown);
}

TEST_F(EnglishProxies, TheProxyDialogSpeaksAndReadsEnglishInEnglish) {
    KX_ONLY_IN_ENGLISH();
    const auto list = machine.host(kAppPath) / "kxproxy.txt";
    machine.writeHostFile(list, "a.example:80\r\nno proxy here\r\nb.example:81\r\n");
    frmOptionenProxy dialog;
    std::string whileChecking;
    dialog.checker = [&](const std::string& proxy, bool& anonymous, std::int32_t) {
        whileChecking = dialog.cmdCheck->caption;
        anonymous = proxy == "a.example:80";
        return std::string(kCheckerOK);
    };
    dialog.load();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    std::vector<Shown> shown{
        {"caption", dialog.caption, "Proxy settings"},
        {"first row", dialog.lvProxy->item(0)->text, "[No selection]"},
        {"row count", dialog.lvProxy->toolTipText, "Servers: 3"},
        {"skipped lines", dialogs.shown[0].text,
         "1 line(s) of the server list hold no proxy server and were skipped:\rno proxy here"},
        {"check button", dialog.cmdCheck->caption, "Find the fastest &server"},
    };
    dialog.cmdCheck->click();
    shown.push_back({"check button while checking", whileChecking, "Cancel"});
    shown.push_back({"fastest", dialogs.shown.back().text,
                     "a.example\ris currently the fastest anonymous proxy server"});
    std::vector<std::string> anonymous;
    for (const auto& row : dialog.lvProxy->items()) anonymous.push_back(row->columnText(4));
    std::ranges::sort(anonymous);
    EXPECT_EQ(anonymous, (std::vector<std::string>{"", "No", "Yes"}));
    expectAll(shown);

    // Delete keeps the rows shown as anonymous; OK on "[No selection]"
    // stores no proxy.
    dialog.lvProxy->keyDown(ui::vbKeyDelete, 0);
    EXPECT_EQ(test::TempMachine::readHostFile(list), "a.example:80\r\n");
    dialog.lvProxy->clickItem(0);
    dialog.cmdOK->click();
    EXPECT_FALSE(dialog.isLoaded());
    EXPECT_EQ(settings::read(settings::keys::AnonymIP), "");
}

}  // namespace
}  // namespace kx::anonymity
