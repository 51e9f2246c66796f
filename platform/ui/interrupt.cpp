#include "platform/ui/interrupt.hpp"

#include <signal.h>

#include <atomic>
#include <cerrno>

#include "platform/browser/browser_options.hpp"

namespace kx::platform::ui {
namespace {

// Only a lock-free atomic may be touched from a signal handler.
std::atomic<bool> pending{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction previousAction {};
bool installed = false;

void onInterrupt(int) {
    const int savedErrno = errno;
    if (pending.exchange(true)) {
        // The first one was never taken: the engine is not yielding. Let the
        // signal do what it does by default, so Ctrl+C still ends the program.
        // The browsers run in process groups of their own, which the
        // terminal's signal does not reach.
        browser::endAllBrowserGroups();
        ::signal(SIGINT, SIG_DFL);
        ::raise(SIGINT);
    }
    errno = savedErrno;
}

}  // namespace

bool installInterruptHandler() {
    if (installed)
        return true;
    struct sigaction action {};
    action.sa_handler = &onInterrupt;
    sigemptyset(&action.sa_mask);
    // Blocking calls elsewhere (a prompt, a wait for a child) go on instead
    // of failing with EINTR; the engine sees the flag at its next yield.
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, &previousAction) != 0)
        return false;
    installed = true;
    return true;
}

void removeInterruptHandler() {
    if (!installed)
        return;
    ::sigaction(SIGINT, &previousAction, nullptr);
    installed = false;
}

void requestInterrupt() {
    pending.store(true);
}

bool takeInterrupt() {
    return pending.exchange(false);
}

}  // namespace kx::platform::ui
