#include "platform/ui/message_loop.hpp"

#include <map>
#include <thread>
#include <vector>

namespace kx::platform::ui {

Millis SteadyClock::now() const {
    return std::chrono::duration_cast<Millis>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::sleep(Millis duration) { std::this_thread::sleep_for(duration); }

struct MessageLoop::State {
    SteadyClock steady;
    Clock* clock = &steady;
    struct Timer {
        Millis interval;
        Millis due;
        std::function<void()> callback;
    };
    std::map<TimerId, Timer> timers;
    TimerId nextTimer = 1;
    std::map<SourceId, std::function<void()>> sources;
    SourceId nextSource = 1;
};

MessageLoop::MessageLoop() : state_(std::make_shared<State>()) {}

MessageLoop& MessageLoop::current() {
    thread_local MessageLoop loop;
    return loop;
}

void MessageLoop::yield() {
    // Callbacks may add or remove timers and sources: work on copies of the
    // ids and look each one up again before running it.
    std::vector<SourceId> sources;
    for (const auto& [id, poll] : state_->sources) sources.push_back(id);
    for (const auto id : sources) {
        const auto it = state_->sources.find(id);
        if (it != state_->sources.end()) {
            auto poll = it->second;  // keep it alive while it runs
            poll();
        }
    }
    const Millis now = state_->clock->now();
    std::vector<TimerId> due;
    for (const auto& [id, timer] : state_->timers) {
        if (timer.due <= now) due.push_back(id);
    }
    for (const auto id : due) {
        const auto it = state_->timers.find(id);
        if (it == state_->timers.end()) continue;
        it->second.due = now + it->second.interval;
        auto callback = it->second.callback;
        callback();
    }
}

void MessageLoop::sleep(Millis duration) { state_->clock->sleep(duration); }
Millis MessageLoop::now() const { return state_->clock->now(); }
void MessageLoop::setClock(Clock* clock) { state_->clock = clock ? clock : &state_->steady; }
Clock& MessageLoop::clock() const { return *state_->clock; }

TimerId MessageLoop::addTimer(Millis interval, std::function<void()> callback) {
    const TimerId id = state_->nextTimer++;
    state_->timers[id] = {interval, state_->clock->now() + interval, std::move(callback)};
    return id;
}

void MessageLoop::removeTimer(TimerId id) { state_->timers.erase(id); }

MessageLoop::SourceId MessageLoop::addSource(std::function<void()> poll) {
    const SourceId id = state_->nextSource++;
    state_->sources[id] = std::move(poll);
    return id;
}

void MessageLoop::removeSource(SourceId id) { state_->sources.erase(id); }

}  // namespace kx::platform::ui
