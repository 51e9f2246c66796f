// The console host's browser sessions against a Firefox profile of a
// throw-away home: linked from profiles.ini, pointed at the proxy script by
// one process and restored by the next, and started with a page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/home_scope.hpp"
#include "support/host_run.hpp"
#include "support/programs.hpp"
#include "support/temp_machine.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::HomeScope;
using kx::test::TempMachine;

class SessionCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(machine.host("C:\\Programme\\Kolvanex"));
        machine.writeHostFile(
            firefox / "profiles.ini",
            "[General]\nStartWithLastProfile=1\n\n"
            "[Profile1]\nName=work\nIsRelative=1\nPath=w0rk.work\n\n"
            "[Profile0]\nName=default\nIsRelative=1\nPath=d3f.default\nDefault=1\n");
        machine.writeHostFile(firefox / "w0rk.work" / "prefs.js", kPrefs);
        machine.writeHostFile(firefox / "d3f.default" / "prefs.js", kOwnProxyPrefs);
    }
    kx::test::HostRun kolvanex(const std::vector<std::string>& args) {
        return kx::test::runKolvanex(machine.prefix(), args, machine.root());
    }
    static constexpr std::string_view kPrefs =
        "user_pref(\"browser.startup.homepage\", \"about:blank\");\n";
    // A profile with a proxy set up by its user.
    static constexpr std::string_view kOwnProxyPrefs =
        "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
        "user_pref(\"network.proxy.autoconfig_url\", \"http://proxy.firma.example/proxy.pac\");\n"
        "user_pref(\"network.proxy.type\", 1);\n";

    TempMachine machine;
    const fs::path home = machine.root() / "home";
    const fs::path firefox = home / ".mozilla" / "firefox";
    HomeScope homeScope{home};
};

TEST_F(SessionCommands, TheDefaultProfileIsLinkedPointedAtTheScriptAndRestored) {
    auto run = kolvanex({"machine", "link-firefox", "--firefox", "/nonexistent/firefox"});
    EXPECT_EQ(run.exitCode, 2);
    run = kolvanex({"machine", "link-firefox"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Profiles\\d3f.default -> " + (firefox / "d3f.default").string()),
              std::string::npos)
        << run.out;
    run = kolvanex({"settings", "get", "Options", "BrowserIsMozillaFireFox"});
    EXPECT_EQ(run.out, "True\n");

    ASSERT_EQ(kolvanex({"settings", "set", "Options", "AnonymIP", "127.0.0.1"}).exitCode, 0);
    ASSERT_EQ(kolvanex({"settings", "set", "Options", "AnonymPort", "8118"}).exitCode, 0);
    run = kolvanex({"session", "anonym", "on"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "anonyme Sitzung ein: die Browser nutzen den Proxy 127.0.0.1:8118\n");
    const auto on = TempMachine::readHostFile(firefox / "d3f.default" / "prefs.js");
    EXPECT_NE(on.find("user_pref(\"network.proxy.type\", 2);"), std::string::npos) << on;
    EXPECT_EQ(TempMachine::readHostFile(firefox / "w0rk.work" / "prefs.js"), kPrefs);
    EXPECT_NE(TempMachine::readHostFile(machine.host("C:\\Programme\\Kolvanex\\kx.js"))
                  .find("PROXY 127.0.0.1:8118"),
              std::string::npos);
    EXPECT_EQ(kolvanex({"settings", "get", "Options", "AnoSession"}).out, "1\n");

    EXPECT_TRUE(fs::exists(machine.prefix() / "browser-settings.json"));

    // Another process ends the session and gives the profile its user's own
    // proxy back; nothing is kept once all is restored.
    run = kolvanex({"session", "anonym", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(TempMachine::readHostFile(firefox / "d3f.default" / "prefs.js"), kOwnProxyPrefs);
    EXPECT_FALSE(fs::exists(machine.prefix() / "browser-settings.json"));
    EXPECT_EQ(kolvanex({"settings", "get", "Options", "AnoSession"}).out, "0\n");

    EXPECT_EQ(kolvanex({"session", "anonym", "maybe"}).exitCode, 2);
}

TEST_F(SessionCommands, NoProxyFoundFailsClosedAndOffWithoutASessionChangesNothing) {
    ASSERT_EQ(kolvanex({"machine", "link-firefox"}).exitCode, 0);
    const fs::path prefs = firefox / "d3f.default" / "prefs.js";
    // Nothing was saved: the user's own proxy stays.
    auto run = kolvanex({"session", "anonym", "off"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(
        run.out,
        "keine anonyme Sitzung zu beenden: die Browser behalten ihre eigenen Einstellungen\n");
    EXPECT_EQ(TempMachine::readHostFile(prefs), kOwnProxyPrefs);

    // No proxy configured and no list to search: the browsers point at the
    // address that reaches nobody, and the status says it was no success.
    run = kolvanex({"--quiet", "session", "anonym", "on"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(
        run.err.find("kein anonymer Proxy wurde gefunden; die Browser zeigen auf 192.0.2.1:80, "
                     "der niemanden erreicht"),
        std::string::npos)
        << run.err;
    EXPECT_NE(TempMachine::readHostFile(prefs).find("user_pref(\"network.proxy.type\", 2);"),
              std::string::npos);
    EXPECT_NE(TempMachine::readHostFile(machine.host("C:\\Programme\\Kolvanex\\kx.js"))
                  .find("PROXY 192.0.2.1:80"),
              std::string::npos);
    ASSERT_EQ(kolvanex({"session", "anonym", "off"}).exitCode, 0);
    EXPECT_EQ(TempMachine::readHostFile(prefs), kOwnProxyPrefs);
}

TEST_F(SessionCommands, OpenStartsTheLinkedFirefoxWithThePage) {
    const fs::path record = machine.root() / "firefox-args.txt";
    const fs::path fake = machine.root() / "bin" / "firefox";
    machine.writeHostFile(fake, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.string() +
                                    ".tmp' && mv '" + record.string() + ".tmp' '" +
                                    record.string() + "'\n");
    fs::permissions(fake, fs::perms::owner_all, fs::perm_options::add);
    auto run = kolvanex({"machine", "link-firefox", "--profile", (firefox / "w0rk.work").string(),
                         "--firefox", fake.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    run = kolvanex({"--quiet", "open", "http://127.0.0.1:9/start page"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(kx::test::waitUntil([&] { return fs::exists(record); }));
    EXPECT_EQ(TempMachine::readHostFile(record), "--profile\n" + (firefox / "w0rk.work").string() +
                                                     "\nhttp://127.0.0.1:9/start page\n");

    // A profile folder that is not there is refused.
    run = kolvanex({"machine", "link-firefox", "--profile", (home / "missing").string()});
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(SessionCommands, TheSafeSessionSwitchesTheZones) {
    ASSERT_EQ(kolvanex({"machine", "init"}).exitCode, 0);  // the zone files
    auto run = kolvanex({"session", "safe", "on"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string key =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
        "Settings\\Zones\\3";
    EXPECT_NE(kolvanex({"reg", "query", key, "-v", "1400"}).out.find("0x00000003"),
              std::string::npos);
    ASSERT_EQ(kolvanex({"session", "safe", "off"}).exitCode, 0);
    EXPECT_NE(kolvanex({"reg", "query", key, "-v", "1400"}).out.find("0x00000000"),
              std::string::npos);
}

}  // namespace
