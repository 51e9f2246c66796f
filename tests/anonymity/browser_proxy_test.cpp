// Browsers pointed at the proxy script and back: the three kinds of script,
// Mozilla's prefs rewritten and restored, Opera's ini keys, Internet
// Explorer's per-connection settings saved once and written back, and the
// shipped template and ad filter.
#include "anonymity/browser_proxy.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "anonymity/proxy_script.hpp"
#include "anonymity/shipped_files.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "fsys/file_access.hpp"
#include "platform/network/dialup.hpp"
#include "support/temp_machine.hpp"

namespace kx::anonymity {
namespace {

namespace fs = std::filesystem;
using kx::test::TempMachine;

const std::string kApp = "C:\\Programme\\Kolvanex";
const std::string kScript = kApp + "\\kx.js";
const std::string kAddress = "file://" + kApp + "\\kx.js";
const std::string kAdAddress = "file://" + kApp + "\\no-ads.pac";
const std::string kAppData = "C:\\Dokumente und Einstellungen\\anna\\Anwendungsdaten";
const std::string kOperaIni = kAppData + "\\opera\\opera7\\profile\\opera6.ini";
const std::string kPrefs = kAppData + "\\Mozilla\\Profiles\\default\\k2x9.slt\\prefs.js";
const std::string kPrefs2 = kAppData + "\\Mozilla\\Profiles\\work\\a1b2.slt\\prefs.js";

const std::string kUrlLine =
    "user_pref(\"network.proxy.autoconfig_url\", "
    "\"file://C:\\\\Programme\\\\Kolvanex\\\\kx.js\");";
const std::string kTypeLine = "user_pref(\"network.proxy.type\", 2);";

std::string oneLine(std::string_view answer) {
    return "function FindProxyForURL(url, host) { return \"" + std::string(answer) + "\";}\r\n";
}

class BrowserProxy : public ::testing::Test {
  protected:
    void SetUp() override {
        resetShared();
        forgetSavedBrowserSettings();
        fs::create_directories(tm.host(kApp));
        ASSERT_TRUE(kolvanex.KXAppPath(kApp));
    }
    void TearDown() override {
        forgetSavedBrowserSettings();
        resetShared();
    }
    void put(const std::string& windowsPath, std::string_view text) {
        tm.writeHostFile(tm.host(windowsPath), text);
    }
    std::string read(const std::string& windowsPath) const {
        return TempMachine::readHostFile(tm.host(windowsPath));
    }
    bool exists(const std::string& windowsPath) const { return fs::exists(tm.host(windowsPath)); }
    // The LAN's (or a dial-up entry's) script address and its flags.
    std::pair<std::string, std::int32_t> ieAutoConfig(const std::string& connection = "") {
        std::string url;
        std::int32_t flags = 0;
        ie.GetAutoConfigURL(connection, url, flags);
        return {url, flags};
    }

    TempMachine tm;
    CKOLVANEX kolvanex;
    fsys::FileAccess ie;
};

// ---- the script --------------------------------------------------------------

TEST_F(BrowserProxy, ScriptForNoProxyOneProxyAndAChainWithoutTemplate) {
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("10.1.2.3:8080"));
    EXPECT_EQ(read(kScript), oneLine("PROXY 10.1.2.3:8080"));
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile(""));
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    put(kScript, "old");
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("   "));
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));

    // A chain without the shipped template ends quietly: the old script stays,
    // and where there was none, none is made.
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("a:1;b:2"));
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    fs::remove(tm.host(kScript));
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("a:1;b:2"));
    EXPECT_FALSE(exists(kScript));
}

TEST(ProxyScript, PlaceholdersAreWholeNumbersAndEmptyPartsLoseTheirClause) {
    const std::string tpl = "return \"PROXY $0; PROXY $1; PROXY $2; PROXY $10; PROXY $11; \";";
    EXPECT_EQ(buildProxyScript("p0;p1;", tpl), "return \"PROXY p0; PROXY p1; \";");
    EXPECT_EQ(buildProxyScript("p0;;p2", tpl), "return \"PROXY p0; PROXY p2; \";");
    EXPECT_EQ(buildProxyScript(" p0 ; p1", tpl), "return \"PROXY p0; PROXY p1; \";");
    EXPECT_EQ(buildProxyScript(";;", tpl), std::nullopt);  // a chain of nothing
    EXPECT_EQ(buildProxyScript("a;b", std::nullopt), std::nullopt);
    // Nothing may break out of the script's quoted text.
    EXPECT_EQ(buildProxyScript("x\"; alert(1); \"", std::nullopt), std::nullopt);
    EXPECT_EQ(buildProxyScript("a;b\nc", tpl), std::nullopt);
}

