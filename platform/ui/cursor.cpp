#include "platform/ui/cursor.hpp"

namespace kx::platform::ui {
namespace {

Cursor*& bound() {
    thread_local Cursor* current = nullptr;
    return current;
}

}  // namespace

Cursor& cursor() {
    if (bound() != nullptr)
        return *bound();
    thread_local RecordingCursor recording;
    return recording;
}

CursorScope::CursorScope(Cursor& cursor) : previous_(bound()) {
    bound() = &cursor;
}
CursorScope::~CursorScope() {
    bound() = previous_;
}

}  // namespace kx::platform::ui
