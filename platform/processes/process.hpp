#pragma once
// Processes as the Win32 process functions see them: started from Windows
// command lines, waited for with time-outs, terminated, listed in a
// snapshot. Behind them are real Linux processes (posix_spawn, waitpid,
// pidfds, /proc); the programs they run are found in the machine prefix,
// where our companion programs are real Linux executables installed under
// their Windows names. Windows system programs (regedit.exe, ...) are
// built-in handlers (platform/system_programs.hpp).
//
// Handles are this process's, shared by all its threads, as Win32 handles
// are. A started child stays known until it has been reaped, also when every
// handle to it is closed, so no zombie outlives the next process call.
#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/processes/system_programs.hpp"
#include "platform/registry/registry.hpp"

namespace kx::platform {

using HANDLE = std::intptr_t;  // 0 is no handle

inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;
inline constexpr LONG ERROR_BAD_FORMAT = 11;
inline constexpr LONG ERROR_NO_MORE_FILES = 18;
inline constexpr LONG ERROR_BAD_EXE_FORMAT = 193;

// Show-window codes (STARTUPINFO.wShowWindow, ShellExecute's nShowCmd).
inline constexpr std::uint16_t SW_HIDE = 0;
inline constexpr std::uint16_t SW_SHOWNORMAL = 1;
inline constexpr std::uint16_t SW_SHOWMINIMIZED = 2;
inline constexpr std::uint16_t SW_SHOWMAXIMIZED = 3;
inline constexpr std::uint16_t SW_SHOWNOACTIVATE = 4;
inline constexpr std::uint16_t SW_MINIMIZE = 6;
inline constexpr std::uint16_t SW_SHOWMINNOACTIVE = 7;

inline constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr DWORD PROCESS_TERMINATE = 0x0001;
inline constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr DWORD SYNCHRONIZE = 0x00100000;
inline constexpr DWORD TH32CS_SNAPPROCESS = 0x2;

/// The error code of the last process call of this thread that failed.
DWORD GetLastError();

/// Where a program name leads: a file in the prefix, or a built-in system
/// program.
struct ProgramLocation {
    /// The Windows path of the file in its on-disk spelling
    /// ("C:\WINDOWS\system32\stinger.exe"), or the name as given for a
    /// built-in. Started programs receive it as argv[0], so the process
    /// snapshot names them by their Windows file name.
    std::string windowsPath;
    std::filesystem::path hostPath;  // empty for a built-in
    SystemProgramHandler builtin;    // empty for a file
};

/// Finds a program by name, as CreateProcess does for a name it was given:
///  - built-in system programs first, for a bare name ("regedit.exe",
///    "REGEDIT") or one in the Windows folder or its system32 folder;
///  - a path with a drive letter resolves through the current machine (each
///    component case-insensitively); ".exe" is tried after the name when it
///    has no extension;
///  - a bare name is looked up in C:\WINDOWS\system32, then C:\WINDOWS (the
///    machine's SystemRoot), as given and with ".exe".
/// Anything else (relative paths, host paths, no machine bound) is not found:
/// ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND for a path that reaches no
/// folder of the machine.
std::expected<ProgramLocation, LONG> findProgram(std::string_view name);

struct ProcessStart {
    /// The program; when absent it is taken from the command line: a quoted
    /// first word, or else the shortest run of words ending at a blank that
    /// names a program ("C:\Programme\Mein Tool\x.exe a" tries
    /// "C:\Programme\Mein", then "C:\Programme\Mein Tool\x.exe").
    std::optional<std::string> applicationName;
    std::string commandLine;
    /// Without it, nothing but standard input, output and error reaches the child.
    bool inheritHandles = false;
    DWORD creationFlags = NORMAL_PRIORITY_CLASS;
    /// A Windows path; the child starts in our own folder when absent.
    std::optional<std::string> currentDirectory;
    std::uint16_t showWindow = SW_SHOWNORMAL;
    /// In a session of its own, so that it outlives us and a cancel in our
    /// terminal does not reach it (programs the shell opens).
    bool detached = false;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess = 0;
    HANDLE hThread = 0;  // Linux gives us no separate thread object: always 0
    DWORD dwProcessId = 0;
    DWORD dwThreadId = 0;
};

/// Starts a program. The child's environment is ours plus KOLVANEX_PREFIX
/// (the bound machine's prefix, so companion programs open the same machine),
/// KOLVANEX_SHOW_WINDOW (the show-window code) and whatever a
/// ChildEnvironmentScope of this thread adds. A built-in system program runs
/// to its end before this returns; its handle is then already signalled,
/// holds its exit status and has process id 0. Fails with
/// ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when nothing is found,
/// ERROR_ACCESS_DENIED when the file may not be executed,
/// ERROR_BAD_EXE_FORMAT when it is no program, ERROR_INVALID_PARAMETER for
/// an empty command line.
std::expected<PROCESS_INFORMATION, LONG> CreateProcessA(const ProcessStart& start);

/// WAIT_OBJECT_0 when the process has ended (at once for an ended one),
/// WAIT_TIMEOUT when `milliseconds` passed first (INFINITE waits for ever),
/// WAIT_FAILED for a handle that is no process. Waits in real time: a process
/// runs on the machine's clock, not on the message loop's.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

/// Ends a process at once (SIGKILL: a Windows process gets no say either);
/// its exit code becomes `exitCode`. Returns when it is gone, so that a
/// snapshot taken right after no longer lists it. False for an ended process
/// (ERROR_ACCESS_DENIED, as Windows answers), a process we may not signal,
/// or a bad handle.
bool TerminateProcess(HANDLE handle, DWORD exitCode);

/// STILL_ACTIVE while the process runs, then its exit code: the status it
/// exited with, the code TerminateProcess gave it, or 128 plus the signal's
/// number when something else killed it. False for a bad handle and for a
/// process we did not start that ended without our TerminateProcess (Linux
/// does not tell its status to anyone but its parent).
bool GetExitCodeProcess(HANDLE handle, DWORD* exitCode);

/// Our own process id.
DWORD GetCurrentProcessId();

/// The process id of a process handle, 0 for a bad handle or a built-in.
DWORD GetProcessId(HANDLE handle);

/// The show-window code the process was started with (SW_SHOWNORMAL for
/// processes we did not start).
std::optional<std::uint16_t> processShowWindow(HANDLE handle);

/// A handle to a running process of the current user. Another user's
/// process answers ERROR_ACCESS_DENIED, a pid that runs nothing
/// ERROR_INVALID_PARAMETER. A process we started gets the same process
/// object as its first handle.
HANDLE OpenProcess(DWORD desiredAccess, bool inheritHandle, DWORD processId);

/// Closes a process or snapshot handle; false for a handle that is not open.
bool CloseHandle(HANDLE handle);

struct PROCESSENTRY32 {
    DWORD dwSize = sizeof(PROCESSENTRY32);
    DWORD cntUsage = 0;
    DWORD th32ProcessID = 0;
    DWORD th32ParentProcessID = 0;
    DWORD cntThreads = 0;
    std::int32_t pcPriClassBase = 8;
    DWORD dwFlags = 0;
    std::array<char, 260> szExeFile{};  // NUL-terminated
};

/// One running process of the current user.
struct ProcessEntry {
    DWORD processId = 0;
    DWORD parentProcessId = 0;
    DWORD threads = 0;
    /// The last component (after "/" or "\") of the program the process was
    /// started as (argv[0]): "stinger.exe" for C:\WINDOWS\system32\stinger.exe.
    /// Processes whose command line is empty give their kernel name.
    std::string exeFile;
};

/// The running processes of the current user, in process-id order. Ended
/// processes not yet reaped by their parent are not listed.
std::vector<ProcessEntry> processSnapshot();

/// A snapshot handle over processSnapshot() (TH32CS_SNAPPROCESS; the process
/// id is ignored, as Windows does for process snapshots). Names longer than
/// 259 bytes are cut. Answers 0 (GetLastError ERROR_INVALID_PARAMETER) for
/// other kinds of snapshot.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
bool Process32First(HANDLE snapshot, PROCESSENTRY32* entry);
/// False with ERROR_NO_MORE_FILES after the last process.
bool Process32Next(HANDLE snapshot, PROCESSENTRY32* entry);

/// When a process started (clock ticks since boot), or nothing when no live
/// process has that id (ended processes awaiting their parent count as ended).
/// Together with the id it names one process even after the id is reused.
std::optional<std::uint64_t> processStartTime(DWORD processId);

/// True while the process of that id and start time runs.
bool processRunning(DWORD processId, std::uint64_t startTime);

/// True when the process was started through the current machine or by a
/// program that was (its environment carries the mark CreateProcessA gives
/// every program it starts). A process the user started elsewhere is not,
/// whatever its name.
bool startedThroughMachine(DWORD processId);

/// Adds a variable to the environment of every program this thread starts
/// for the scope's lifetime (it overrides one of the same name). Scopes nest.
class ChildEnvironmentScope {
  public:
    ChildEnvironmentScope(std::string name, std::string value);
    ~ChildEnvironmentScope();
    ChildEnvironmentScope(const ChildEnvironmentScope&) = delete;
    ChildEnvironmentScope& operator=(const ChildEnvironmentScope&) = delete;
};

}  // namespace kx::platform