TEST_F(BrowserProxy, ShippedFilesAreInstalledOnceAndTheChainFillsTheTemplate) {
    put(kApp + "\\no-ads.pac", "mine");
    ASSERT_TRUE(installShippedFiles(tm.machine(), kApp));
    EXPECT_EQ(read(kApp + "\\no-ads.pac"), "mine");  // a user's copy is kept
    const std::string tpl = read(kApp + "\\template.js");
    for (int i = 0; i <= kLastChainClause; ++i)
        EXPECT_NE(tpl.find("PROXY $" + std::to_string(i) + "; "), std::string::npos) << i;
    EXPECT_EQ(tpl.find("PROXY $32"), std::string::npos);
    EXPECT_EQ(tpl.find("\n\n"), std::string::npos);  // CR LF throughout
    for (const auto& file : shippedFiles()) {
        if (file.name.ends_with(".reg"))
            continue;  // the zone files of the safe session
        EXPECT_NE(std::string(file.text).find("function FindProxyForURL(url, host)"),
                  std::string::npos)
            << file.name;
    }

    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("a.example:80;b.example:3128;"));
    const std::string script = read(kScript);
    EXPECT_NE(script.find("return \"PROXY a.example:80; PROXY b.example:3128; \";"),
              std::string::npos)
        << script;
    EXPECT_EQ(script.find("PROXY $"), std::string::npos);  // the unused clauses are gone
    EXPECT_EQ(script.find("DIRECT\";\r\n}"),
              std::string::npos);                // no fallback to the user's address
    EXPECT_TRUE(script.ends_with("}\r\n\r\n"));  // the template's own end + CR LF
}

// ---- Mozilla -------------------------------------------------------------------

