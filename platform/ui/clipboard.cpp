#include "platform/ui/clipboard.hpp"

namespace kx::platform::ui {
namespace {}  // namespace

Clipboard& clipboard() {
    if (boundService<Clipboard>() != nullptr)
        return *boundService<Clipboard>();
    thread_local MemoryClipboard memory;
    return memory;
}

}  // namespace kx::platform::ui
