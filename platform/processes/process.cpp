#include "platform/processes/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <variant>

#include "platform/machine/machine.hpp"
#include "platform/processes/command_line.hpp"
#include "platform/runtime/text.hpp"

extern char** environ;

namespace kx::platform {
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

thread_local DWORD lastError = 0;

template <typename T>
T fail(LONG code, T value) {
    lastError = static_cast<DWORD>(code);
    return value;
}

// ---------------------------------------------------------------------------
// /proc

struct ProcStat {
    char state = '?';
    DWORD parent = 0;
    DWORD threads = 0;
    std::uint64_t startTime = 0;
};

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
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

// ---------------------------------------------------------------------------
// Process objects and the handle table

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

struct ProcessObject {
    std::mutex mutex;
    pid_t pid = 0;
    int pidfd = -1;
    bool child = false;  // ours: waitpid tells its end and status
    bool ended = false;
    std::optional<DWORD> exitCode;
    std::optional<DWORD> terminateCode;
    std::uint64_t startTime = 0;
    std::uint16_t showWindow = SW_SHOWNORMAL;

    ~ProcessObject() {
        if (pidfd >= 0)
            ::close(pidfd);
    }

    void record(int status) {
        ended = true;
        if (WIFEXITED(status)) {
            exitCode = static_cast<DWORD>(WEXITSTATUS(status));
        } else if (WIFSIGNALED(status)) {
            const int sig = WTERMSIG(status);
            exitCode = terminateCode && sig == SIGKILL ? *terminateCode : DWORD(128 + sig);
        }
    }

