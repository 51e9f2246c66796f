// The /proc reader and the table of process and snapshot handles.
#include "platform/processes/process_table.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fstream>
#include <sstream>
#include <thread>

namespace kx::platform {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace detail;

namespace {

thread_local DWORD lastError = 0;

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

namespace detail {

void setLastError(LONG code) {
    lastError = static_cast<DWORD>(code);
}

std::optional<ProcStat> readStat(DWORD pid) {
    const auto text = readWhole("/proc/" + std::to_string(pid) + "/stat");
    // The command name in parentheses may hold blanks and parentheses itself;
    // the fields start after the last ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::vector<std::string> words;
    for (std::string w; fields >> w;) words.push_back(w);
    if (words.size() < 20)
        return std::nullopt;
    ProcStat s;
    try {
        s.state = words[0].empty() ? '?' : words[0][0];
        s.parent = static_cast<DWORD>(std::stoul(words[1]));
        s.threads = static_cast<DWORD>(std::stoul(words[17]));
        s.startTime = std::stoull(words[19]);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return s;
}

bool isEndedState(char state) {
    return state == 'Z' || state == 'X' || state == 'x';
}

std::optional<uid_t> realUid(DWORD pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Uid:")) {
            try {
                return static_cast<uid_t>(std::stoul(line.substr(4)));
            } catch (const std::exception&) {
                return std::nullopt;
            }
        }
    }
    return std::nullopt;
}

std::string exeNameOf(DWORD pid) {
    const auto dir = "/proc/" + std::to_string(pid);
    auto cmdline = readWhole(dir + "/cmdline");
    const auto nul = cmdline.find('\0');
    if (nul != std::string::npos)
        cmdline.resize(nul);
    if (cmdline.empty()) {
        auto comm = readWhole(dir + "/comm");
        while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
        return comm;
    }
    const auto slash = cmdline.find_last_of("/\\");
    return slash == std::string::npos ? cmdline : cmdline.substr(slash + 1);
}

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)pid;
    return -1;
#endif
}

int signalProcess(int pidfd, pid_t pid, int sig) {
#ifdef SYS_pidfd_send_signal
    if (pidfd >= 0) {
        const long rc = ::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0);
        if (rc == 0 || errno != ENOSYS)
            return rc == 0 ? 0 : -1;
    }
#endif
    return ::kill(pid, sig);
}

ProcessObject::~ProcessObject() {
    if (pidfd >= 0)
        ::close(pidfd);
}

void ProcessObject::record(int status) {
    ended = true;
    if (WIFEXITED(status)) {
        exitCode = static_cast<DWORD>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        exitCode = terminateCode && sig == SIGKILL ? *terminateCode : DWORD(128 + sig);
    }
}

bool ProcessObject::pollEnded() {
    if (ended)
        return true;
    if (child) {
        int status = 0;
        const pid_t rc = ::waitpid(pid, &status, WNOHANG);
        if (rc == pid) {
            record(status);
        } else if (rc < 0 && errno == ECHILD) {
            // Someone else reaped it (or children are ignored): it has ended,
            // with a status we can no longer learn.
            ended = true;
            if (terminateCode)
                exitCode = terminateCode;
        }
        return ended;
    }
    const auto stat = readStat(static_cast<DWORD>(pid));
    if (!stat || isEndedState(stat->state) || stat->startTime != startTime) {
        ended = true;
        if (terminateCode)
            exitCode = terminateCode;
    }
    return ended;
}

Table& table() {
    static Table t;
    return t;
}

HANDLE addHandle(Object object) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    const HANDLE h = t.nextHandle;
    t.nextHandle += 4;
    t.handles.emplace(h, std::move(object));
    return h;
}

void reapChildren() {
    std::vector<std::shared_ptr<ProcessObject>> candidates;
    {
        auto& t = table();
        std::lock_guard lock(t.mutex);
        for (const auto& [pid, object] : t.children) candidates.push_back(object);
    }
    std::vector<pid_t> reaped;
    for (const auto& object : candidates) {
        std::lock_guard lock(object->mutex);
        if (object->pollEnded())
            reaped.push_back(object->pid);
    }
    if (reaped.empty())
        return;
    auto& t = table();
    std::lock_guard lock(t.mutex);
    for (const auto pid : reaped) t.children.erase(pid);
}

namespace {

// Waits up to `milliseconds` for the pidfd to report the end; true when it did.
bool pollPidfd(int pidfd, DWORD milliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int timeout = -1;
        if (milliseconds != INFINITE) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            timeout = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        }
        pollfd p{pidfd, POLLIN, 0};
        const int rc = ::poll(&p, 1, timeout);
        if (rc > 0)
            return true;
        if (rc == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

}  // namespace

bool waitEnded(ProcessObject& object, DWORD milliseconds) {
    {
        std::lock_guard lock(object.mutex);
        if (object.pollEnded())
            return true;
    }
    if (object.pidfd >= 0) {
        if (!pollPidfd(object.pidfd, milliseconds))
            return false;
        std::lock_guard lock(object.mutex);
        return object.pollEnded();
    }
    // Without pidfds (old kernels): look every few milliseconds.
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard lock(object.mutex);
        if (object.pollEnded())
            return true;
        if (milliseconds != INFINITE && Clock::now() >= deadline)
            return false;
    }
}

}  // namespace detail

DWORD GetLastError() {
    return lastError;
}

bool CloseHandle(HANDLE handle) {
    bool found = false;
    {
        auto& t = table();
        std::lock_guard lock(t.mutex);
        found = t.handles.erase(handle) > 0;
    }
    reapChildren();
    return found ? true : fail(ERROR_INVALID_HANDLE, false);
}

bool startedThroughMachine(DWORD processId) {
    const std::string mark = machineStartMark();
    if (mark.empty())
        return false;
    const std::string environment = readWhole("/proc/" + std::to_string(processId) + "/environ");
    std::string_view rest(environment);
    while (!rest.empty()) {
        const auto nul = rest.find('\0');
        if (rest.substr(0, nul) == mark)
            return true;
        rest = nul == std::string_view::npos ? std::string_view{} : rest.substr(nul + 1);
    }
    return false;
}

}  // namespace kx::platform
