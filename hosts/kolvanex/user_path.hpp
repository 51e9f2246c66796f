#pragma once
// A file or folder named on the command line: a Windows path of the machine
// ("C:\Daten\brief.txt", "c:/daten") or a Linux path (absolute, "~/...", or
// relative to the current folder). The engine takes Windows paths, so a
// Linux path is named through the drive that shows it: the prefix's own
// drives (drive_c is C:), a linked folder, else Z:, the host's root.
// Messages name the file as the user wrote it.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/machine/machine.hpp"

namespace kx::host {

class UserPath {
  public:
    explicit UserPath(std::string given) : given_(std::move(given)) {}

    /// The text as the user wrote it, for messages.
    const std::string& given() const { return given_; }
    /// "-": standard input or output, where a command takes it.
    bool isStdio() const { return given_ == "-"; }
    /// Written as a Windows path: a drive letter and ":".
    bool isWindows() const;

    /// The Windows path the engine works on; a Windows path as given, once
    /// it reaches a drive of the machine. A Linux path's folder is taken
    /// with its links resolved (as the shell reached it), its last name as
    /// given, so a link named here is the link, never its target. Throws
    /// UsageError when the path cannot be named on the machine: a name
    /// Windows cannot hold (\ : * ? " < > |), no drive shows it (a machine
    /// made before Z: existed), or the machine, which ignores case, would
    /// find another entry under that name.
    std::string windows(const platform::Machine& machine) const;

    /// The host path: a Linux path made absolute, a Windows path resolved
    /// through the machine (UsageError when it reaches no drive).
    std::filesystem::path host(const platform::Machine& machine) const;

    /// A Linux path made absolute: "~" is $HOME, a relative path counts from
    /// the current folder, the folder's links resolved, the last name kept.
    std::filesystem::path absoluteLinux() const;

  private:
    std::string given_;
};

inline std::vector<UserPath> userPaths(const std::vector<std::string>& given) {
    return {given.begin(), given.end()};
}

}  // namespace kx::host
