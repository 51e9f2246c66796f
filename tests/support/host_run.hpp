#pragma once
// The console host as a script runs it: a real process, what it printed and
// its exit status. Header-only: the host's path comes from KX_HOST_BINARY,
// which only the test programs are built with.
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
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

/// Runs the host on a terminal of its own (standard output and error both);
/// answers what the terminal showed.
inline std::string shownOnTerminal(const std::filesystem::path& prefix,
                                   std::vector<std::string> args) {
    int master = -1;
    const pid_t pid = startOnTerminal(prefix, std::move(args), master);
    std::string shown;
    std::array<char, 4096> buf{};
    ssize_t got = 0;
    while ((got = ::read(master, buf.data(), buf.size())) > 0)
        shown.append(buf.data(), static_cast<std::size_t>(got));
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    return shown;
}

}  // namespace kx::test