// Each case: the profile as it was (nullopt: no file), the proxy set, the
// profile then; a second proxy follows before the restore, which must not
// make our own lines the saved ones; then the profile after the restore.
TEST_F(BrowserProxy, MozillaPrefsAreRewrittenAndRestored) {
    const std::string adLine =
        "user_pref(\"network.proxy.autoconfig_url\", "
        "\"file://C:\\\\Programme\\\\Kolvanex\\\\no-ads.pac\");";
    struct Case {
        const char* name;
        std::optional<std::string> before;
        std::string proxy, on, off;
    };
    const Case cases[] = {
        // Line feeds alone stay so.
        {"type one becomes two",
         "# Mozilla User Preferences\n"
         "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
         "user_pref(\"network.proxy.type\", 1);\n"
         "user_pref(\"network.proxy.http\", \"corp\");\n",
         "1.2.3.4:80",
         "# Mozilla User Preferences\n"
         "user_pref(\"browser.startup.homepage\", \"about:blank\");\n" +
             kTypeLine + "\nuser_pref(\"network.proxy.http\", \"corp\");\n" + kUrlLine + "\n",
         "# Mozilla User Preferences\n"
         "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
         "user_pref(\"network.proxy.type\", 1);\n"
         "user_pref(\"network.proxy.http\", \"corp\");\n"},
        {"old address line kept, odd lines survive",
         "user_pref(\"Network.Proxy.Autoconfig_URL\", \"http://corp/p.pac\");\r\n"
         "\r\n"
         "  odd line without pref\rlone-cr line\n"
         "user_pref(\"network.proxy.type\", 0);",  // no final line break
         "h:1",
         kUrlLine + "\r\n\r\n  odd line without pref\r\nlone-cr line\r\n" + kTypeLine + "\r\n",
         "user_pref(\"Network.Proxy.Autoconfig_URL\", \"http://corp/p.pac\");\r\n"
         "\r\n  odd line without pref\r\nlone-cr line\r\n"
         "user_pref(\"network.proxy.type\", 0);\r\n"},
        // The lines that were not there go again.
        {"missing file", std::nullopt, "h:1", kUrlLine + "\r\n" + kTypeLine + "\r\n", ""},
        {"ad filter", "", "ADFILTER", adLine + "\r\n" + kTypeLine + "\r\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        forgetSavedBrowserSettings();
        fs::remove(tm.host(kPrefs));
        fs::remove(tm.host(kScript));
        fs::create_directories(tm.host(kPrefs).parent_path());
        if (c.before)
            put(kPrefs, *c.before);

        ASSERT_EQ(kolvanex.SetMozillaProxy(c.proxy, kPrefs), true);
        EXPECT_EQ(read(kPrefs), c.on);
        // The ad filter writes no script.
        EXPECT_EQ(exists(kScript) ? read(kScript) : "none",
                  c.proxy == "ADFILTER" ? "none" : oneLine("PROXY " + c.proxy));

        ASSERT_EQ(kolvanex.SetMozillaProxy("5.6.7.8:80", kPrefs), true);
        ASSERT_EQ(kolvanex.SetMozillaProxy("", kPrefs), true);
        EXPECT_EQ(read(kPrefs), c.off);
        EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    }
}

TEST_F(BrowserProxy, MozillaProfilesKeepTheirOwnOldLines) {
    put(kPrefs, "user_pref(\"network.proxy.type\", 1);\n");
    put(kPrefs2, "user_pref(\"network.proxy.type\", 4);\n");
    for (const auto& proxy : {"h:1", ""}) {
        ASSERT_EQ(kolvanex.SetMozillaProxy(proxy, kPrefs), true);
        ASSERT_EQ(kolvanex.SetMozillaProxy(proxy, kPrefs2), true);
    }
    EXPECT_EQ(read(kPrefs), "user_pref(\"network.proxy.type\", 1);\n");
    EXPECT_EQ(read(kPrefs2), "user_pref(\"network.proxy.type\", 4);\n");
}

// ---- Opera -------------------------------------------------------------------

TEST_F(BrowserProxy, OperaKeysGetTheAddressWithSingleBackslashesAndComeBack) {
    const auto ini = [](const std::string& url, const std::string& use) {
        return "Opera Preferences version 2.0\r\n\r\n[Proxy]\r\n"
               "Automatic Proxy Configuration URL=" +
               url +
               "\r\n"
               "Use Automatic Proxy Configuration=" +
               use +
               "\r\nHTTP server=corp:3128\r\n"
               "[User Prefs]\r\nLanguage=de\r\n[proxy]\r\nUse Automatic Proxy Configuration=7\r\n";
    };
    put(kOperaIni, ini("  http://corp/p.pac ", "0"));
    ASSERT_EQ(kolvanex.SetOperaProxy("h:1"), true);
    EXPECT_EQ(read(kOperaIni), ini(kAddress, "1"));
    EXPECT_EQ(read(kScript), oneLine("PROXY h:1"));

    ASSERT_EQ(kolvanex.SetOperaProxy("ADFILTER"), true);  // not saved again
    EXPECT_EQ(read(kOperaIni), ini(kAdAddress, "1"));
    EXPECT_EQ(read(kScript), oneLine("PROXY h:1"));  // the ad filter writes no script

    ASSERT_EQ(kolvanex.SetOperaProxy(""), true);
    EXPECT_EQ(read(kOperaIni), ini("http://corp/p.pac", "0"));
}

TEST_F(BrowserProxy, OperaWithoutIniFailsAndARestoreAfterARestartWritesEmptyValues) {
    EXPECT_EQ(kolvanex.SetOperaProxy("h:1"), false);
    EXPECT_FALSE(exists(kScript));

    put(kOperaIni, "[Proxy]\r\nAutomatic Proxy Configuration URL=" + kAddress +
                       "\r\nUse Automatic Proxy Configuration=1\r\n");
    ASSERT_EQ(kolvanex.SetOperaProxy(""), true);
    EXPECT_EQ(read(kOperaIni),
              "[Proxy]\r\nAutomatic Proxy Configuration URL=\r\n"
              "Use Automatic Proxy Configuration=\r\n");
}

// ---- Internet Explorer and all browsers ------------------------------------

TEST_F(BrowserProxy, InternetExplorerIsSavedOnceAndRestoredWithTheOthers) {
    // A restore with nothing saved still points at the (direct) script.
    ASSERT_EQ(kolvanex.SetIEProxy(""), true);
    EXPECT_EQ(ieAutoConfig(), std::pair(kAddress, 5));
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    EXPECT_TRUE(savedBrowserSettings().ie.empty());

    ie.SetProxyValue("corp:3128", "", 3);
    ie.SetAutoConfigURL("http://corp/p.pac", "", 7);
    put(kPrefs, "user_pref(\"network.proxy.type\", 1);\n");
    put(kOperaIni, "[Proxy]\r\nUse Automatic Proxy Configuration=0\r\n");

    ASSERT_EQ(kolvanex.SetIEProxy("1.2.3.4:80"), true);
    EXPECT_EQ(ieAutoConfig(), std::pair(kAddress, 5));
    EXPECT_EQ(read(kScript), oneLine("PROXY 1.2.3.4:80"));
    EXPECT_NE(read(kPrefs).find(kTypeLine), std::string::npos);
    EXPECT_NE(read(kOperaIni).find("Use Automatic Proxy Configuration=1"), std::string::npos);

    auto saved = savedBrowserSettings().ie;
    ASSERT_EQ(saved.size(), 1u);  // the LAN; there is no phone book of dial-up entries
    EXPECT_EQ(saved[0].connectionName, "");
    EXPECT_EQ(saved[0].autoConfigUrl, "http://corp/p.pac");
    EXPECT_EQ(saved[0].autoConfigFlags, 7);
    EXPECT_EQ(saved[0].proxyValue, "corp:3128");

    ASSERT_EQ(kolvanex.SetIEProxy("ADFILTER"), true);
    EXPECT_EQ(ieAutoConfig().first, kAdAddress);
    saved = savedBrowserSettings().ie;
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].autoConfigUrl, "http://corp/p.pac");  // never overwritten

    ASSERT_EQ(kolvanex.SetIEProxy(""), true);
    std::string value;
    std::int32_t valueFlags = 0;
    ie.GetProxyValue("", value, valueFlags);
    EXPECT_EQ(ieAutoConfig(), std::pair(std::string("http://corp/p.pac"), 7));
    EXPECT_EQ(value, "corp:3128");
    EXPECT_EQ(read(kPrefs), "user_pref(\"network.proxy.type\", 1);\n");
    EXPECT_EQ(read(kOperaIni), "[Proxy]\r\nUse Automatic Proxy Configuration=0\r\n");
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    EXPECT_EQ(savedBrowserSettings().ie.size(), 1u);  // kept for the process
}

TEST_F(BrowserProxy, InternetExplorerDialUpEntriesFollowTheLan) {
    tm.writeHostFile(tm.host(platform::defaultPhoneBook(tm.machine())),
                     "[T-Online]\r\nPhoneNumber=0191011\r\n[Arcor]\r\nPhoneNumber=0192070\r\n");
    ie.SetAutoConfigURL("http://isp/p.pac", "Arcor", 1);
    ASSERT_EQ(kolvanex.SetIEProxy("1.2.3.4:80"), true);
    const auto saved = savedBrowserSettings().ie;
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[0].connectionName, "");
    EXPECT_EQ(saved[1].connectionName, "T-Online");
    EXPECT_EQ(saved[2].connectionName, "Arcor");
    EXPECT_EQ(saved[2].autoConfigUrl, "http://isp/p.pac");
    for (const char* connection : {"", "T-Online", "Arcor"})
        EXPECT_EQ(ieAutoConfig(connection), std::pair(kAddress, 5)) << connection;
    ASSERT_EQ(kolvanex.SetIEProxy(""), true);
    EXPECT_EQ(ieAutoConfig("Arcor"), std::pair(std::string("http://isp/p.pac"), 1));
}

}  // namespace
}  // namespace kx::anonymity
