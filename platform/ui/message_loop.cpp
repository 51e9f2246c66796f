#include "platform/ui/message_loop.hpp"

#include <exception>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/translation.hpp"
#include "platform/runtime/variant.hpp"
#include "platform/ui/view.hpp"

namespace kx::platform::ui {

Millis SteadyClock::now() const {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::sleep(Millis duration) {
    std::this_thread::sleep_for(duration);
}

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
    std::function<void(std::string_view)> reporter;
};

namespace {

// Runs one callback of the loop. Nothing above yield() could handle its
// failure (yield is called from anywhere), so the failure is reported and
// the loop goes on with the next callback.
// `failed` is a marked text whose place {1} takes the failure.
template <typename F>
void dispatch(const std::function<void(std::string_view)>& reporter, std::string_view failed,
              F&& callback) {
    std::string message;
    try {
        callback();
        return;
    } catch (const RuntimeError& e) {
        message = trf(failed, {e.description + " (" + std::to_string(e.number) + ")"});
    } catch (const std::exception& e) {
        message = trf(failed, {e.what()});
    }
    if (reporter) {
        reporter(message);
    } else {
        std::cerr << "kolvanex: " << message << "\n";
    }
}

}  // namespace

MessageLoop::MessageLoop() : state_(std::make_shared<State>()) {}

MessageLoop& MessageLoop::current() {
    thread_local MessageLoop loop;
    return loop;
}

void MessageLoop::yield() {
    // The state stays alive while callbacks run, whatever they do.
    const auto state = state_;
    // Callbacks may add or remove timers and sources, and may yield again:
    // work on copies of the ids and look each one up again before running it.
    std::vector<SourceId> sources;
    for (const auto& [id, poll] : state->sources) sources.push_back(id);
    for (const auto id : sources) {
        const auto it = state->sources.find(id);
        if (it == state->sources.end())
            continue;
        auto poll = it->second;  // keep it alive while it runs
        dispatch(state->reporter, trMark("eine Ereignisquelle ist fehlgeschlagen: {1}"), poll);
    }
    const Millis now = state->clock->now();
    std::vector<TimerId> due;
    for (const auto& [id, timer] : state->timers) {
        if (timer.due <= now)
            due.push_back(id);
    }
    for (const auto id : due) {
        const auto it = state->timers.find(id);
        // A nested yield may have run (and re-armed) it meanwhile.
        if (it == state->timers.end() || it->second.due > now)
            continue;
        it->second.due = now + it->second.interval;
        auto callback = it->second.callback;
        dispatch(state->reporter, trMark("ein Zeitgeberereignis ist fehlgeschlagen: {1}"),
                 callback);
    }
    dispatch(state->reporter, trMark("ein Fensterereignis ist fehlgeschlagen: {1}"),
             [] { view().pumpEvents(); });
}

void MessageLoop::sleep(Millis duration) {
    state_->clock->sleep(duration);
}
Millis MessageLoop::now() const {
    return state_->clock->now();
}
void MessageLoop::setClock(Clock* clock) {
    state_->clock = clock ? clock : &state_->steady;
}
Clock& MessageLoop::clock() const {
    return *state_->clock;
}

TimerId MessageLoop::addTimer(Millis interval, std::function<void()> callback) {
    const TimerId id = state_->nextTimer++;
    state_->timers[id] = {interval, state_->clock->now() + interval, std::move(callback)};
    return id;
}

void MessageLoop::removeTimer(TimerId id) {
    state_->timers.erase(id);
}

bool MessageLoop::hasTimer(TimerId id) const {
    return state_->timers.contains(id);
}

MessageLoop::SourceId MessageLoop::addSource(std::function<void()> poll) {
    const SourceId id = state_->nextSource++;
    state_->sources[id] = std::move(poll);
    return id;
}

void MessageLoop::removeSource(SourceId id) {
    state_->sources.erase(id);
}

void MessageLoop::setErrorReporter(std::function<void(std::string_view message)> reporter) {
    state_->reporter = std::move(reporter);
}

}  // namespace kx::platform::ui
