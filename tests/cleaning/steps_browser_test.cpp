// The file-side destroy steps: cookie files filtered by the exceptions,
// window-state lists cut, index files blanked and counted, downloaded
// program files unregistered and removed; links and excepted files stay.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include "cleaning/destroy_steps.hpp"
#include "cleaning/step_tools.hpp"
#include "platform/processes/system_programs.hpp"
#include "steps_fixture.hpp"

namespace kx::test {
namespace {

namespace fs = std::filesystem;

class BrowserStepsTest : public StepsTest {
  protected:
    void SetUp() override {
        StepsTest::SetUp();
        put(profile, "prefs.js", "user_pref(\"a\", 1);\n");
    }
    std::string read(const std::string& path) { return tm.readHostFile(tm.host(path)); }

    const std::string profile = settings::GetSpecialfolder(settings::kCsidlAppData) +
                                "\\Mozilla\\Profiles\\default\\x1y2.slt";
};

TEST_F(BrowserStepsTest, CookieFilesKeepCommentsEmptyLinesAndExceptedSitesOnly) {
    exceptions("*example.org*\n*cookperm.txt\n");
    cleaning::loadExceptionPatterns(cleaning::runState());
    const std::string cookies =
        "# Netscape HTTP Cookie File\n.example.org\tTRUE\t/\tid\t1\n"
        ".tracker.net\tTRUE\t/\tuid\t2\n\nWWW.Example.ORG\t/\tsid\t3\n";
    const auto path = put(profile, "Cookies.TXT", cookies);
    const auto perm = put(profile, "cookperm.txt", "host\tblock\n");  // excepted as a whole

    cleaning::cleanCookieFiles(context());

    // The final line feed ends the last line; it starts no empty one.
    EXPECT_EQ(read(path),
              "# Netscape HTTP Cookie File\n.example.org\tTRUE\t/\tid\t1\n\n"
              "WWW.Example.ORG\t/\tsid\t3\n");
    EXPECT_EQ(cleaning::runState().byteTotal, static_cast<double>(cookies.size()));
    EXPECT_EQ(read(perm), "host\tblock\n");

    // Without exceptions only comments stay; a linked file goes as a link.
    cleaning::setExceptionPatterns(cleaning::runState(), {});
    put(profile, "cookies.txt", "# header\nsite\tTRUE\t/\tid\t1");
    const fs::path outside = tm.root() / "elsewhere.txt";
    tm.writeHostFile(outside, "keep me\n");
    fs::remove(tm.host(perm));
    fs::create_symlink(outside, tm.host(perm));
    cleaning::cleanCookieFiles(context());
    EXPECT_EQ(read(path), "# header\n");
    EXPECT_FALSE(there(perm));
    EXPECT_EQ(tm.readHostFile(outside), "keep me\n");
}

TEST_F(BrowserStepsTest, WindowStateLosesEveryListSectionAndKeepsTheRest) {
    const auto path =
        put(profile, "localstore.rdf",
            "<RDF:RDF>\r\n  <RDF:Seq RDF:about=\"urn:mozilla:urlbar\">\r\n"
            "    <RDF:li>http://secret.example/</RDF:li>\r\n  </RDF:Seq>\r\n"
            "  <RDF:Description width=\"800\"/>\n  <RDF:Seq>\n    <RDF:li>b</RDF:li>\n"
            "  </RDF:Seq>\n</RDF:RDF>");
    cleaning::clearHistoryAndWindowState(context());
    EXPECT_EQ(read(path), "<RDF:RDF>\r\n  <RDF:Description width=\"800\"/>\r\n</RDF:RDF>\r\n");
    EXPECT_EQ(cleaning::runState().byteTotal, 0.0);  // not counted
}

TEST_F(BrowserStepsTest, RewrittenFilesStayWholeUnderTheirNameWhileTheOldIsWiped) {
    // Two passes of 7 for the cookies; the window state always gets three of 255.
    cleaning::runState().settings = {true, 2, true, 7, false};
    struct Case {
        std::string name, before, after;
        void (*step)(const cleaning::RunContext&);
        char wipedWith;
    };
    const Case cases[] = {
        {"cookies.txt", "# c\n.tracker.net\tTRUE\t/\tuid\t2", "# c\n", cleaning::cleanCookieFiles,
         7},
        {"localstore.rdf",
         "<RDF:RDF>\r\n<RDF:Seq>\r\n<RDF:li>x</RDF:li>\r\n</RDF:Seq>\r\n</RDF:RDF>",
         "<RDF:RDF>\r\n</RDF:RDF>\r\n", cleaning::clearHistoryAndWindowState, '\xff'},
    };
    for (const auto& c : cases) {
        const auto path = put(profile, c.name, c.before);
        // The old content's blocks, seen through a descriptor opened before.
        const int held = ::open(tm.host(path).c_str(), O_RDONLY);
        ASSERT_GE(held, 0);
        // What the name shows each time the wipe yields: a crash there keeps it.
        std::set<std::string> seen;
        auto& loop = platform::ui::MessageLoop::current();
        const auto source = loop.addSource(
            [&] { seen.insert(there(path) ? read(path) : std::string("<missing>")); });
        c.step(context());
        loop.removeSource(source);

        EXPECT_EQ(read(path), c.after) << c.name;
        EXPECT_FALSE(seen.empty()) << c.name;
        for (const auto& shown : seen)
            EXPECT_TRUE(shown == c.before || shown == c.after) << c.name << ": " << shown;
        char buf[16] = {};
        ASSERT_EQ(::pread(held, buf, sizeof buf, 0), 16) << c.name;
        ::close(held);
        EXPECT_EQ(std::string(buf, 16), std::string(16, c.wipedWith)) << c.name;
        std::vector<std::string> left;
        for (const auto& e : fs::directory_iterator(tm.host(profile)))
            left.push_back(e.path().filename().string());
        std::ranges::sort(left);
        EXPECT_EQ(left, (std::vector<std::string>{c.name, "prefs.js"})) << c.name;
        fs::remove(tm.host(path));
    }
}

TEST_F(BrowserStepsTest, IndexFilesAreBlankedListedOnceAndCounted) {
    const auto index = platform::vbLCase(put("C:\\Dokumente und Einstellungen\\anna\\Cookies",
                                             "index.dat", std::string(16384, 'x')));
    // As the run's deletions hand them over: a file handed twice is listed twice.
    for (const auto& path : {index, index, std::string("C:\\Nirgends\\Index.dat")})
        EXPECT_EQ(cleaning::deleteWithRunSettings(context(), path), 0.0);
    ASSERT_EQ(cleaning::runState().deferredIndexFiles,
              (std::vector<std::string>{index, index, "c:\\nirgends\\index.dat"}));
    cleaning::runState().byteTotal = 10;

    cleaning::blankIndexFiles(context());

    const std::string content = read(index);
    ASSERT_EQ(content.size(), 16414u);
    EXPECT_EQ(content.substr(0, 30), "Client UrlCache MMF Ver 5.2  @");
    EXPECT_EQ(content.find_first_not_of('\0', 30), std::string::npos);
    EXPECT_EQ(cleaning::runState().byteTotal, 10.0 + 16414);
    EXPECT_EQ(found(), (std::vector<std::string>{index, "c:\\nirgends\\index.dat"}));
}

TEST_F(BrowserStepsTest, ASecondCleanChangesNoByte) {
    exceptions("*example.org*\n");
    cleaning::loadExceptionPatterns(cleaning::runState());
    const auto index = platform::vbLCase(
        put("C:\\Dokumente und Einstellungen\\anna\\Cookies", "index.dat", std::string(64, 'x')));
    struct Case {
        std::string path;
        std::function<void(const cleaning::RunContext&)> clean;
    };
    const Case cases[] = {
        {put(profile, "cookies.txt", "# c\n.example.org\tTRUE\t/\tid\t1\n\n.x.net\t/\tu\t2\n"),
         cleaning::cleanCookieFiles},
        {put(profile, "localstore.rdf", "<RDF:RDF>\r\n<RDF:Seq>\r\n</RDF:Seq>\r\n</RDF:RDF>\r\n"),
         cleaning::clearHistoryAndWindowState},
        {index,
         [&index](const cleaning::RunContext& run) {
             // As the run's deletion of the listed file hands it over.
             (void)cleaning::deleteWithRunSettings(run, index);
             cleaning::blankIndexFiles(run);
         }},
    };
    for (const auto& c : cases) {
        c.clean(context());
        const std::string first = read(c.path);
        cleaning::runState().byteTotal = 0;
        c.clean(context());
        EXPECT_EQ(read(c.path), first) << c.path;
    }
    // Blanked once, the index file frees nothing the second time.
    EXPECT_EQ(cleaning::runState().byteTotal, 0.0);
}

TEST_F(BrowserStepsTest, DownloadedProgramFilesAreUnregisteredThenDeleted) {
    std::vector<std::string> cleanups;
    platform::registerSystemProgram("Cleanmgr.exe", [&](const platform::SystemProgramCall& call) {
        cleanups.push_back(call.commandLine);
        return 0u;
    });
    const std::string cache = "C:\\WINDOWS\\Downloaded Program Files";
    const auto inf = put(cache, "player.inf", "[Setup]");
    const auto control = put(cache, "player.ocx", "MZ control");
    const auto broken = put(cache, "broken.ocx", "no library");
    const auto system = put("C:\\WINDOWS\\system32", "core.dll", "MZ system");
    const std::string activeX =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache";
    setString(platform::HKEY_LOCAL_MACHINE, activeX, "0", cache);
    setString(platform::HKEY_LOCAL_MACHINE, activeX, "1", "C:\\WINDOWS");  // refused
    const std::string compress =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\VolumeCaches\\Compress old files";
    makeKey(platform::HKEY_LOCAL_MACHINE, compress);

    cleaning::removeDownloadedProgramFiles(context());
    platform::registerSystemProgram("Cleanmgr.exe", &platform::runCleanmgr);

    EXPECT_FALSE(keyExists(platform::HKEY_LOCAL_MACHINE, compress));
    EXPECT_EQ(cleanups, std::vector<std::string>{"Cleanmgr.exe /dC: /sagerun:65534"});
    EXPECT_FALSE(there(inf));
    EXPECT_FALSE(there(control));
    EXPECT_TRUE(there(broken));  // not unregistered, so it stays
    EXPECT_TRUE(there(system));
}

}  // namespace
}  // namespace kx::test
