// `kolvanex mail` as a script runs it: the progress log, the exit status, and
// no browser left behind when the run ends, is interrupted or terminated.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/browser/browser_options.hpp"
#include "support/host_run.hpp"
#include "support/temp_machine.hpp"
#include "support/web_server.hpp"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using kx::test::WebServer;
using namespace std::chrono_literals;

// A file of /proc, or nothing when its process ended while it was read (the
// read then fails, and the stream's buffer throws).
std::string procFile(const fs::path& path) {
    try {
        std::ifstream in(path);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    } catch (const std::exception&) {
        return {};
    }
}

// Live processes whose command line names the folder (a browser's profile
// lies below the TMPDIR its program was given).
int liveProcessesNaming(const std::string& folder) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const auto pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string command = procFile(entry.path() / "cmdline");
        const std::string line = procFile(entry.path() / "stat");
        const auto close = line.rfind(')');
        const char state =
            close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 'Z';
        if (command.find(folder) != std::string::npos && state != 'Z' && state != 'X')
            ++n;
    }
    return n;
}

// The browser's crash reporter runs in a session of its own and ends by
// itself once the browser it watches is gone: allow it a few seconds.
int processesLeftNaming(const std::string& folder) {
    for (int i = 0; i < 100; ++i) {
        if (liveProcessesNaming(folder) == 0)
            return 0;
        std::this_thread::sleep_for(100ms);
    }
    return liveProcessesNaming(folder);
}

class MailCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!kx::platform::browser::findPrograms())
            GTEST_SKIP() << "Chromium and chromedriver are not installed (apt-get install "
                            "chromium chromium-driver)";
        fs::create_directories(scratch);
        std::ofstream(scratch / "message.txt") << "Hallo\r\nWelt";
        ::setenv("TMPDIR", scratch.c_str(), 1);
        ::setenv("KOLVANEX_BROWSER_LOOPBACK_ONLY", "1", 1);
    }
    void TearDown() override {
        ::unsetenv("TMPDIR");
        ::unsetenv("KOLVANEX_BROWSER_LOOPBACK_ONLY");
        EXPECT_EQ(processesLeftNaming(scratch.string()), 0) << "a browser outlived the command";
    }

    std::vector<std::string> mailArgs() const {
        return {"mail",
                "--to",
                "anna@example.org",
                "--subject",
                "Hallo",
                "--message-file",
                (scratch / "message.txt").string()};
    }

    WebServer web;
    kx::test::TempMachine machine{[this] {
        auto c = kx::platform::MachineConfig::defaults();
        for (int k = 1; k <= 6; ++k)
            c.endpoints["remailer" + std::to_string(k)] = web.url("/s" + std::to_string(k));
        return c;
    }()};
    fs::path scratch = machine.root() / "scratch";
};

TEST_F(MailCommand, SendsThroughTheFirstServiceThatTakesTheMail) {
    web.serve("/s1/email.htm",
              WebServer::Resource{
                  .body = "<html><head><title>R</title></head><body><form method=post "
                          "action=sent><input name=\"email[to]\"><input type=submit></form>"
                          "</body></html>",
                  .contentType = "text/html"});
    web.serve("/s1/sent",
              WebServer::Resource{.body = "<title>Danke</title>ok", .contentType = "text/html"});
    const auto run = kx::test::runKolvanex(machine.prefix(), mailArgs(), scratch);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "über 1 von 6 Diensten verschickt\n");
    EXPECT_NE(run.err.find("E-Mail abgeschickt über anonymisierenden Remailer"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Ihre E-Mail wurde verschickt."), std::string::npos);
    // The browser's throw-away folder went with it.
    for (const auto& entry : fs::directory_iterator(scratch))
        EXPECT_FALSE(entry.path().filename().string().starts_with("kx-browser-")) << entry.path();
}

TEST_F(MailCommand, AnInterruptOrTerminationWhileAPageLoadsLeavesNoBrowser) {
    web.serve("/s1/email.htm", WebServer::Resource{.neverAnswer = true});
    struct Case {
        int signal;
        bool exits;  // true: exits with a status; false: ends by the signal
        int status;
    };
    for (const Case c : {Case{SIGINT, true, 130}, Case{SIGTERM, false, SIGTERM}}) {
        web.clearRequests();
        std::vector<std::string> words{KX_HOST_BINARY, "--prefix", machine.prefix().string()};
        for (auto& a : mailArgs()) words.push_back(a);
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        // The browser is up and waits for the page that never comes.
        EXPECT_TRUE(web.waitForRequests(1, 30s));
        ::kill(pid, c.signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (c.exits) {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), c.status);
        } else {
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), c.status);
        }
        EXPECT_EQ(processesLeftNaming(scratch.string()), 0) << "after signal " << c.signal;
    }
}

}  // namespace
