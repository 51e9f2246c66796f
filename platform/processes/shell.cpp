#include "platform/processes/shell.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <string_view>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/processes/process.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/dialogs.hpp"

extern char** environ;

namespace kx::platform {
namespace {

bool isWebAddress(std::string_view file) {
    return file.starts_with("http://") || file.starts_with("https://");
}

// Programs Windows would run rather than open with another program.
bool isProgramFile(std::string_view windowsPath) {
    const auto dot = windowsPath.rfind('.');
    if (dot == std::string_view::npos ||
        windowsPath.find_first_of("\\/", dot) != std::string_view::npos)
        return false;
    const auto extension = windowsPath.substr(dot);
    return winEqualNoCase(extension, ".exe") || winEqualNoCase(extension, ".com");
}

std::intptr_t openWebAddress(const std::string& file) {
    // Started in a process group of its own so that the browser outlives us and
    // a cancel in our terminal does not reach it.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    const char* argv[] = {"xdg-open", file.c_str(), nullptr};
    pid_t pid = 0;
    const int rc =
        posix_spawnp(&pid, "xdg-open", nullptr, &attr, const_cast<char* const*>(argv), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return SE_ERR_NOASSOC;
    // xdg-open hands the address on and ends quickly; reap it.
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 42 : SE_ERR_NOASSOC;
}

}  // namespace

std::intptr_t DesktopShell::shellExecute(std::int32_t, const std::string& verb,
                                         const std::string& file, const std::string& parameters,
                                         const std::string& directory, std::int32_t showCommand) {
    if (!verb.empty() && !winEqualNoCase(verb, "open"))
        return SE_ERR_NOASSOC;
    if (isWebAddress(file))
        return openWebAddress(file);
    const auto program = findProgram(file);
    if (!program)
        return program.error() == ERROR_PATH_NOT_FOUND ? SE_ERR_PNF : SE_ERR_FNF;
    if (!program->builtin && !isProgramFile(program->windowsPath))
        return SE_ERR_NOASSOC;
    ProcessStart start;
    start.applicationName = program->windowsPath;
    start.commandLine = "\"" + program->windowsPath + "\"";
    if (!parameters.empty())
        start.commandLine += " " + parameters;
    if (!directory.empty())
        start.currentDirectory = directory;
    start.showWindow = static_cast<std::uint16_t>(showCommand);
    start.detached = true;
    const auto started = CreateProcessA(start);
    if (!started) {
        switch (started.error()) {
            case ERROR_FILE_NOT_FOUND:
                return SE_ERR_FNF;
            case ERROR_PATH_NOT_FOUND:
                return SE_ERR_PNF;
            case ERROR_ACCESS_DENIED:
                return SE_ERR_ACCESSDENIED;
            default:
                return SE_ERR_BAD_FORMAT;
        }
    }
    // The shell does not wait for what it opened; the child is reaped by the
    // process layer once it ends.
    CloseHandle(started->hProcess);
    return 42;
}

std::intptr_t RecordingShell::shellExecute(std::int32_t owner, const std::string& verb,
                                           const std::string& file, const std::string& parameters,
                                           const std::string& directory, std::int32_t showCommand) {
    calls.push_back({owner, verb, file, parameters, directory, showCommand});
    return 42;
}

Shell& shell() {
    if (boundService<Shell>() != nullptr)
        return *boundService<Shell>();
    thread_local DesktopShell desktop;
    return desktop;
}

std::int32_t SHEmptyRecycleBinA(std::int32_t, std::string_view rootPath, std::uint32_t flags) {
    if (!hasCurrentMachine())
        return E_INVALIDARG;
    auto& machine = currentMachine();
    std::vector<char> letters;
    if (rootPath.empty()) {
        // A network drive keeps no recycle bin (Z: shows the host's root).
        for (const auto& drive : machine.config().drives)
            if (driveHasFolder(drive) && drive.type != DriveType::Remote)
                letters.push_back(drive.letter);
    } else {
        const Drive* drive =
            rootPath.size() >= 2 && rootPath[1] == ':' ? machine.drive(rootPath[0]) : nullptr;
        if (drive == nullptr || !driveHasFolder(*drive))
            return E_INVALIDARG;
        letters.push_back(drive->letter);
    }
    if ((flags & SHERB_NOCONFIRMATION) == 0 &&
        ui::dialogs().messageBox(
            std::string(tr("Möchten Sie wirklich alle Elemente im Papierkorb löschen?")),
            std::string(tr("Löschen mehrerer Elemente bestätigen")),
            ui::MB_YESNO | ui::MB_ICONQUESTION) != ui::IDYES)
        return E_ABORT;
    bool complete = true;
    for (const char letter : letters) {
        for (const auto folder : kRecycleFolders) {
            const std::string bin = std::string(1, letter) + ":\\" + std::string(folder);
            const auto entry = files::info(machine, bin);
            if (!entry)
                continue;  // this drive has no bin of that kind
            if (entry->kind != EntryKind::Folder)
                continue;  // a link or file of that name is nobody's bin
            const auto emptied = files::emptyFolder(machine, bin);
            if (!emptied || emptied->failed != 0)
                complete = false;
        }
    }
    return complete ? 0 : E_FAIL;
}

void SHUpdateRecycleBinIcon() {}

}  // namespace kx::platform
