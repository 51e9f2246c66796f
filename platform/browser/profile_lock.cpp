#include "platform/browser/profile_lock.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

namespace kx::platform::browser {
namespace {

// The target of a link, empty when the path is no link.
std::string linkTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec)))
        return {};
    const auto target = std::filesystem::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

// The host name of this machine, as Chromium writes it into its lock.
std::string hostName() {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0)
        return {};
    return name.data();
}

bool processAlive(std::string_view digits) {
    long pid = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (ec != std::errc() || end != digits.data() + digits.size() || pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Another process holds a write lock on the file (fcntl, as Firefox takes it).
bool lockHeld(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool held = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

}  // namespace

bool firefoxProfileInUse(const std::filesystem::path& profileFolder) {
    // "lock" -> "<address>:+<pid>"
    const std::string target = linkTarget(profileFolder / "lock");
    if (const auto plus = target.rfind(":+");
        plus != std::string::npos && processAlive(std::string_view(target).substr(plus + 2)))
        return true;
    return lockHeld(profileFolder / ".parentlock");
}

bool chromiumUserDataInUse(const std::filesystem::path& userDataFolder) {
    // "SingletonLock" -> "<host>-<pid>"; a lock of another host cannot be
    // tested from here and counts as held.
    const std::string target = linkTarget(userDataFolder / "SingletonLock");
    const auto dash = target.rfind('-');
    if (dash == std::string::npos)
        return false;
    if (target.substr(0, dash) != hostName())
        return true;
    return processAlive(std::string_view(target).substr(dash + 1));
}

}  // namespace kx::platform::browser