    // Looks whether the process has ended, without blocking. Caller holds `mutex`.
    bool pollEnded() {
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
};

struct Snapshot {
    std::vector<ProcessEntry> entries;
    std::size_t next = 0;
};

using Object = std::variant<std::shared_ptr<ProcessObject>, std::shared_ptr<Snapshot>>;

struct Table {
    std::mutex mutex;
    std::map<HANDLE, Object> handles;
    HANDLE nextHandle = 0x104;
    // Children not reaped yet, whether or not a handle still names them.
    std::map<pid_t, std::shared_ptr<ProcessObject>> children;
};

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

template <typename T>
std::shared_ptr<T> lookup(HANDLE handle) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    const auto it = t.handles.find(handle);
    if (it == t.handles.end())
        return nullptr;
    if (auto* p = std::get_if<std::shared_ptr<T>>(&it->second))
        return *p;
    return nullptr;
}

// Reaps every child that has ended, so none lingers as a zombie.
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

// ---------------------------------------------------------------------------
// Finding programs

std::string windowsRoot() {
    std::string root = "C:\\WINDOWS";
    if (!hasCurrentMachine())
        return root;
    auto& reg = currentMachine().registry();
    HKEY key = 0;
    if (reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                          KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return root;
    std::array<std::uint8_t, 520> data{};
    DWORD type = 0;
    DWORD size = data.size();
    if (reg.RegQueryValueExA(key, "SystemRoot", nullptr, &type, data.data(), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ && size > 0) {
        std::string value(reinterpret_cast<const char*>(data.data()), size);
        if (const auto nul = value.find('\0'); nul != std::string::npos)
            value.resize(nul);
        if (value.size() >= 2 && value[1] == ':')
            root = value;
    }
    reg.RegCloseKey(key);
    while (root.size() > 3 && (root.back() == '\\' || root.back() == '/')) root.pop_back();
    return root;
}

bool hasDriveLetter(std::string_view name) {
    return name.size() >= 2 && name[1] == ':' &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

bool hasExtension(std::string_view name) {
    const auto slash = name.find_last_of("\\/");
    const auto base = slash == std::string_view::npos ? name : name.substr(slash + 1);
    return base.find('.') != std::string_view::npos;
}

std::string folderOf(std::string_view name) {
    const auto slash = name.find_last_of("\\/");
    if (slash == std::string_view::npos)
        return "";
    auto folder = std::string(name.substr(0, slash));
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

std::string baseOf(std::string_view name) {
    const auto slash = name.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

// A regular file at a Windows path: its location, or the reason there is none.
std::expected<ProgramLocation, LONG> fileAt(const Machine& machine, const std::string& path) {
    const auto parts = machine.resolveParts(path);
    if (!parts)
        return std::unexpected(ERROR_PATH_NOT_FOUND);
    const auto host = parts->hostPath();
    std::error_code ec;
    if (!fs::is_regular_file(host, ec)) {
        return std::unexpected(fs::is_directory(host.parent_path(), ec) ? ERROR_FILE_NOT_FOUND
                                                                        : ERROR_PATH_NOT_FOUND);
    }
    ProgramLocation location;
    location.hostPath = host;
    location.windowsPath =
        std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
    for (const auto& component : parts->components) location.windowsPath += "\\" + component;
    if (parts->components.empty())
        location.windowsPath += "\\";
    return location;
}

std::expected<PROCESS_INFORMATION, LONG> runBuiltin(const ProgramLocation& program,
                                                    const std::vector<std::string>& arguments,
                                                    const ProcessStart& start) {
    SystemProgramCall call;
    call.arguments = arguments;
    call.commandLine = start.commandLine;
    call.showWindow = start.showWindow;
    DWORD code = 1;
    try {
        code = program.builtin(call);
    } catch (const std::exception&) {
        code = 1;  // a handler that fails ends like a program that crashed
    }
    auto object = std::make_shared<ProcessObject>();
    object->ended = true;
    object->exitCode = code;
    object->showWindow = start.showWindow;
    PROCESS_INFORMATION info;
    info.hProcess = addHandle(object);
    return info;
}

// The environment of a child: ours, with the variables we pass on replaced.
thread_local std::vector<std::pair<std::string, std::string>> childVariables;

std::vector<std::string> childEnvironment(std::uint16_t showWindow) {
    std::vector<std::pair<std::string, std::string>> overrides;
    if (hasCurrentMachine()) {
        std::error_code ec;
        auto prefix = fs::absolute(currentMachine().prefix(), ec);
        overrides.emplace_back("KOLVANEX_PREFIX",
                               (ec ? currentMachine().prefix() : prefix).string());
    }
    overrides.emplace_back("KOLVANEX_SHOW_WINDOW", std::to_string(showWindow));
    for (const auto& v : childVariables) overrides.push_back(v);
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const auto name = entry.substr(0, entry.find('='));
        const bool replaced = std::any_of(overrides.begin(), overrides.end(),
                                          [&](const auto& o) { return o.first == name; });
        if (!replaced)
            env.emplace_back(entry);
    }
    // Later overrides of the same name win.
    std::map<std::string, std::string> last;
    for (const auto& [name, value] : overrides) last[name] = value;
    for (const auto& [name, value] : last) env.push_back(name + "=" + value);
    return env;
}

LONG spawnError(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOEXEC:
        case ELIBBAD:
        case ETXTBSY:
            return ERROR_BAD_EXE_FORMAT;
        default:
            return ERROR_BAD_FORMAT;
    }
}

// posix_spawn's attribute and file-action records, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

std::expected<PROCESS_INFORMATION, LONG> spawn(const ProgramLocation& program,
                                               const std::vector<std::string>& arguments,
                                               const ProcessStart& start) {
    std::vector<std::string> argvText{program.windowsPath};
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    auto envText = childEnvironment(start.showWindow);
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    SpawnSetup setup;
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (start.detached)
        flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&setup.attr, flags);
    // A host may block or ignore signals for itself (SIGINT in the console,
    // SIGPIPE for sockets); a program we start begins with the defaults.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2,
                          SIGALRM, SIGTSTP, SIGTTIN, SIGTTOU})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&setup.attr, &defaults);
    if (!start.inheritHandles)
        posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    std::string folder;
    if (start.currentDirectory && !start.currentDirectory->empty()) {
        if (!hasCurrentMachine())
            return std::unexpected(ERROR_PATH_NOT_FOUND);
        const auto dir = currentMachine().resolve(*start.currentDirectory);
        std::error_code ec;
        if (!dir || !fs::is_directory(*dir, ec))
            return std::unexpected(ERROR_PATH_NOT_FOUND);
        folder = dir->string();
        posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());
    }

    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.hostPath.c_str(), &setup.actions, &setup.attr,
                                 argv.data(), envp.data());
    if (rc != 0)
        return std::unexpected(spawnError(rc));

    auto object = std::make_shared<ProcessObject>();
    object->pid = pid;
    object->child = true;
    object->pidfd = openPidfd(pid);
    object->showWindow = start.showWindow;
    if (const auto stat = readStat(static_cast<DWORD>(pid)))
        object->startTime = stat->startTime;
    {
        auto& t = table();
        std::lock_guard lock(t.mutex);
        t.children[pid] = object;
    }
    PROCESS_INFORMATION info;
    info.hProcess = addHandle(object);
    info.dwProcessId = static_cast<DWORD>(pid);
    info.dwThreadId = static_cast<DWORD>(pid);
    return info;
}

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

}  // namespace

DWORD GetLastError() {
    return lastError;
}

