#include "unprivileged.hpp"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kx::test {
namespace fs = std::filesystem;

UnprivilegedRun runUnprivileged(const fs::path& mustReach,
                                const std::function<std::string()>& work) {
    UnprivilegedRun result;
    int fds[2];
    if (::pipe(fds) != 0) {
        result.skipReason = std::string("pipe failed: ") + std::strerror(errno);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        result.skipReason = std::string("fork failed: ") + std::strerror(errno);
        return result;
    }
    if (pid == 0) {
        ::close(fds[0]);
        // Status byte first: 'R' ran, 'S' could not drop privileges.
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
                const std::string why =
                    std::string("S") + "cannot drop root: " + std::strerror(errno);
                (void)::write(fds[1], why.data(), why.size());
                ::_exit(0);
            }
        }
        if (::access(mustReach.c_str(), X_OK) != 0) {
            const std::string why = "S" + mustReach.string() +
                                    " cannot be reached without root: " + std::strerror(errno);
            (void)::write(fds[1], why.data(), why.size());
            ::_exit(0);
        }
        std::string out = "R";
        out += work();
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (text.empty()) {
        result.skipReason = "the child ended without an answer";
    } else if (text[0] == 'S') {
        result.skipReason = text.substr(1);
    } else {
        result.ran = true;
        result.output = text.substr(1);
    }
    return result;
}

void openUpForOthers(const fs::path& top) {
    std::error_code ec;
    const auto addRx = fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                       fs::perms::others_exec;
    fs::permissions(top, addRx, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(top, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink(ec))
            continue;
        if (it->is_directory(ec))
            fs::permissions(it->path(), addRx, fs::perm_options::add, ec);
    }
}

}  // namespace kx::test
