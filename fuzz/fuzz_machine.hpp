#pragma once
// The one machine of a fuzzing process: made in a fresh temporary folder on
// first use, bound to the calling thread, and removed when the process ends.
#include <string>
#include <string_view>

#include "platform/machine/machine.hpp"

namespace kx::fuzz {

platform::Machine& fuzzMachine();

/// Writes a file of the machine (a Windows path whose folder exists).
void writeMachineFile(std::string_view windowsPath, std::string_view bytes);
/// Reads a file of the machine whole; "" when it cannot be read.
std::string readMachineFile(std::string_view windowsPath);

}  // namespace kx::fuzz
