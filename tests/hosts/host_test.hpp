#pragma once
// What the console host's tests share: a throw-away machine with the host run
// on it as a script runs it, demo machines planted beside it, the shape of a
// usage error, and the host run on a terminal of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace kx::test {

using ::testing::HasSubstr;
using ::testing::Not;

class HostTest : public ::testing::Test {
  protected:
    /// `kolvanex --prefix <the machine> ARGS...`
    HostRun kolvanex(const std::vector<std::string>& args) {
        return runKolvanex(machine.prefix(), args, machine.root());
    }
    /// `kolvanex --prefix <the machine> ARGS...` where it must succeed; what it printed.
    std::string ok(const std::vector<std::string>& args) {
        const auto run = kolvanex(args);
        EXPECT_EQ(run.exitCode, 0) << ::testing::PrintToString(args) << ": " << run.err;
        return run.out;
    }
    /// `kolvanex ARGS...`, with no machine named.
    HostRun bare(const std::vector<std::string>& args) {
        return runKolvanex(std::nullopt, args, machine.root());
    }
    /// A demo machine at <root>/NAME, planted with tracks and not yet cleaned.
    std::filesystem::path plantedDemo(const std::string& name) {
        const auto prefix = machine.root() / name;
        const auto run = runKolvanex(prefix, {"--quiet", "demo", "--plant-only"}, machine.root());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return prefix;
    }

    TempMachine machine;
};

/// Bad input: one line naming the problem, nothing on standard output, and
/// the usage status.
inline void expectUsageError(const HostRun& run, const std::string& words) {
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_THAT(run.err, HasSubstr(words));
    EXPECT_TRUE(run.err.starts_with("kolvanex: ")) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
}

struct TerminalRun {
    int exitCode = -1;
    std::string shown;         // what the terminal showed
    bool echoAtPrompt = true;  // whether typing was echoed when the reading stopped
    bool echoAfter = false;    // whether it is echoed once the host ended
};

/// Runs `kolvanex --prefix PREFIX ARGS...` on a terminal of its own. With a
/// `prompt`, presses Ctrl+C once the terminal shows it; else reads to the
/// end. A host that never ends is killed after a minute.
inline TerminalRun onTerminal(const std::filesystem::path& prefix, std::vector<std::string> args,
                              std::string_view prompt = {}) {
    int master = -1;
    const pid_t pid = startOnTerminal(prefix, std::move(args), master);
    TerminalRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    char buf[4096];
    ssize_t got = 0;
    while ((prompt.empty() || !run.shown.contains(prompt)) &&
           std::chrono::steady_clock::now() < deadline &&
           (got = ::read(master, buf, sizeof buf)) > 0)
        run.shown.append(buf, static_cast<std::size_t>(got));
    termios t{};
    ::tcgetattr(master, &t);
    run.echoAtPrompt = (t.c_lflag & ECHO) != 0;
    const char ctrlC = 0x03;
    if (!prompt.empty()) {
        EXPECT_EQ(::write(master, &ctrlC, 1), 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    ::tcgetattr(master, &t);
    run.echoAfter = (t.c_lflag & ECHO) != 0;
    ::close(master);
    return run;
}

}  // namespace kx::test
