#pragma once
// The console host as a script or a terminal runs it: a real process, what it
// printed and its exit status. Header-only: the host's path comes from
// KX_HOST_BINARY, which only the test programs are built with.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kx::test {

struct HostRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuote(const std::string& word) {
    std::string q = "'";
    for (const char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

/// Runs `kolvanex [--prefix PREFIX] ARGS...` with standard input from
/// `stdinText` (or /dev/null), keeping its error output in `scratch`.
inline HostRun runKolvanex(const std::optional<std::filesystem::path>& prefix,
                           const std::vector<std::string>& args,
                           const std::filesystem::path& scratch,
                           const std::optional<std::string>& stdinText = std::nullopt) {
    std::string command = shellQuote(KX_HOST_BINARY);
    if (prefix)
        command += " --prefix " + shellQuote(prefix->string());
    for (const auto& a : args) command += " " + shellQuote(a);
    const auto errFile = scratch / "stderr.txt";
    std::string input = "/dev/null";
    if (stdinText) {
        input = (scratch / "stdin.txt").string();
        std::ofstream(input, std::ios::binary) << *stdinText;
    }
    command += " 2>" + shellQuote(errFile.string()) + " <" + shellQuote(input);
    HostRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errFile, std::ios::binary);
    run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return run;
}

/// Starts `kolvanex --prefix PREFIX ARGS...` on a terminal of its own;
/// answers its process and, in `master`, the terminal's other side.
inline pid_t startOnTerminal(const std::filesystem::path& prefix, std::vector<std::string> args,
                             int& master) {
    args.insert(args.begin(), {KX_HOST_BINARY, "--prefix", prefix.string()});
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
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
