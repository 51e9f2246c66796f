// The console host's browser sessions against a Firefox profile of a
// throw-away home: linked from profiles.ini, pointed at the proxy script by
// one process and restored by the next, and started with a page.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host_test.hpp"
#include "support/home_scope.hpp"
#include "support/programs.hpp"

namespace {

namespace fs = std::filesystem;
using kx::test::HasSubstr;
using kx::test::TempMachine;

class SessionCommands : public kx::test::HostTest {
  protected:
    void SetUp() override {
        fs::create_directories(machine.host("C:\\Programme\\Kolvanex"));
        machine.writeHostFile(
            firefox / "profiles.ini",
            "[General]\nStartWithLastProfile=1\n\n"
            "[Profile1]\nName=work\nIsRelative=1\nPath=w0rk.work\n\n"
            "[Profile0]\nName=default\nIsRelative=1\nPath=d3f.default\nDefault=1\n");
        machine.writeHostFile(firefox / "w0rk.work" / "prefs.js", kPrefs);
        machine.writeHostFile(prefs, kOwnProxyPrefs);
    }
    static constexpr std::string_view kPrefs =
        "user_pref(\"browser.startup.homepage\", \"about:blank\");\n";
    // A profile with a proxy set up by its user.
    static constexpr std::string_view kOwnProxyPrefs =
        "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
        "user_pref(\"network.proxy.autoconfig_url\", \"http://proxy.firma.example/proxy.pac\");\n"
        "user_pref(\"network.proxy.type\", 1);\n";

    static std::string read(const fs::path& file) { return TempMachine::readHostFile(file); }
    // The proxy script the browsers are pointed at.
    std::string script() { return read(machine.host("C:\\Programme\\Kolvanex\\kx.js")); }

    const fs::path home = machine.root() / "home";
    const fs::path firefox = home / ".mozilla" / "firefox";
    const fs::path prefs = firefox / "d3f.default" / "prefs.js";  // the default profile's
    kx::test::HomeScope homeScope{home};
};

TEST_F(SessionCommands, TheDefaultProfileIsLinkedPointedAtTheScriptAndRestored) {
    EXPECT_EQ(kolvanex({"machine", "link-firefox", "--firefox", "/nonexistent/firefox"}).exitCode,
              2);
    EXPECT_THAT(ok({"machine", "link-firefox"}),
                HasSubstr("Profiles\\d3f.default -> " + (firefox / "d3f.default").string()));
    EXPECT_EQ(ok({"settings", "get", "Options", "BrowserIsMozillaFireFox"}), "True\n");

    ok({"settings", "set", "Options", "AnonymIP", "127.0.0.1"});
    ok({"settings", "set", "Options", "AnonymPort", "8118"});
    EXPECT_EQ(ok({"session", "anonym", "on"}),
              "anonyme Sitzung ein: die Browser nutzen den Proxy 127.0.0.1:8118\n");
    EXPECT_THAT(read(prefs), HasSubstr("user_pref(\"network.proxy.type\", 2);"));
    EXPECT_EQ(read(firefox / "w0rk.work" / "prefs.js"), kPrefs);
    EXPECT_THAT(script(), HasSubstr("PROXY 127.0.0.1:8118"));
    EXPECT_EQ(ok({"settings", "get", "Options", "AnoSession"}), "1\n");
    EXPECT_TRUE(fs::exists(machine.prefix() / "browser-settings.json"));

    // Another process ends the session and gives the profile its user's own
    // proxy back; nothing is kept once all is restored.
    ok({"session", "anonym", "off"});
    EXPECT_EQ(read(prefs), kOwnProxyPrefs);
    EXPECT_FALSE(fs::exists(machine.prefix() / "browser-settings.json"));
    EXPECT_EQ(ok({"settings", "get", "Options", "AnoSession"}), "0\n");

    EXPECT_EQ(kolvanex({"session", "anonym", "maybe"}).exitCode, 2);
}

TEST_F(SessionCommands, NoProxyFoundFailsClosedAndOffWithoutASessionChangesNothing) {
    ok({"machine", "link-firefox"});
    // Nothing was saved: the user's own proxy stays.
    EXPECT_EQ(
        ok({"session", "anonym", "off"}),
        "keine anonyme Sitzung zu beenden: die Browser behalten ihre eigenen Einstellungen\n");
    EXPECT_EQ(read(prefs), kOwnProxyPrefs);

    // No proxy configured and no list to search: the browsers point at the
    // address that reaches nobody, and the status says it was no success.
    const auto run = kolvanex({"--quiet", "session", "anonym", "on"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, HasSubstr("kein anonymer Proxy wurde gefunden; die Browser zeigen auf "
                                   "192.0.2.1:80, der niemanden erreicht"));
    EXPECT_THAT(read(prefs), HasSubstr("user_pref(\"network.proxy.type\", 2);"));
    EXPECT_THAT(script(), HasSubstr("PROXY 192.0.2.1:80"));
    ok({"session", "anonym", "off"});
    EXPECT_EQ(read(prefs), kOwnProxyPrefs);
}

TEST_F(SessionCommands, OpenStartsTheLinkedFirefoxWithThePage) {
    const fs::path record = machine.root() / "firefox-args.txt";
    const fs::path fake = machine.root() / "bin" / "firefox";
    machine.writeHostFile(fake, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.string() +
                                    ".tmp' && mv '" + record.string() + ".tmp' '" +
                                    record.string() + "'\n");
    fs::permissions(fake, fs::perms::owner_all, fs::perm_options::add);
    ok({"machine", "link-firefox", "--profile", (firefox / "w0rk.work").string(), "--firefox",
        fake.string()});

    ok({"--quiet", "open", "http://127.0.0.1:9/start page"});
    ASSERT_TRUE(kx::test::waitUntil([&] { return fs::exists(record); }));
    EXPECT_EQ(read(record), "--profile\n" + (firefox / "w0rk.work").string() +
                                "\nhttp://127.0.0.1:9/start page\n");

    // A profile folder that is not there is refused.
    EXPECT_EQ(
        kolvanex({"machine", "link-firefox", "--profile", (home / "missing").string()}).exitCode,
        1);
}

TEST_F(SessionCommands, TheSafeSessionSwitchesTheZones) {
    ok({"machine", "init"});  // the zone files
    const std::string key =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
        "Settings\\Zones\\3";
    ok({"session", "safe", "on"});
    EXPECT_THAT(ok({"reg", "query", key, "-v", "1400"}), HasSubstr("0x00000003"));
    ok({"session", "safe", "off"});
    EXPECT_THAT(ok({"reg", "query", key, "-v", "1400"}), HasSubstr("0x00000000"));
}

}  // namespace
