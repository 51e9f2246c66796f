// Browser sessions: the anonymous session's proxy and its marker, the safe
// session's zone files through the registry, the chosen browser really
// started, the question before a new session, and a Firefox profile of the
// host linked into the machine and pointed at the proxy script and back.
#include "anonymity/sessions.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "anonymity/browser_proxy.hpp"
#include "anonymity/frm_close_ie.hpp"
#include "anonymity/shipped_files.hpp"
#include "core/shared_state.hpp"
#include "facade/kolvanex.hpp"
#include "platform/files/dir_scan.hpp"
#include "platform/files/files.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"
#include "services/progress.hpp"
#include "settings/cregistry.hpp"
#include "settings/keys.hpp"
#include "support/programs.hpp"
#include "support/scripted_ui.hpp"
#include "support/temp_machine.hpp"

namespace kx::anonymity {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
namespace keys = settings::keys;
using kx::test::TempMachine;

const std::string kApp = "C:\\Programme\\Kolvanex";
const std::string kProfiles =
    "C:\\Dokumente und Einstellungen\\anna\\Anwendungsdaten\\Mozilla\\Firefox\\Profiles";

class Sessions : public ::testing::Test, protected test::ScriptedUi {
  protected:
    void SetUp() override {
        resetShared();
        forgetSavedBrowserSettings();
        ui::MessageLoop::current().setClock(&clock);
        fs::create_directories(tm.host(kApp));
        ASSERT_TRUE(installShippedFiles(tm.machine(), kApp));
        ASSERT_TRUE(kolvanex.KXAppPath(kApp));
    }
    void TearDown() override {
        unloadProgressWindow();
        ui::MessageLoop::current().setClock(nullptr);
        forgetSavedBrowserSettings();
        resetShared();
    }
    std::string script() const { return TempMachine::readHostFile(tm.host(kApp + "\\kx.js")); }
    static std::uint32_t zone(const std::string& value) {
        settings::CRegistry windows;
        windows.Company = "Microsoft";
        windows.ProductName = "Windows";
        Long out = -1;
        windows.QueryUserInformationLong("CurrentVersion\\Internet Settings\\Zones\\3", value, out);
        return static_cast<std::uint32_t>(out);
    }
    // A stand-in browser: writes the arguments it got, one a line, to `record`.
    void installBrowser(const std::string& windowsPath, const fs::path& record) {
        const auto program = tm.host(windowsPath);
        tm.writeHostFile(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.string() +
                                      ".tmp' && mv '" + record.string() + ".tmp' '" +
                                      record.string() + "'\n");
        fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
    }

