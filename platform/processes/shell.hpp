#pragma once
// ShellExecuteA: opening documents and web addresses with the program the
// desktop associates with them; the recycle bin.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "platform/runtime/thread_binding.hpp"

namespace kx::platform {

/// Answers above 32 mean success, as ShellExecuteA's instance value does.
inline constexpr std::intptr_t SE_ERR_FNF = 2;
inline constexpr std::intptr_t SE_ERR_PNF = 3;
inline constexpr std::intptr_t SE_ERR_ACCESSDENIED = 5;
inline constexpr std::intptr_t SE_ERR_BAD_FORMAT = 11;
inline constexpr std::intptr_t SE_ERR_NOASSOC = 31;

class Shell {
  public:
    virtual ~Shell() = default;
    virtual std::intptr_t shellExecute(std::int32_t owner, const std::string& verb,
                                       const std::string& file, const std::string& parameters,
                                       const std::string& directory, std::int32_t showCommand) = 0;
};

/// The desktop's shell (verb "open" or none):
///  - web addresses (http://, https://) open in the user's browser through
///    xdg-open, started detached;
///  - a built-in system program (regedit.exe, ...) runs with the parameters;
///  - a program file (found as CreateProcess finds programs: through the
///    machine, in C:\WINDOWS\system32 and C:\WINDOWS for bare names) starts
///    detached with the parameters, in `directory` when one is given;
/// Answers above 32 on success, SE_ERR_FNF when nothing is found,
/// SE_ERR_PNF for a folder that does not exist, SE_ERR_ACCESSDENIED for a
/// file we may not run, SE_ERR_NOASSOC for other verbs and for documents
/// (files other than .exe and .com) since no associations exist yet, and
/// ERROR_BAD_FORMAT (11) for a program file that is no program.
class DesktopShell final : public Shell {
  public:
    std::intptr_t shellExecute(std::int32_t owner, const std::string& verb, const std::string& file,
                               const std::string& parameters, const std::string& directory,
                               std::int32_t showCommand) override;
};

/// Records every request and answers success; for tests.
class RecordingShell final : public Shell {
  public:
    struct Call {
        std::int32_t owner;
        std::string verb, file, parameters, directory;
        std::int32_t showCommand;
    };
    std::vector<Call> calls;
    std::intptr_t shellExecute(std::int32_t owner, const std::string& verb, const std::string& file,
                               const std::string& parameters, const std::string& directory,
                               std::int32_t showCommand) override;
};

/// The shell bound to the calling thread (a DesktopShell when none is bound).
Shell& shell();

using ShellScope = BindingScope<Shell>;

inline std::intptr_t ShellExecuteA(std::int32_t owner, const std::string& verb,
                                   const std::string& file, const std::string& parameters,
                                   const std::string& directory, std::int32_t showCommand) {
    return shell().shellExecute(owner, verb, file, parameters, directory, showCommand);
}

/// SHEmptyRecycleBinA flags.
inline constexpr std::uint32_t SHERB_NOCONFIRMATION = 0x1;
inline constexpr std::uint32_t SHERB_NOPROGRESSUI = 0x2;
inline constexpr std::uint32_t SHERB_NOSOUND = 0x4;
/// Its failing answers.
inline constexpr std::int32_t E_ABORT = static_cast<std::int32_t>(0x80004004u);
inline constexpr std::int32_t E_FAIL = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t E_INVALIDARG = static_cast<std::int32_t>(0x80070057u);

/// The recycle bin folders at a drive's root: "RECYCLER" of the NT family,
/// "RECYCLED" of Windows 9x.
inline constexpr std::string_view kRecycleFolders[] = {"RECYCLER", "RECYCLED"};

/// Empties the recycle bin of the drive `rootPath` names ("C:\\"), or of
/// every drive of the machine when it is empty. Everything inside the bin
/// folders goes and the folders stay; links inside are removed as links and
/// never followed, and a bin folder that is itself a link is left alone.
/// Without SHERB_NOCONFIRMATION the user confirms first. Answers 0 (S_OK)
/// when every bin is empty afterwards (also when there was none), E_FAIL
/// when something stayed, E_ABORT when the user declined, E_INVALIDARG for
/// a root that names no drive of the machine (or no machine bound).
std::int32_t SHEmptyRecycleBinA(std::int32_t owner, std::string_view rootPath, std::uint32_t flags);

/// Redraws the recycle bin's desktop icon; no desktop shows one here, so
/// there is nothing to do.
void SHUpdateRecycleBinIcon();

}  // namespace kx::platform
