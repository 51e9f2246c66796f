#include "platform/shell.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <string_view>

extern char** environ;

namespace kx::platform {
namespace {

Shell*& bound() {
    thread_local Shell* current = nullptr;
    return current;
}

bool isWebAddress(std::string_view file) {
    return file.starts_with("http://") || file.starts_with("https://");
}

}  // namespace

std::intptr_t DesktopShell::shellExecute(std::int32_t, const std::string& verb,
                                         const std::string& file, const std::string&,
                                         const std::string&, std::int32_t) {
    if ((verb != "open" && !verb.empty()) || !isWebAddress(file))
        return SE_ERR_NOASSOC;
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

std::intptr_t RecordingShell::shellExecute(std::int32_t owner, const std::string& verb,
                                           const std::string& file, const std::string& parameters,
                                           const std::string& directory, std::int32_t showCommand) {
    calls.push_back({owner, verb, file, parameters, directory, showCommand});
    return 42;
}

Shell& shell() {
    if (bound() != nullptr)
        return *bound();
    thread_local DesktopShell desktop;
    return desktop;
}

ShellScope::ShellScope(Shell& s) : previous_(bound()) {
    bound() = &s;
}
ShellScope::~ShellScope() {
    bound() = previous_;
}

}  // namespace kx::platform
