// A real Firefox proves the anonymous session: a profile of the host, linked
// into the machine and pointed at the proxy script by `session anonym on`,
// loads a loopback page through a loopback proxy; after `off` the same load
// goes direct. Firefox runs headless on a throw-away profile whose own
// settings keep it off the network (every name resolves to loopback, its own
// fetches are off); its proxy settings are only those our code writes and
// the user's own "direct" they are restored to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host_test.hpp"
#include "support/programs.hpp"
#include "support/web_server.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::RecordedRequest;
using kx::test::TempMachine;
using kx::test::WebServer;

// Every name resolves to loopback, so nothing Firefox fetches on its own can
// leave the machine, and its own fetches (updates, telemetry, safe browsing,
// remote settings, portal checks) are switched off besides. Loopback
// addresses normally bypass any proxy; the page here is on loopback, so they
// must be allowed through it.
constexpr std::string_view kQuietFirefox = R"(user_pref("network.dns.forceResolve", "127.0.0.1");
user_pref("network.trr.mode", 5);
user_pref("network.proxy.allow_hijacking_localhost", true);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("network.dns.disablePrefetch", true);
user_pref("network.http.speculative-parallel-limit", 0);
user_pref("app.update.disabledForTesting", true);
user_pref("app.normandy.enabled", false);
user_pref("browser.region.network.url", "");
user_pref("browser.region.update.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("browser.safebrowsing.provider.mozilla.updateURL", "");
user_pref("browser.safebrowsing.provider.google4.updateURL", "");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.server", "");
user_pref("dom.push.connection.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("geo.provider.network.url", "");
user_pref("extensions.getAddons.cache.enabled", false);
user_pref("media.gmp-manager.url", "");
user_pref("security.OCSP.enabled", 0);
user_pref("services.settings.server", "http://127.0.0.1:1/");
)";

// The user's own choice before the session: no proxy at all.
constexpr std::string_view kOwnPrefs = "user_pref(\"network.proxy.type\", 0);\n";

std::optional<fs::path> firefoxEsr() {
    try {
        return kx::test::hostTool("firefox-esr");
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

class FirefoxSession : public kx::test::HostTest {
  protected:
    void SetUp() override {
        firefox = firefoxEsr();
        if (!firefox)
            GTEST_SKIP() << "firefox-esr is not installed (apt-get install firefox-esr)";
        machine.writeHostFile(profile / "prefs.js", kOwnPrefs);
        machine.writeHostFile(profile / "user.js", kQuietFirefox);
        proxy.setForwardSource("127.0.0.2");
        page.serve("/page", WebServer::Resource{.body = "<html><body>page</body></html>",
                                                .contentType = "text/html"});
    }
    // Loads the page headless and waits for Firefox to end; the screenshot
    // mode ends it once the page is loaded.
    int loadPage() {
        using kx::test::shellQuote;
        const fs::path home = machine.root() / "firefox-home";
        fs::create_directories(home);
        const std::string command =
            "env -u http_proxy -u https_proxy -u all_proxy -u no_proxy HOME=" +
            shellQuote(home.string()) +
            // The remote settings server is taken from the prefs only with this set.
            " MOZ_CRASHREPORTER_DISABLE=1 MOZ_REMOTE_SETTINGS_DEVTOOLS=1 timeout 50 " +
            shellQuote(firefox->string()) + " --headless --no-remote --profile " +
            shellQuote(profile.string()) + " --screenshot " +
            shellQuote((machine.root() / "shot.png").string()) + " " +
            shellQuote(page.url("/page")) + " >" +
            shellQuote((machine.root() / "firefox.log").string()) + " 2>&1";
        return std::system(command.c_str());
    }

    // One line per request: what was asked for (target), or who asked (clientAddress).
    static std::string seen(const WebServer& server, std::string RecordedRequest::*field) {
        std::string out;
        for (const auto& r : server.requests()) out += r.*field + "\n";
        return out;
    }

    std::optional<fs::path> firefox;
    const fs::path profile = machine.root() / "home" / "ff.profile";
    WebServer page;
    WebServer proxy{WebServer::ProxyMode::Anonymous};
};

TEST_F(FirefoxSession, ThePageGoesThroughTheProxyWhileOnAndDirectAfterOff) {
    ok({"machine", "init"});
    ok({"machine", "link-firefox", "--profile", profile.string(), "--firefox", firefox->string()});
    ok({"settings", "set", "Options", "AnonymIP", "127.0.0.1"});
    ok({"settings", "set", "Options", "AnonymPort", std::to_string(proxy.port())});
    ASSERT_EQ(ok({"session", "anonym", "on"}),
              "anonyme Sitzung ein: die Browser nutzen den Proxy " + proxy.hostPort() + "\n");

    ASSERT_EQ(loadPage(), 0) << TempMachine::readHostFile(machine.root() / "firefox.log");
    // The proxy was asked for the page by its whole address, and for nothing
    // else: Firefox sent nothing of its own anywhere. The page was fetched
    // by the proxy, from the proxy's own address.
    EXPECT_EQ(seen(proxy, &RecordedRequest::target), page.url("/page") + "\n");
    EXPECT_EQ(seen(page, &RecordedRequest::clientAddress), "127.0.0.2\n");

    ok({"session", "anonym", "off"});
    EXPECT_EQ(TempMachine::readHostFile(profile / "prefs.js").find("network.proxy.autoconfig_url"),
              std::string::npos);
    page.clearRequests();
    proxy.clearRequests();
    ASSERT_EQ(loadPage(), 0) << TempMachine::readHostFile(machine.root() / "firefox.log");
    EXPECT_EQ(seen(proxy, &RecordedRequest::target), "");
    EXPECT_EQ(seen(page, &RecordedRequest::clientAddress), "127.0.0.1\n");
}

}  // namespace
