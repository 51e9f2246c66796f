#pragma once
// Windows system programs the engine starts (regedit.exe, regsvr32.exe,
// net, Cleanmgr.exe) have no Linux executable behind them.
// Each is a built-in handler that runs in our own process when its name is
// started; it answers the exit status the Windows program would, so a
// caller that waits for the program and reads its exit code sees no
// difference.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::platform {

struct SystemProgramCall {
    /// The arguments after the program name, split by the Windows rules.
    std::vector<std::string> arguments;
    /// The whole command line as it was given.
    std::string commandLine;
    /// The show-window code the caller asked for.
    std::uint16_t showWindow = 1;
};

/// Runs the program and answers its exit status. Handlers run on the calling
/// thread with the caller's machine bound; they must not throw (a handler that
/// does anyway is answered as exit status 1 by the caller).
using SystemProgramHandler = std::function<std::uint32_t(const SystemProgramCall&)>;

/// Adds (or replaces) a built-in program. The name is matched without regard
/// to case, with or without ".exe" ("regsvr32.exe" also answers "REGSVR32").
void registerSystemProgram(std::string_view name, SystemProgramHandler handler);

/// The handler of a program name (a bare file name, no folder), or an empty
/// function when none is built in. "regedit.exe", "regsvr32.exe", "net.exe"
/// and "Cleanmgr.exe" are always there.
SystemProgramHandler findSystemProgram(std::string_view name);

/// regedit.exe: "/s file" imports a .reg file into the machine's registry
/// without asking; without "/s" the user confirms first and is told the
/// outcome. "/e file key" (Version 5 format) and "/a file key" (REGEDIT4)
/// export a key. Exit status 0 on success, 1 otherwise (no machine, a file
/// that does not resolve or does not import, a bad command line).
std::uint32_t runRegedit(const SystemProgramCall& call);

/// regsvr32.exe: registers a library ("/u" unregisters it). No component
/// model stands behind it here, so the call only does what can be checked:
/// the file must be a program library (a regular file, reached without a
/// link, that starts with the executable signature "MZ"). Exit status 0 on
/// success, 1 for a bad command line, 3 for a file that cannot be loaded
/// (missing, a link, or no library), as regsvr32 answers. Without "/s" the
/// outcome is told in a message box.
std::uint32_t runRegsvr32(const SystemProgramCall& call);

/// Where the service control's state of a service lives: the REG_DWORD
/// "CurrentState" below HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services
/// \<name> (1 stopped, 4 running; a service without that value runs unless
/// its "Start" value says disabled, 4).
inline constexpr std::string_view kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
inline constexpr std::uint32_t SERVICE_STOPPED = 1;
inline constexpr std::uint32_t SERVICE_RUNNING = 4;

/// net.exe: "net start <service>" and "net stop <service>" for the services
/// of the machine (a key below kServicesKey). Exit status 0 when the service
/// changed state, 2 for an unknown service, one already in that state, a
/// disabled one that should start, or a registry that refused the change
/// (a user who is not an administrator), 1 for other commands.
std::uint32_t runNet(const SystemProgramCall& call);

/// Cleanmgr.exe: the disk clean-up. Its selected clean-up handlers
/// ("/sagerun:n") belong to Windows and are not emulated, so it checks the
/// command line and ends: exit status 0, or 1 for a drive ("/d") that the
/// machine does not have.
std::uint32_t runCleanmgr(const SystemProgramCall& call);

}  // namespace kx::platform
