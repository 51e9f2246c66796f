// The Timer control, armed on the thread's message loop.
#include "platform/ui/control_events.hpp"
#include "platform/ui/message_loop.hpp"

namespace kx::platform::ui {
using namespace detail;
// What the loop's callback reaches the timer through. The timer may be
// destroyed by its own event (a handler that unloads and drops the form);
// the callback's bookkeeping then lands here, not in freed memory.
struct Timer::Shared {
    Timer* owner = nullptr;
    bool firing = false;
};

Timer::Timer(std::string name) : Control(std::move(name)), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
}

Timer::~Timer() {
    shared_->owner = nullptr;
    disarm();
}

void Timer::setInterval(std::int32_t ms) {
    if (ms < 0)
        invalidValue();
    interval_ = ms;
    rearm();
}

void Timer::setEnabled(bool on) {
    Control::enabled = on;
    rearm();
}

void Timer::disarm() {
    if (id_ && !loopAlive_.expired())
        loop_->removeTimer(*id_);
    id_.reset();
}

void Timer::rearm() {
    disarm();
    if (!Control::enabled || interval_ <= 0)
        return;
    auto& loop = MessageLoop::current();
    loop_ = &loop;
    loopAlive_ = loop.lifetime();
    id_ = loop.addTimer(Millis(interval_), [shared = shared_] {
        // A flag written through a Control& does not re-arm, but it does
        // silence the timer.
        if (shared->owner == nullptr || shared->firing || !shared->owner->Control::enabled)
            return;
        auto handler = shared->owner->TimerEvent;
        if (!handler)
            return;
        shared->firing = true;
        struct Done {
            Shared& s;
            ~Done() { s.firing = false; }
        } done{*shared};
        handler();
    });
}

}  // namespace kx::platform::ui
