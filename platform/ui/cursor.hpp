#pragma once
// The mouse pointer the application shows (Screen.MousePointer): the
// hourglass while the engine is busy, the normal pointer otherwise. Each host
// binds the implementation that fits it to its thread; the default only
// records, which is all a console needs and what tests look at.
#include <cstdint>
#include <vector>
#include "platform/runtime/thread_binding.hpp"

namespace kx::platform::ui {

enum class MousePointer : std::int16_t {
    Default = 0,  // vbDefault / vbNormal
    Arrow = 1,
    Hourglass = 11,
    ArrowHourglass = 13,  // working in the background; the user may go on
};

class Cursor {
  public:
    virtual ~Cursor() = default;
    virtual void set(MousePointer pointer) = 0;
    virtual MousePointer current() const = 0;
};

/// Keeps the pointer and every change made to it.
class RecordingCursor final : public Cursor {
  public:
    void set(MousePointer pointer) override {
        current_ = pointer;
        history.push_back(pointer);
    }
    MousePointer current() const override { return current_; }
    std::vector<MousePointer> history;

  private:
    MousePointer current_ = MousePointer::Default;
};

/// The cursor bound to the calling thread; a RecordingCursor of the thread
/// when none is bound.
Cursor& cursor();

using CursorScope = BindingScope<Cursor>;

/// The hourglass for a scope; the normal pointer afterwards, also when the
/// work in between fails.
class HourglassCursor {
  public:
    HourglassCursor() { cursor().set(MousePointer::Hourglass); }
    ~HourglassCursor() { cursor().set(MousePointer::Default); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

}  // namespace kx::platform::ui
