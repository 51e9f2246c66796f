// Browsers pointed at the proxy script and back: the three kinds of script,
// Mozilla's prefs rewritten and restored, Opera's ini keys, Internet
// Explorer's per-connection settings saved once and written back, and the
// shipped template and ad filter.
#include "anonymity/browser_proxy.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "anonymity/proxy_script.hpp"
#include "anonymity/shipped_files.hpp"
#include "frame/kolvanex.hpp"
#include "frame/shared_state.hpp"
#include "fsys/file_access.hpp"
#include "platform/dialup.hpp"
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
    bool exists(const std::string& windowsPath) const {
        return fs::exists(tm.host(windowsPath));
    }
    void installTemplate() { ASSERT_TRUE(installShippedFiles(tm.machine(), kApp)); }

    TempMachine tm;
    CKOLVANEX kolvanex;
};

// ---- the script --------------------------------------------------------------

TEST_F(BrowserProxy, AddressesOfTheScripts) {
    EXPECT_EQ(kolvanex.GetAutoProxyFileName(), kAddress);
    EXPECT_EQ(kolvanex.GetAdFilterProxyFileName(), kAdAddress);
}

TEST_F(BrowserProxy, EmptyOrBlankProxyWritesTheDirectScript) {
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile(""));
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    put(kScript, "old");
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("   "));
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
}

TEST_F(BrowserProxy, SingleProxyAnswersProxyAndTheAddress) {
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("10.1.2.3:8080"));
    EXPECT_EQ(read(kScript), oneLine("PROXY 10.1.2.3:8080"));
}

TEST_F(BrowserProxy, ChainFillsTheShippedTemplateAndDropsTheUnusedClauses) {
    installTemplate();
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("a.example:80;b.example:3128;"));
    const std::string script = read(kScript);
    EXPECT_NE(script.find("return \"PROXY a.example:80; PROXY b.example:3128; \";"),
              std::string::npos)
        << script;
    EXPECT_EQ(script.find("PROXY $"), std::string::npos);
    EXPECT_EQ(script.find("DIRECT\";\r\n}"), std::string::npos);  // no fallback to the user's address
    EXPECT_TRUE(script.ends_with("}\r\n\r\n"));                   // the template's own end + CR LF
}

TEST_F(BrowserProxy, PlaceholdersAreWholeNumbersAndEmptyPartsLoseTheirClause) {
    const std::string tpl = "return \"PROXY $0; PROXY $1; PROXY $2; PROXY $10; PROXY $11; \";";
    EXPECT_EQ(buildProxyScript("p0;p1;", tpl), "return \"PROXY p0; PROXY p1; \";");
    EXPECT_EQ(buildProxyScript("p0;;p2", tpl), "return \"PROXY p0; PROXY p2; \";");
    EXPECT_EQ(buildProxyScript(" p0 ; p1", tpl), "return \"PROXY p0; PROXY p1; \";");
    EXPECT_EQ(buildProxyScript(";;", tpl), std::nullopt);       // a chain of nothing
    EXPECT_EQ(buildProxyScript("a;b", std::nullopt), std::nullopt);
    // Nothing may break out of the script's quoted text.
    EXPECT_EQ(buildProxyScript("x\"; alert(1); \"", std::nullopt), std::nullopt);
    EXPECT_EQ(buildProxyScript("a;b\nc", tpl), std::nullopt);
}

TEST_F(BrowserProxy, ChainWithoutTemplateEndsQuietlyAndKeepsTheOldScript) {
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile(""));
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("a:1;b:2"));
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    fs::remove(tm.host(kScript));
    ASSERT_TRUE(kolvanex.WriteAutoProxyFile("a:1;b:2"));
    EXPECT_FALSE(exists(kScript));
}

TEST_F(BrowserProxy, ShippedFilesAreInstalledOnceAndKeepAUsersCopy) {
    put(kApp + "\\no-ads.pac", "mine");
    installTemplate();
    EXPECT_EQ(read(kApp + "\\no-ads.pac"), "mine");
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
}

// ---- Mozilla -------------------------------------------------------------------