    TempMachine tm;
    CKOLVANEX kolvanex;
    ui::ManualClock clock;
};

TEST_F(Sessions, TheChosenProxyIsUsedAndAnoSessionFollowsTheSession) {
    ASSERT_TRUE(settings::write(keys::AnonymIP, "10.0.0.7"));
    ASSERT_TRUE(settings::write(keys::AnonymPort, "3128;"));
    EXPECT_EQ(sessionProxy(), "10.0.0.7:3128");  // the trailing ";" goes

    ASSERT_EQ(kolvanex.SetAnonymSessionOn(0), true);
    EXPECT_EQ(settings::read(keys::AnoSession), "1");
    EXPECT_NE(script().find("\"PROXY 10.0.0.7:3128\""), std::string::npos) << script();
    EXPECT_TRUE(dialogs.shown.empty());

    ASSERT_EQ(kolvanex.SetAnonymSessionOff(0, true), true);
    EXPECT_EQ(settings::read(keys::AnoSession), "0");
    EXPECT_NE(script().find("\"DIRECT\""), std::string::npos) << script();

    // The fallback proxy comes from the machine, or else reaches nobody.
    EXPECT_EQ(fallbackProxy(), std::string(kFallbackProxy));
    auto config = platform::MachineConfig::defaults();
    config.endpoints[std::string(kFallbackProxyEndpoint)] = "http://127.0.0.1:3128/";
    TempMachine other(config);
    EXPECT_EQ(fallbackProxy(), "127.0.0.1:3128");
}

TEST_F(Sessions, TheSafeSessionImportsTheHighZoneAndTheStandardOneBack) {
    ASSERT_EQ(kolvanex.SetSafeSessionOn(Variant(std::int32_t{0})), true);
    EXPECT_EQ(zone("1400"), 3u);  // no scripting
    EXPECT_EQ(zone("1200"), 3u);  // no ActiveX
    EXPECT_EQ(zone("1A00"), 0x10000u);
    EXPECT_EQ(zone("CurrentLevel"), 0x12000u);

    ASSERT_EQ(kolvanex.SetSafeSessionOff(0, false), true);
    EXPECT_EQ(zone("1400"), 0u);
    EXPECT_EQ(zone("1001"), 1u);
    EXPECT_EQ(zone("1004"), 3u);
    EXPECT_EQ(zone("CurrentLevel"), 0x11500u);

    // Without its zone file a safe session is not reported as started.
    fs::remove(tm.host(kApp + "\\Zones High.reg"));
    EXPECT_EQ(kolvanex.SetSafeSessionOn(Variant(std::int32_t{0})), false);
    EXPECT_EQ(zone("1400"), 0u);
}

TEST_F(Sessions, TheLastChosenBrowserWinsAndGetsThePageAsOneArgument) {
    // No browser is there: that is told, and a break starts nothing at all.
    ASSERT_TRUE(kolvanex.Werbung(0, "http://127.0.0.1/"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "\\IEXPLORE.EXE\rDer ausgewählte Browser konnte nicht gestartet werden!");
    EXPECT_EQ(dialogs.shown[0].flags, 48u);
    EXPECT_EQ(dialogs.shown[0].title, "Kolvanex");
    ASSERT_TRUE(kolvanex.gbBreak(true));
    EXPECT_FALSE(Werbung("http://127.0.0.1/"));
    EXPECT_EQ(dialogs.shown.size(), 1u);
    ASSERT_TRUE(kolvanex.gbBreak(false));

    // Internet Explorer from its application path, without the trailing ";".
    settings::CRegistry windows;
    windows.Company = "Microsoft";
    windows.ProductName = "Windows";
    ASSERT_EQ(windows.WriteMachineInformationString("CurrentVersion\\App Paths\\IEXPLORE.EXE",
                                                    "Path", "C:\\Programme\\Internet Explorer;"),
              0);
    EXPECT_EQ(chosenBrowser(), "C:\\Programme\\Internet Explorer\\IEXPLORE.EXE");
    ASSERT_TRUE(settings::write(keys::BrowserIsOpera, "Wahr"));
    EXPECT_EQ(chosenBrowser(), "C:\\Programme\\Opera\\Opera.exe");
    ASSERT_TRUE(settings::write(keys::BrowserIsOpera, "1"));  // not a Boolean text
    EXPECT_EQ(chosenBrowser(), "C:\\Programme\\Internet Explorer\\IEXPLORE.EXE");
    // The toolbar's setting, though, is a number (and shown when missing).
    EXPECT_TRUE(browserBarShown());
    ASSERT_TRUE(settings::write(keys::IEToolbar, "0"));
    EXPECT_FALSE(browserBarShown());
    ASSERT_TRUE(settings::write(keys::IEToolbar, "7"));
    EXPECT_TRUE(browserBarShown());

    ASSERT_TRUE(settings::write(keys::BrowserIsOpera, "True"));
    const fs::path record = tm.root() / "opera-args.txt";
    installBrowser("C:\\Programme\\Opera\\Opera.exe", record);
    ASSERT_TRUE(kolvanex.Werbung(0, "http://127.0.0.1/a b?x=\"1\""));
    ASSERT_TRUE(test::waitUntil([&] { return fs::exists(record); }));
    EXPECT_EQ(TempMachine::readHostFile(record), "http://127.0.0.1/a b?x=\"1\"\n");
    EXPECT_EQ(dialogs.shown.size(), 1u);
    auto window = existingProgressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->m_lvLastLine->text, "Starte C:\\Programme\\Opera\\Opera.exe");
    EXPECT_TRUE(window->tmrClose->running());
}

TEST_F(Sessions, TheCloseQuestionAnswersByItsTagAndKeepsTheBox) {
    ASSERT_TRUE(kolvanex.KXAppTitle("Tarnkappe"));
    auto form = std::make_shared<frmCloseIE>();
    form->load();
    EXPECT_EQ(form->caption, "Tarnkappe");
    EXPECT_EQ(form->chkDontAsk->caption, "&Diese Frage in Zukunft nicht mehr stellen");

    form->show();
    form->cmdHome->click();
    EXPECT_EQ(form->tag, "");
    EXPECT_FALSE(form->isVisible());

    form->show();
    form->cmdOK->click();  // no browser window is open: nothing to close
    EXPECT_EQ(form->tag, "OK");
    EXPECT_FALSE(form->isVisible());

    form->chkDontAsk->click();
    EXPECT_TRUE(form->unload());
    EXPECT_EQ(settings::read(keys::CloseSessions), "1");
    form->load();
    form->chkDontAsk->click();
    EXPECT_TRUE(form->unload());
    EXPECT_EQ(settings::read(keys::CloseSessions), "0");
}

// ---- a host folder linked into the machine ----------------------------------------

class LinkedProfile : public Sessions {
  protected:
    void SetUp() override {
        Sessions::SetUp();
        fs::create_directories(profile);
        tm.writeHostFile(profile / "prefs.js", kPrefs);
        ASSERT_TRUE(tm->linkFolder(place, profile));
    }
    static constexpr std::string_view kPrefs =
        "// Mozilla User Preferences\n"
        "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
        "user_pref(\"network.proxy.type\", 1);\n";
    const fs::path profile = tm.root() / "home" / ".mozilla" / "firefox" / "x1y2.default";
    const std::string place = kProfiles + "\\x1y2.default";
};

TEST_F(LinkedProfile, TheUsersPrefsAreReplacedWholeAndRestored) {
    ASSERT_TRUE(settings::write(keys::BrowserIsMozillaFireFox, "True"));
    ASSERT_TRUE(settings::write(keys::AnonymIP, "127.0.0.1"));
    ASSERT_TRUE(settings::write(keys::AnonymPort, "8118"));
    struct stat before {};
    ASSERT_EQ(::stat((profile / "prefs.js").c_str(), &before), 0);

    ASSERT_EQ(kolvanex.SetAnonymSessionOn(0), true);
    // The host's Firefox opens the script by its host path; the file keeps
    // its line feeds.
    const fs::path script = fs::weakly_canonical(tm.host(kApp + "\\kx.js"));
    const std::string on = TempMachine::readHostFile(profile / "prefs.js");
    EXPECT_NE(on.find("user_pref(\"network.proxy.type\", 2);\n"), std::string::npos) << on;
    EXPECT_NE(on.find("user_pref(\"network.proxy.autoconfig_url\", \"file://" + script.string() +
                      "\");\n"),
              std::string::npos)
        << on;
    EXPECT_EQ(on.find('\r'), std::string::npos);
    // Written beside the old file and renamed over it, nothing left behind.
    struct stat after {};
    ASSERT_EQ(::stat((profile / "prefs.js").c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(std::distance(fs::directory_iterator(profile), fs::directory_iterator{}), 1);
    EXPECT_TRUE(fs::is_symlink(tm.host(kProfiles) / "x1y2.default"));

    ASSERT_EQ(kolvanex.SetAnonymSessionOff(0, false), true);
    EXPECT_EQ(TempMachine::readHostFile(profile / "prefs.js"), kPrefs);

    // Blanks, "#" and "%" in the path are escaped, so the address stays one path.
    const std::string odd = "C:\\Programme\\Kolvanex #2 100%";
    fs::create_directories(tm.host("C:\\Programme") / "Kolvanex #2 100%");
    ASSERT_TRUE(kolvanex.KXAppPath(odd));
    ASSERT_EQ(kolvanex.SetAnonymSessionOn(0), true);
    EXPECT_NE(TempMachine::readHostFile(profile / "prefs.js")
                  .find("/Programme/Kolvanex%20%232%20100%25/kx.js\");"),
              std::string::npos);
}

TEST_F(LinkedProfile, TheLinkHoldsAcrossARestartAndNothingWritesThroughFurtherLinks) {
    tm.reopen();
    const auto inside = tm->resolve(place + "\\prefs.js");
    ASSERT_TRUE(inside);
    EXPECT_EQ(*inside, profile / "prefs.js");

    // A link inside the linked folder is not followed by writes.
    const fs::path outside = tm.root() / "outside";
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, profile / "sub");
    EXPECT_FALSE(platform::files::writeAll(place + "\\sub\\x.txt", "x"));
    EXPECT_FALSE(fs::exists(outside / "x.txt"));
    // The link's own place cannot be removed or renamed through the file layer.
    EXPECT_FALSE(platform::files::rename(place, kProfiles + "\\other"));

    // A scan of the profiles walks the linked folder in its place.
    std::vector<std::string> seen;
    ASSERT_TRUE(platform::scanWindowsTree(
        tm.machine(), kProfiles,
        [&](std::string_view rel, platform::EntryKind kind) {
            seen.push_back(std::string(rel) + (kind == platform::EntryKind::File ? "" : "/"));
        },
        {'\\', false}));
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"x1y2.default\\prefs.js", "x1y2.default\\sub/"}));
}

TEST_F(LinkedProfile, LinksAreRefusedWhereTheyWouldHideOrNestFolders) {
    fs::create_directories(tm.host(kProfiles + "\\busy"));
    tm.writeHostFile(tm.host(kProfiles + "\\busy\\prefs.js"), "x");
    EXPECT_FALSE(tm->linkFolder(kProfiles + "\\busy", profile));
    EXPECT_FALSE(tm->linkFolder(place + "\\inner", profile));
    EXPECT_FALSE(tm->linkFolder("C:\\", profile));
    EXPECT_FALSE(tm->linkFolder(kProfiles + "\\other", "relative/folder"));
    // Linking the same place again points it elsewhere.
    const fs::path second = tm.root() / "second";
    fs::create_directories(second);
    ASSERT_TRUE(tm->linkFolder(place, second));
    EXPECT_EQ(*tm->resolve(place + "\\prefs.js"), second / "prefs.js");
    EXPECT_EQ(tm->config().linkedFolders.size(), 1u);
}

}  // namespace
}  // namespace kx::anonymity
