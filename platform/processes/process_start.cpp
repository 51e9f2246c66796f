// Starting programs and the calls on process handles: waiting, ending,
// exit codes, opening a process by its id.
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/machine/machine.hpp"
#include "platform/processes/command_line.hpp"
#include "platform/processes/process_table.hpp"

#include "platform/runtime/error.hpp"

namespace kx::platform {
namespace fs = std::filesystem;
using namespace detail;

namespace {
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

}  // namespace

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
        KX_PROPAGATE(program);
        const auto arguments = splitArguments(rest);
        if (program->builtin)
            return runBuiltin(*program, arguments, start);
        return spawn(*program, arguments, start);
    }();
    if (!result)
        setLastError(result.error());
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

}  // namespace kx::platform
