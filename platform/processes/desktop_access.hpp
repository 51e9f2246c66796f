#pragma once
// How the Win32 window calls reach the calling thread's desktop.
#include <unistd.h>

#include <cstdint>
#include <exception>

#include "platform/processes/desktop.hpp"

namespace kx::platform::detail {

/// The Linux id of the calling thread, which a window records as its owner.
inline std::int64_t callingThreadId() {
    return static_cast<std::int64_t>(::gettid());
}

// The Win32 calls answer failure rather than throw: the desktop is another
// program's business, and a busy or broken table must not take us down.
template <typename T, typename F>
T onDesktop(T failed, F&& work) {
    try {
        const auto desktop = currentDesktop();
        if (!desktop)
            return failed;
        return work(*desktop);
    } catch (const std::exception&) {
        return failed;
    }
}

}  // namespace kx::platform::detail
