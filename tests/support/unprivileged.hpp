#pragma once
// Runs a piece of a test where file permissions really apply. Tests run as
// root in the build containers, and root reads any folder whatever its mode
// bits say; a child process that gives up root (uid/gid 65534) does not.
#include <filesystem>
#include <functional>
#include <string>

namespace kx::test {

struct UnprivilegedRun {
    bool ran = false;
    std::string output;      // what the work returned
    std::string skipReason;  // why it could not run, when !ran
};

/// Runs `work` in a forked child that cannot bypass permissions (when the
/// test runs as root it switches to uid/gid 65534 first) and answers the text
/// `work` returned. When the child cannot reach `mustReach` (a folder above
/// it is closed to other users, as in a chroot made with a private root), the
/// run is reported as not run, with the reason. The child ends with _exit: no destructors of the
/// parent's objects (fixtures, prefixes) run in it. Gtest assertions do not work in `work`; return
/// what the parent should check.
UnprivilegedRun runUnprivileged(const std::filesystem::path& mustReach,
                                const std::function<std::string()>& work);

/// Gives others read and search rights on `top` and every folder below it
/// (links not followed), so the unprivileged child can reach the tree.
void openUpForOthers(const std::filesystem::path& top);

}  // namespace kx::test
