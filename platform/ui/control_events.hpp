#pragma once
// What the control kinds share inside this folder: raising the runtime's
// error for a bad property value and firing event handlers.
#include <utility>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"

namespace kx::platform::ui::detail {

[[noreturn]] inline void invalidValue() {
    throw RuntimeError{kInvalidPropertyValue, std::string(tr("Ungültiger Eigenschaftswert"))};
}

// Runs a handler that takes arguments with a copy of it (see Control::fire).
template <typename F, typename... Args>
void fireWith(const F& handler, Args&&... args) {
    if (handler) {
        auto copy = handler;
        copy(std::forward<Args>(args)...);
    }
}

}  // namespace kx::platform::ui::detail