TEST_F(BrowserProxy, MozillaTypeOneBecomesTwoAndComesBack) {
    const std::string before =
        "# Mozilla User Preferences\n"
        "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
        "user_pref(\"network.proxy.type\", 1);\n"
        "user_pref(\"network.proxy.http\", \"corp\");\n";
    put(kPrefs, before);
    ASSERT_EQ(kolvanex.SetMozillaProxy("1.2.3.4:80", kPrefs), true);
    EXPECT_EQ(read(kPrefs),
              "# Mozilla User Preferences\r\n"
              "user_pref(\"browser.startup.homepage\", \"about:blank\");\r\n" +
                  kTypeLine + "\r\nuser_pref(\"network.proxy.http\", \"corp\");\r\n" + kUrlLine +
                  "\r\n");
    EXPECT_EQ(read(kScript), oneLine("PROXY 1.2.3.4:80"));

    // A second proxy before the restore must not make our lines the saved ones.
    ASSERT_EQ(kolvanex.SetMozillaProxy("5.6.7.8:80", kPrefs), true);
    ASSERT_EQ(kolvanex.SetMozillaProxy("", kPrefs), true);
    EXPECT_EQ(read(kPrefs),
              "# Mozilla User Preferences\r\n"
              "user_pref(\"browser.startup.homepage\", \"about:blank\");\r\n"
              "user_pref(\"network.proxy.type\", 1);\r\n"
              "user_pref(\"network.proxy.http\", \"corp\");\r\n");
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
}

TEST_F(BrowserProxy, MozillaOldAddressLineIsKeptAndOddLinesSurvive) {
    put(kPrefs,
        "user_pref(\"Network.Proxy.Autoconfig_URL\", \"http://corp/p.pac\");\r\n"
        "\r\n"
        "  odd line without pref\rlone-cr line\n"
        "user_pref(\"network.proxy.type\", 0);");  // no final line break
    ASSERT_EQ(kolvanex.SetMozillaProxy("h:1", kPrefs), true);
    EXPECT_EQ(read(kPrefs), kUrlLine + "\r\n\r\n  odd line without pref\r\nlone-cr line\r\n" +
                                kTypeLine + "\r\n");
    ASSERT_EQ(kolvanex.SetMozillaProxy("", kPrefs), true);
    EXPECT_EQ(read(kPrefs),
              "user_pref(\"Network.Proxy.Autoconfig_URL\", \"http://corp/p.pac\");\r\n"
              "\r\n  odd line without pref\r\nlone-cr line\r\n"
              "user_pref(\"network.proxy.type\", 0);\r\n");
}

TEST_F(BrowserProxy, MozillaMissingFileIsCreatedWithTheTwoLinesAndEmptiedOnRestore) {
    fs::create_directories(tm.host(kPrefs).parent_path());
    ASSERT_EQ(kolvanex.SetMozillaProxy("h:1", kPrefs), true);
    EXPECT_EQ(read(kPrefs), kUrlLine + "\r\n" + kTypeLine + "\r\n");
    ASSERT_EQ(kolvanex.SetMozillaProxy("", kPrefs), true);
    EXPECT_EQ(read(kPrefs), "");  // the lines that were not there go again
}

TEST_F(BrowserProxy, MozillaAdFilterPointsAtNoAdsAndWritesNoScript) {
    put(kPrefs, "");
    ASSERT_EQ(kolvanex.SetMozillaProxy("ADFILTER", kPrefs), true);
    EXPECT_EQ(read(kPrefs),
              "user_pref(\"network.proxy.autoconfig_url\", "
              "\"file://C:\\\\Programme\\\\Kolvanex\\\\no-ads.pac\");\r\n" +
                  kTypeLine + "\r\n");
    EXPECT_FALSE(exists(kScript));
}

