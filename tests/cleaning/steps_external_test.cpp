// The steps that hand work to outside programs: dialer remnants, the daily
// virus scan with a stand-in scanner and a loopback maker and vendor, the
// anti-spy tool with its option list or its missing-tool message.
#include <filesystem>
#include <regex>

#include "cleaning/destroy_steps.hpp"
#include "platform/processes/shell.hpp"
#include "platform/runtime/local_time.hpp"
#include "steps_fixture.hpp"
#include "support/web_server.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;
using cleaning::ScanEnd;

const std::string kScanner = "C:\\Programme\\Kolvanex\\stinger.exe";

// Writes its report complete, under its final name at once.
constexpr const char* kReportingScanner =
    "#!/bin/sh\nsleep 0.2\n"
    "printf 'Definitions OUTDATED\\r\\n  Scan finished: no virus found  \\r\\n\\r\\n"
    "engine Outdated\\r\\n' > r.tmp\nmv r.tmp stinger.txt\n";

class ExternalStepsTest : public StepsTest {
  protected:
    void SetUp() override {
        StepsTest::SetUp();
        setMachineIni("endpoints", "maker", web.url(""));
        setMachineIni("endpoints", "scanner", web.url(""));
        shared().KXAppPath = "C:\\Programme\\Kolvanex";
    }
    std::string today() { return platform::formatDdMmYy(platform::today()); }
    std::vector<std::string> paths() {
        std::vector<std::string> out;
        for (const auto& r : web.requests()) out.push_back(r.path());
        return out;
    }
    // A stand-in scanner; the maker's version file names its size.
    void installScanner(const std::string& script) {
        const auto host = tm.host(kScanner);
        tm.writeHostFile(host, script);
        fs::permissions(host, fs::perms::owner_all, fs::perm_options::add);
        web.serve("/stinger.ver", std::to_string(fs::file_size(host)));
    }

    WebServer web;
};

TEST_F(ExternalStepsTest, DialerRemnantsGoLinksAsLinksExceptedFilesStay) {
    cleaning::setExceptionPatterns(cleaning::runState(), {"*keep.txt"});
    const auto dll = put("C:\\WINDOWS\\dialer", "sub\\dial.dll", "MZ");
    const auto text = put("C:\\WINDOWS\\webdialer", "info.txt", "x");
    const auto kept = put("C:\\WINDOWS\\dialer", "keep.txt", "x");
    const fs::path outside = tm.root() / "target.txt";
    tm.writeHostFile(outside, "mine");
    fs::create_symlink(outside, tm.host("C:\\WINDOWS\\dialer") / "link.txt");

    cleaning::removeDialerRemnants(context());

    EXPECT_FALSE(there(dll) || there(text) || there("C:\\WINDOWS\\dialer\\link.txt"));
    EXPECT_EQ(tm.readHostFile(outside), "mine");
    EXPECT_TRUE(there(kept));
}

