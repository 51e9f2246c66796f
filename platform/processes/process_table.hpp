#pragma once
// What the process calls share inside this folder: the /proc reader, the
// process objects behind handles and the handle table.
#include <sys/types.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/processes/process.hpp"

namespace kx::platform::detail {

/// Records `code` for GetLastError and answers `value`.
void setLastError(LONG code);
template <typename T>
T fail(LONG code, T value) {
    setLastError(code);
    return value;
}

// ---- /proc ---------------------------------------------------------------

struct ProcStat {
    char state = '?';
    DWORD parent = 0;
    DWORD threads = 0;
    std::uint64_t startTime = 0;
};

/// The fields of /proc/<pid>/stat, nothing when the process is gone.
std::optional<ProcStat> readStat(DWORD pid);
/// True for a zombie or dead process.
bool isEndedState(char state);
/// The real user id of a process.
std::optional<uid_t> realUid(DWORD pid);
/// The file name a process was started under (argv[0] without its folder).
std::string exeNameOf(DWORD pid);

// ---- process objects and handles -----------------------------------------

int openPidfd(pid_t pid);
/// Sends a signal through the pidfd where the kernel can, else by pid.
int signalProcess(int pidfd, pid_t pid, int sig);

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

    ProcessObject() = default;
    ~ProcessObject();
    ProcessObject(const ProcessObject&) = delete;
    ProcessObject& operator=(const ProcessObject&) = delete;

    void record(int status);
    // Looks whether the process has ended, without blocking. Caller holds `mutex`.
    bool pollEnded();
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

Table& table();
HANDLE addHandle(Object object);

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

/// Reaps every child that has ended, so none lingers as a zombie.
void reapChildren();
/// Waits up to `milliseconds` for the process to end; true when it did.
bool waitEnded(ProcessObject& object, DWORD milliseconds);

// ---- children ------------------------------------------------------------

/// The environment of a child: ours, with the variables we pass on replaced.
std::vector<std::string> childEnvironment(std::uint16_t showWindow);
/// The environment entry every program started through the current machine
/// carries, and passes on to what it starts: "KOLVANEX_STARTED_IN=<prefix>".
/// "" when no machine is bound.
std::string machineStartMark();

}  // namespace kx::platform::detail