TEST_F(BrowserProxy, MozillaProfilesKeepTheirOwnOldLines) {
    put(kPrefs, "user_pref(\"network.proxy.type\", 1);\n");
    put(kPrefs2, "user_pref(\"network.proxy.type\", 4);\n");
    ASSERT_EQ(kolvanex.SetMozillaProxy("h:1", kPrefs), true);
    ASSERT_EQ(kolvanex.SetMozillaProxy("h:1", kPrefs2), true);
    ASSERT_EQ(kolvanex.SetMozillaProxy("", kPrefs), true);
    ASSERT_EQ(kolvanex.SetMozillaProxy("", kPrefs2), true);
    EXPECT_EQ(read(kPrefs), "user_pref(\"network.proxy.type\", 1);\r\n");
    EXPECT_EQ(read(kPrefs2), "user_pref(\"network.proxy.type\", 4);\r\n");
}

// ---- Opera -------------------------------------------------------------------

TEST_F(BrowserProxy, OperaWithoutIniAnswersFalse) {
    EXPECT_EQ(kolvanex.SetOperaProxy("h:1"), false);
    EXPECT_FALSE(exists(kScript));
}

TEST_F(BrowserProxy, OperaKeysGetTheAddressWithSingleBackslashesAndComeBack) {
    put(kOperaIni,
        "Opera Preferences version 2.0\r\n\r\n[Proxy]\r\n"
        "Automatic Proxy Configuration URL=  http://corp/p.pac \r\n"
        "Use Automatic Proxy Configuration=0\r\nHTTP server=corp:3128\r\n"
        "[User Prefs]\r\nLanguage=de\r\n[proxy]\r\nUse Automatic Proxy Configuration=7\r\n");
    ASSERT_EQ(kolvanex.SetOperaProxy("h:1"), true);
    EXPECT_EQ(read(kOperaIni),
              "Opera Preferences version 2.0\r\n\r\n[Proxy]\r\n"
              "Automatic Proxy Configuration URL=" + kAddress + "\r\n"
              "Use Automatic Proxy Configuration=1\r\nHTTP server=corp:3128\r\n"
              "[User Prefs]\r\nLanguage=de\r\n[proxy]\r\nUse Automatic Proxy Configuration=7\r\n");
    EXPECT_EQ(read(kScript), oneLine("PROXY h:1"));

    ASSERT_EQ(kolvanex.SetOperaProxy("ADFILTER"), true);  // not saved again
    EXPECT_NE(read(kOperaIni).find("URL=" + kAdAddress + "\r\n"), std::string::npos);
    EXPECT_EQ(read(kScript), oneLine("PROXY h:1"));  // the ad filter writes no script

    ASSERT_EQ(kolvanex.SetOperaProxy(""), true);
    EXPECT_EQ(read(kOperaIni),
              "Opera Preferences version 2.0\r\n\r\n[Proxy]\r\n"
              "Automatic Proxy Configuration URL=http://corp/p.pac\r\n"
              "Use Automatic Proxy Configuration=0\r\nHTTP server=corp:3128\r\n"
              "[User Prefs]\r\nLanguage=de\r\n[proxy]\r\nUse Automatic Proxy Configuration=7\r\n");
}

TEST_F(BrowserProxy, OperaRestoreAfterARestartWritesEmptyValues) {
    put(kOperaIni, "[Proxy]\r\nAutomatic Proxy Configuration URL=" + kAddress +
                       "\r\nUse Automatic Proxy Configuration=1\r\n");
    ASSERT_EQ(kolvanex.SetOperaProxy(""), true);
    EXPECT_EQ(read(kOperaIni),
              "[Proxy]\r\nAutomatic Proxy Configuration URL=\r\n"
              "Use Automatic Proxy Configuration=\r\n");
}

// ---- Internet Explorer and all browsers ------------------------------------

