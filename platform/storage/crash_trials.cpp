#include "platform/storage/crash_trials.hpp"

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace kx::platform::storage {
namespace {

constexpr const char* kVariable = "KOLVANEX_KILL_AFTER_WRITES";

std::atomic<long> writesLeft{0};

// The system calls the unix file layer of SQLite writes with; whichever
// this build of SQLite uses is replaced, the others are left as they are.
using WriteFn = ssize_t (*)(int, const void*, size_t);
using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);
using Pwrite64Fn = ssize_t (*)(int, const void*, size_t, off64_t);
WriteFn realWrite = nullptr;
PwriteFn realPwrite = nullptr;
Pwrite64Fn realPwrite64 = nullptr;

void countWrite() {
    if (writesLeft.fetch_sub(1) == 1)
        ::kill(::getpid(), SIGKILL);
}

ssize_t trialWrite(int fd, const void* data, size_t size) {
    countWrite();
    return realWrite(fd, data, size);
}
ssize_t trialPwrite(int fd, const void* data, size_t size, off_t at) {
    countWrite();
    return realPwrite(fd, data, size, at);
}
ssize_t trialPwrite64(int fd, const void* data, size_t size, off64_t at) {
    countWrite();
    return realPwrite64(fd, data, size, at);
}

template <typename Fn>
void replace(sqlite3_vfs* vfs, const char* name, Fn& real, Fn trial) {
    if (const auto found = vfs->xGetSystemCall(vfs, name)) {
        real = reinterpret_cast<Fn>(found);
        vfs->xSetSystemCall(vfs, name, reinterpret_cast<sqlite3_syscall_ptr>(trial));
    }
}

}  // namespace

void armCrashTrialFromEnvironment() {
    static std::once_flag once;
    std::call_once(once, [] {
        const char* value = std::getenv(kVariable);
        if (value == nullptr || *value == '\0')
            return;
        const long writes = std::strtol(value, nullptr, 10);
        sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
        if (writes <= 0 || vfs == nullptr || vfs->iVersion < 3)
            return;
        writesLeft = writes;
        replace(vfs, "write", realWrite, trialWrite);
        replace(vfs, "pwrite", realPwrite, trialPwrite);
        replace(vfs, "pwrite64", realPwrite64, trialPwrite64);
    });
}

}  // namespace kx::platform::storage