std::expected<ProgramLocation, LONG> findProgram(std::string_view name) {
    if (name.empty())
        return std::unexpected(ERROR_FILE_NOT_FOUND);
    const auto folder = folderOf(name);
    const auto base = baseOf(name);
    if (!base.empty()) {
        const bool systemFolder =
            folder.empty() ||
            (hasCurrentMachine() &&
             (iequals(folder, windowsRoot()) || iequals(folder, windowsRoot() + "\\system32")));
        if (systemFolder) {
            if (auto handler = findSystemProgram(base)) {
                ProgramLocation location;
                location.windowsPath = std::string(name);
                location.builtin = std::move(handler);
                return location;
            }
        }
    }
    if (!hasCurrentMachine())
        return std::unexpected(ERROR_FILE_NOT_FOUND);
    const auto& machine = currentMachine();
    const std::string text(name);
    if (hasDriveLetter(name)) {
        auto found = fileAt(machine, text);
        if (!found && !hasExtension(name)) {
            if (auto withExe = fileAt(machine, text + ".exe"))
                return withExe;
        }
        return found;
    }
    if (!folder.empty() || name.starts_with('\\') || name.starts_with('/'))
        return std::unexpected(ERROR_FILE_NOT_FOUND);  // no current folder to be relative to
    const auto root = windowsRoot();
    for (const auto& dir : {root + "\\system32", root}) {
        if (auto found = fileAt(machine, dir + "\\" + text))
            return found;
        if (!iequals(std::string_view(text).substr(text.size() >= 4 ? text.size() - 4 : 0),
                     ".exe")) {
            if (auto found = fileAt(machine, dir + "\\" + text + ".exe"))
                return found;
        }
    }
    return std::unexpected(ERROR_FILE_NOT_FOUND);
}

std::expected<PROCESS_INFORMATION, LONG> CreateProcessA(const ProcessStart& start) {
    reapChildren();
    auto result = [&]() -> std::expected<PROCESS_INFORMATION, LONG> {
        const auto token = programToken(start.commandLine);
        std::expected<ProgramLocation, LONG> program = std::unexpected(ERROR_FILE_NOT_FOUND);
        std::string_view rest = token.rest;
        if (start.applicationName) {
            program = findProgram(*start.applicationName);
        } else {
            if (token.program.empty())
                return std::unexpected(ERROR_INVALID_PARAMETER);
            if (token.quoted) {
                program = findProgram(token.program);
            } else {
                // An unquoted program may hold blanks: try each run of words up
                // to a blank, shortest first, as Windows does.
                const std::string_view line = start.commandLine;
                const auto begin = line.find_first_not_of(" \t");
                std::size_t end = line.find_first_of(" \t", begin);
                std::optional<LONG> firstError;
                for (int tries = 0; tries < 64; ++tries) {
                    const auto candidate =
                        line.substr(begin, end == std::string_view::npos ? std::string_view::npos
                                                                         : end - begin);
                    auto found = findProgram(candidate);
                    if (found) {
                        program = std::move(found);
                        rest =
                            end == std::string_view::npos ? std::string_view{} : line.substr(end);
                        break;
                    }
                    if (!firstError)
                        firstError = found.error();
                    if (end == std::string_view::npos)
                        break;
                    const auto next = line.find_first_not_of(" \t", end);
                    if (next == std::string_view::npos)
                        break;
                    end = line.find_first_of(" \t", next);
                }
                if (!program && firstError)
                    program = std::unexpected(*firstError);
            }
        }
        if (!program)
            return std::unexpected(program.error());
        const auto arguments = splitArguments(rest);
        if (program->builtin)
            return runBuiltin(*program, arguments, start);
        return spawn(*program, arguments, start);
    }();
    if (!result)
        lastError = static_cast<DWORD>(result.error());
    return result;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    const auto object = lookup<ProcessObject>(handle);
    if (!object)
        return fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    const bool done = waitEnded(*object, milliseconds);
    if (done)
        reapChildren();
    return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

bool TerminateProcess(HANDLE handle, DWORD exitCode) {
    const auto object = lookup<ProcessObject>(handle);
    if (!object)
        return fail(ERROR_INVALID_HANDLE, false);
    {
        std::lock_guard lock(object->mutex);
        if (object->pollEnded())
            return fail(ERROR_ACCESS_DENIED, false);
        object->terminateCode = exitCode;
        if (signalProcess(object->pidfd, object->pid, SIGKILL) != 0) {
            const int error = errno;
            object->terminateCode.reset();
            if (error == ESRCH) {
                object->pollEnded();
                return fail(ERROR_ACCESS_DENIED, false);
            }
            return fail(ERROR_ACCESS_DENIED, false);
        }
    }
    // SIGKILL takes effect at once, but the kernel needs a moment to tear the
    // process down; callers look for it right after, so wait for the end.
    waitEnded(*object, 2000);
    reapChildren();
    return true;
}

bool GetExitCodeProcess(HANDLE handle, DWORD* exitCode) {
    const auto object = lookup<ProcessObject>(handle);
    if (!object || exitCode == nullptr)
        return fail(ERROR_INVALID_HANDLE, false);
    std::lock_guard lock(object->mutex);
    if (!object->pollEnded()) {
        *exitCode = STILL_ACTIVE;
        return true;
    }
    if (!object->exitCode)
        return fail(ERROR_ACCESS_DENIED, false);
    *exitCode = *object->exitCode;
    return true;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

DWORD GetProcessId(HANDLE handle) {
    const auto object = lookup<ProcessObject>(handle);
    if (!object)
        return fail(ERROR_INVALID_HANDLE, DWORD{0});
    return static_cast<DWORD>(object->pid);
}

std::optional<std::uint16_t> processShowWindow(HANDLE handle) {
    const auto object = lookup<ProcessObject>(handle);
    if (!object)
        return std::nullopt;
    return object->showWindow;
}

HANDLE OpenProcess(DWORD, bool, DWORD processId) {
    reapChildren();
    if (processId == 0 || processId > static_cast<DWORD>(INT_MAX))
        return fail(ERROR_INVALID_PARAMETER, HANDLE{0});
    const auto pid = static_cast<pid_t>(processId);
    {
        auto& t = table();
        std::unique_lock lock(t.mutex);
        if (const auto it = t.children.find(pid); it != t.children.end()) {
            auto object = it->second;
            lock.unlock();
            return addHandle(object);
        }
    }
    const auto stat = readStat(processId);
    if (!stat || isEndedState(stat->state))
        return fail(ERROR_INVALID_PARAMETER, HANDLE{0});
    const auto uid = realUid(processId);
    if (!uid || *uid != ::getuid())
        return fail(ERROR_ACCESS_DENIED, HANDLE{0});
    auto object = std::make_shared<ProcessObject>();
    object->pid = pid;
    object->pidfd = openPidfd(pid);
    object->startTime = stat->startTime;
    // The pidfd pins the process we looked at; make sure the id was not
    // reused between reading /proc and opening it.
    const auto again = readStat(processId);
    if (!again || again->startTime != stat->startTime || isEndedState(again->state))
        return fail(ERROR_INVALID_PARAMETER, HANDLE{0});
    return addHandle(object);
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

std::vector<ProcessEntry> processSnapshot() {
    reapChildren();
    std::vector<ProcessEntry> entries;
    const uid_t me = ::getuid();
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = it->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit))
            continue;
        DWORD pid = 0;
        try {
            pid = static_cast<DWORD>(std::stoul(name));
        } catch (const std::exception&) {
            continue;
        }
        const auto uid = realUid(pid);
        if (!uid || *uid != me)
            continue;
        const auto stat = readStat(pid);
        if (!stat || isEndedState(stat->state))
            continue;
        ProcessEntry entry;
        entry.processId = pid;
        entry.parentProcessId = stat->parent;
        entry.threads = stat->threads;
        entry.exeFile = exeNameOf(pid);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.processId < b.processId; });
    return entries;
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    if ((flags & TH32CS_SNAPPROCESS) == 0)
        return fail(ERROR_INVALID_PARAMETER, HANDLE{0});
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->entries = processSnapshot();
    return addHandle(snapshot);
}

