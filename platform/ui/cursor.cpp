#include "platform/ui/cursor.hpp"

namespace kx::platform::ui {
namespace {}  // namespace

Cursor& cursor() {
    if (boundService<Cursor>() != nullptr)
        return *boundService<Cursor>();
    thread_local RecordingCursor recording;
    return recording;
}

}  // namespace kx::platform::ui
