#pragma once
// The thread's message loop: one place where timers, socket events and the
// view's pending events run, and where the clock lives. Long operations call
// yield() between steps (the old DoEvents) and sleep() for explicit pauses.
//
// The clock is injectable: a test binds a ManualClock and the loop's time
// only moves when the test (or a sleep) moves it, so timer behaviour is
// tested without wall-clock waits.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace kx::platform::ui {

using Millis = std::chrono::milliseconds;

class Clock {
  public:
    virtual ~Clock() = default;
    /// Milliseconds since some fixed start (GetTickCount).
    virtual Millis now() const = 0;
    /// Lets `duration` pass.
    virtual void sleep(Millis duration) = 0;
};

/// The machine's monotonic clock.
class SteadyClock final : public Clock {
  public:
    Millis now() const override;
    void sleep(Millis duration) override;
};

/// A clock that moves only when told to (or slept on): sleeping advances it
/// at once.
class ManualClock final : public Clock {
  public:
    Millis now() const override { return now_; }
    void sleep(Millis duration) override { now_ += duration; }
    void advance(Millis duration) { now_ += duration; }

  private:
    Millis now_{1000};
};

using TimerId = std::uint32_t;

class MessageLoop {
  public:
    /// The calling thread's loop.
    static MessageLoop& current();

    /// Runs what is due once: the registered event sources (sockets, the
    /// interrupt check), due timers and the thread's view's pending events.
    /// Never blocks and never throws: an error escaping a callback has no
    /// caller to go to, so it goes to the error reporter and the loop goes on.
    void yield();

    /// Sleeps on the loop's clock without running events (Sleep).
    void sleep(Millis duration);

    /// GetTickCount on the loop's clock.
    Millis now() const;

    /// Replaces the clock (null restores the steady clock); for tests.
    void setClock(Clock* clock);
    Clock& clock() const;

    /// A timer that fires `callback` from yield() every `interval` after it is
    /// started; it stays registered until removed.
    TimerId addTimer(Millis interval, std::function<void()> callback);
    void removeTimer(TimerId id);
    /// True while the timer is registered.
    bool hasTimer(TimerId id) const;

    /// Something yield() polls each time (sockets, a view's event queue, the
    /// interrupt flag). Answers an id for removeSource.
    using SourceId = std::uint32_t;
    SourceId addSource(std::function<void()> poll);
    void removeSource(SourceId id);

    /// Where errors escaping callbacks are reported (null restores the
    /// default, a line on standard error).
    void setErrorReporter(std::function<void(std::string_view message)> reporter);

    /// Expires when the thread's loop is gone; objects that may outlive it
    /// (a form kept by a thread-local holder) check it before unregistering.
    std::weak_ptr<void> lifetime() const { return state_; }

  private:
    MessageLoop();
    struct State;
    std::shared_ptr<State> state_;
};

inline void yield() {
    MessageLoop::current().yield();
}

}  // namespace kx::platform::ui
