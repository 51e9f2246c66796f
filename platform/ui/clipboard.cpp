#include "platform/ui/clipboard.hpp"

namespace kx::platform::ui {
namespace {

Clipboard*& bound() {
    thread_local Clipboard* current = nullptr;
    return current;
}

}  // namespace

Clipboard& clipboard() {
    if (bound() != nullptr)
        return *bound();
    thread_local MemoryClipboard memory;
    return memory;
}

ClipboardScope::ClipboardScope(Clipboard& clipboard) : previous_(bound()) {
    bound() = &clipboard;
}
ClipboardScope::~ClipboardScope() {
    bound() = previous_;
}

}  // namespace kx::platform::ui