TEST_F(ExternalStepsTest, VirusScanFetchesAScannerOfAnotherSizeAndRunsTheCurrentOneOnceADay) {
    // A scanner of another size is fetched anew; failed fetches are reported.
    installScanner(kReportingScanner);
    web.serve("/stinger.ver", "not a number");  // reads as 0
    web.serve("/products/mcafee-avert/stinger.exe", "NEW SCANNER");
    EXPECT_EQ(cleaning::dailyVirusScan(context()), ScanEnd::Continue);
    EXPECT_EQ(paths(), (std::vector<std::string>{"/stinger.ver", "/stinger.opt",
                                                 "/products/mcafee-avert/stinger.exe"}));
    EXPECT_EQ(tm.readHostFile(tm.host(kScanner)), "NEW SCANNER");
    auto lines = statusLines();
    EXPECT_NE(
        std::ranges::find(lines, web.url("/stinger.opt") +
                                     " konnt nicht aus dem Internet geladen werden. Bitte "
                                     "stellen Sie ggf. eine Verbindung mit dem Internet her!"),
        lines.end());
    // The fetched file is no program here: no report is waited for, and the
    // scan does not count as done.
    EXPECT_EQ(settings::read(settings::keys::AntiVirDate), "");

    // The current scanner runs; its report is shown without the outdated lines.
    web.clearRequests();
    installScanner(kReportingScanner);
    web.serve("/stinger.opt", "--all");
    EXPECT_EQ(cleaning::dailyVirusScan(context()), ScanEnd::Continue);
    EXPECT_EQ(paths(), (std::vector<std::string>{"/stinger.ver", "/stinger.opt"}));
    EXPECT_EQ(tm.readHostFile(tm.host("C:\\Programme\\Kolvanex\\stinger.opt")), "--all");
    lines = statusLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Lade Anti-Viren Modul. Bitte warten...");
    EXPECT_TRUE(std::regex_match(lines[lines.size() - 2],
                                 std::regex("Anti-Viren Prüfung läuft\\. Verstrichene Zeit: "
                                            "[0-9]{2}:[0-5][0-9]")))
        << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), "Scan finished: no virus found");
    EXPECT_EQ(settings::read(settings::keys::AntiVirDate), today());

    // Done today: nothing is fetched or run again.
    EXPECT_EQ(cleaning::dailyVirusScan(context()), ScanEnd::Continue);
    EXPECT_EQ(web.requestCount(), 2u);
}

TEST_F(ExternalStepsTest, CancelWhileWaitingForTheReportEndsThePhase) {
    installScanner("#!/bin/sh\nexec sleep 2\n");
    web.serve("/stinger.opt", "x");
    // The user closes the progress window once the elapsed time shows.
    auto& loop = platform::ui::MessageLoop::current();
    const auto source = loop.addSource([] {
        const auto window = existingProgressWindow();
        if (window && window->m_lvLastLine &&
            window->m_lvLastLine->text.find("Verstrichene Zeit") != std::string::npos)
            shared().gbBreak = true;
    });
    const auto end = cleaning::dailyVirusScan(context());
    loop.removeSource(source);
    EXPECT_EQ(end, ScanEnd::EndPhase);
    EXPECT_EQ(settings::read(settings::keys::AntiVirDate), "");
}

TEST_F(ExternalStepsTest, AntiSpyIsFetchedWhenMissingAndGetsItsOptions) {
    platform::RecordingShell shell;
    platform::ShellScope scope{shell};
    fs::create_directories(tm.host(settings::GetPrivatePath()));
    // Without the reference file the tool is not fetched either.
    web.serve("/xp-AntiSpy.exe", "MZ tool");
    cleaning::runAntiSpy(context());
    EXPECT_EQ(paths(), std::vector<std::string>{"/skriptreferenz.txt"});
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "XP AntiSpy could not be activated!");
    EXPECT_EQ(dialogs.shown[0].flags, 16u + 4096u);
    EXPECT_TRUE(shell.calls.empty());

    web.serve("/skriptreferenz.txt", "reference");
    cleaning::runAntiSpy(context());
    const std::string tool = AddBackslash(settings::GetPrivatePath()) + "xp-AntiSpy.exe";
    EXPECT_EQ(tm.readHostFile(tm.host(tool)), "MZ tool");
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, tool);
    EXPECT_EQ(shell.calls[0].showCommand, 1);
    EXPECT_EQ(shell.calls[0].parameters,
              "0 1 2 3 4 5 6 7 8 9 10 11 14 19 20 21 24 25 26 27 28 29 31 32");

    put("C:\\Programme\\Kolvanex", "xpas.txt", " 3 5 7\r\n");  // passed as it is
    cleaning::runAntiSpy(context());
    ASSERT_EQ(shell.calls.size(), 2u);
    EXPECT_EQ(shell.calls[1].parameters, " 3 5 7\r\n");
}

}  // namespace
}  // namespace kx::test
