#pragma once
// Windows system programs the engine starts (regedit.exe, and later
// regsvr32.exe, net, Cleanmgr.exe) have no Linux executable behind them.
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
/// function when none is built in. "regedit.exe" is always there.
SystemProgramHandler findSystemProgram(std::string_view name);

/// regedit.exe: "/s file" imports a .reg file into the machine's registry
/// without asking; without "/s" the user confirms first and is told the
/// outcome. "/e file key" (Version 5 format) and "/a file key" (REGEDIT4)
/// export a key. Exit status 0 on success, 1 otherwise (no machine, a file
/// that does not resolve or does not import, a bad command line).
std::uint32_t runRegedit(const SystemProgramCall& call);

}  // namespace kx::platform