namespace {

bool fillEntry(HANDLE handle, PROCESSENTRY32* entry, bool first) {
    const auto snapshot = lookup<Snapshot>(handle);
    if (!snapshot || entry == nullptr)
        return fail(ERROR_INVALID_HANDLE, false);
    if (first)
        snapshot->next = 0;
    if (snapshot->next >= snapshot->entries.size())
        return fail(ERROR_NO_MORE_FILES, false);
    const auto& e = snapshot->entries[snapshot->next++];
    entry->th32ProcessID = e.processId;
    entry->th32ParentProcessID = e.parentProcessId;
    entry->cntThreads = e.threads;
    entry->szExeFile.fill('\0');
    const auto n = std::min(e.exeFile.size(), entry->szExeFile.size() - 1);
    std::memcpy(entry->szExeFile.data(), e.exeFile.data(), n);
    return true;
}

}  // namespace

bool Process32First(HANDLE snapshot, PROCESSENTRY32* entry) {
    return fillEntry(snapshot, entry, true);
}

bool Process32Next(HANDLE snapshot, PROCESSENTRY32* entry) {
    return fillEntry(snapshot, entry, false);
}

std::optional<std::uint64_t> processStartTime(DWORD processId) {
    reapChildren();
    const auto stat = readStat(processId);
    if (!stat || isEndedState(stat->state))
        return std::nullopt;
    return stat->startTime;
}

bool processRunning(DWORD processId, std::uint64_t startTime) {
    const auto now = processStartTime(processId);
    return now && *now == startTime;
}

ChildEnvironmentScope::ChildEnvironmentScope(std::string name, std::string value) {
    childVariables.emplace_back(std::move(name), std::move(value));
}

ChildEnvironmentScope::~ChildEnvironmentScope() {
    childVariables.pop_back();
}

}  // namespace kx::platform