TEST_F(BrowserProxy, InternetExplorerIsSavedOnceAndRestoredWithTheOthers) {
    fsys::FileAccess ie;
    ie.SetProxyValue("corp:3128", "", 3);
    ie.SetAutoConfigURL("http://corp/p.pac", "", 7);
    put(kPrefs, "user_pref(\"network.proxy.type\", 1);\n");
    put(kOperaIni, "[Proxy]\r\nUse Automatic Proxy Configuration=0\r\n");

    ASSERT_EQ(kolvanex.SetIEProxy("1.2.3.4:80"), true);
    std::string url, value;
    std::int32_t flags = 0, valueFlags = 0;
    ie.GetAutoConfigURL("", url, flags);
    EXPECT_EQ(url, kAddress);
    EXPECT_EQ(flags, 5);
    EXPECT_EQ(read(kScript), oneLine("PROXY 1.2.3.4:80"));
    EXPECT_NE(read(kPrefs).find(kTypeLine), std::string::npos);
    EXPECT_NE(read(kOperaIni).find("Use Automatic Proxy Configuration=1"), std::string::npos);

    auto saved = savedIESettings();
    ASSERT_EQ(saved.size(), 1u);  // the LAN; there is no phone book of dial-up entries
    EXPECT_EQ(saved[0].connectionName, "");
    EXPECT_EQ(saved[0].autoConfigUrl, "http://corp/p.pac");
    EXPECT_EQ(saved[0].autoConfigFlags, 7);
    EXPECT_EQ(saved[0].proxyValue, "corp:3128");

    ASSERT_EQ(kolvanex.SetIEProxy("ADFILTER"), true);
    ie.GetAutoConfigURL("", url, flags);
    EXPECT_EQ(url, kAdAddress);
    saved = savedIESettings();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].autoConfigUrl, "http://corp/p.pac");  // never overwritten

    ASSERT_EQ(kolvanex.SetIEProxy(""), true);
    ie.GetAutoConfigURL("", url, flags);
    ie.GetProxyValue("", value, valueFlags);
    EXPECT_EQ(url, "http://corp/p.pac");
    EXPECT_EQ(value, "corp:3128");
    EXPECT_EQ(flags, 7);
    EXPECT_EQ(read(kPrefs), "user_pref(\"network.proxy.type\", 1);\r\n");
    EXPECT_EQ(read(kOperaIni), "[Proxy]\r\nUse Automatic Proxy Configuration=0\r\n");
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    EXPECT_EQ(savedIESettings().size(), 1u);  // kept for the process
}

TEST_F(BrowserProxy, InternetExplorerRestoreWithNothingSavedSetsTheDirectScript) {
    ASSERT_EQ(kolvanex.SetIEProxy(""), true);
    fsys::FileAccess ie;
    std::string url;
    std::int32_t flags = 0;
    ie.GetAutoConfigURL("", url, flags);
    EXPECT_EQ(url, kAddress);
    EXPECT_EQ(flags, 5);
    EXPECT_EQ(read(kScript), oneLine("DIRECT"));
    EXPECT_TRUE(savedIESettings().empty());
    EXPECT_TRUE(kolvanex.RefreshIESettings());
}

TEST_F(BrowserProxy, InternetExplorerDialUpEntriesFollowTheLan) {
    tm.writeHostFile(tm.host(platform::defaultPhoneBook(tm.machine())),
                     "[T-Online]\r\nPhoneNumber=0191011\r\n[Arcor]\r\nPhoneNumber=0192070\r\n");
    fsys::FileAccess ie;
    ie.SetAutoConfigURL("http://isp/p.pac", "Arcor", 1);
    ASSERT_EQ(kolvanex.SetIEProxy("1.2.3.4:80"), true);
    const auto saved = savedIESettings();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[0].connectionName, "");
    EXPECT_EQ(saved[1].connectionName, "T-Online");
    EXPECT_EQ(saved[2].connectionName, "Arcor");
    EXPECT_EQ(saved[2].autoConfigUrl, "http://isp/p.pac");
    std::string url;
    std::int32_t flags = 0;
    for (const char* connection : {"", "T-Online", "Arcor"}) {
        ie.GetAutoConfigURL(connection, url, flags);
        EXPECT_EQ(url, kAddress) << connection;
        EXPECT_EQ(flags, 5) << connection;
    }
    ASSERT_EQ(kolvanex.SetIEProxy(""), true);
    ie.GetAutoConfigURL("Arcor", url, flags);
    EXPECT_EQ(url, "http://isp/p.pac");
    EXPECT_EQ(flags, 1);
}

}  // namespace
}  // namespace kx::anonymity
