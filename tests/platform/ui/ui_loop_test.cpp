// Timers and the message loop on a manual clock: when a timer fires, what
// restarts its count, that its event never re-enters itself, and that a
// failing callback neither escapes yield() nor stops the loop.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/variant.hpp"
#include "platform/ui/controls.hpp"
#include "platform/ui/message_loop.hpp"
#include "platform/ui/view.hpp"

namespace kx::platform::ui {
namespace {

class LoopTest : public ::testing::Test {
  protected:
    void SetUp() override { MessageLoop::current().setClock(&clock); }
    void TearDown() override {
        MessageLoop::current().setClock(nullptr);
        MessageLoop::current().setErrorReporter(nullptr);
    }
    void advance(int ms) {
        clock.advance(Millis(ms));
        yield();
    }
    // Lets `ms` pass and answers how often the counting timer has fired so far.
    int firedAfter(int ms) {
        advance(ms);
        return fired;
    }

    ManualClock clock;
    ScriptedView view;
    ViewScope scope{view};
    int fired = 0;
};

TEST_F(LoopTest, TimerFiresEveryIntervalWhileEnabled) {
    Timer timer("tmr");
    timer.TimerEvent = [&] { ++fired; };
    // Enabled by default but silent without an interval.
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(timer.running());
    EXPECT_EQ(firedAfter(10000), 0);

    timer.setInterval(1000);
    EXPECT_EQ(firedAfter(999), 0);
    EXPECT_EQ(firedAfter(1), 1);
    EXPECT_EQ(firedAfter(1000), 2);

    timer.stop();
    EXPECT_EQ(firedAfter(5000), 2);
    EXPECT_FALSE(timer.running());

    // Interval 0 keeps it enabled but silent.
    timer.start();
    timer.setInterval(0);
    EXPECT_EQ(firedAfter(5000), 2);
    EXPECT_TRUE(timer.isEnabled());

    try {
        timer.setInterval(-1);
        ADD_FAILURE() << "a negative interval was taken";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number, kInvalidPropertyValue);
    }
    EXPECT_EQ(timer.interval(), 0);
}

TEST_F(LoopTest, EnablingDisablingAndNewIntervalsRestartTheCount) {
    Timer timer("tmr");
    timer.TimerEvent = [&] { ++fired; };
    timer.setInterval(1000);
    // 600 ms into the count, each restart makes the timer wait its whole interval again.
    struct Case {
        const char* restart;
        std::function<void()> act;
        int interval;
    };
    const Case cases[] = {
        {"same interval again", [&] { timer.setInterval(1000); }, 1000},
        {"enabling an enabled timer", [&] { timer.start(); }, 1000},
        {"disabled and enabled",
         [&] {
             timer.stop();
             timer.start();
         },
         1000},
        // A shorter interval counts from the change, not from the last firing.
        {"shorter interval", [&] { timer.setInterval(200); }, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.restart);
        const int before = fired;
        advance(600);
        c.act();
        EXPECT_EQ(firedAfter(c.interval - 1), before);
        EXPECT_EQ(firedAfter(1), before + 1);
    }
}

TEST_F(LoopTest, TimerEventsNeitherReenterNorFireTwiceInNestedYields) {
    Timer timer("tmr");
    timer.setInterval(100);
    int depth = 0, maxDepth = 0;
    timer.TimerEvent = [&] {
        ++fired;
        maxDepth = std::max(maxDepth, ++depth);
        // A handler that waits with yields while its own interval passes.
        for (int i = 0; i < 5; ++i) advance(100);
        --depth;
    };
    EXPECT_EQ(firedAfter(100), 1);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(firedAfter(100), 2);
    timer.stop();

    // Nested yields do not fire a due timer twice.
    auto& loop = MessageLoop::current();
    int first = 0, second = 0;
    const auto a = loop.addTimer(Millis(100), [&] {
        ++first;
        loop.yield();  // runs the other due timer from inside
    });
    const auto b = loop.addTimer(Millis(100), [&] { ++second; });
    advance(100);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    loop.removeTimer(a);
    loop.removeTimer(b);
    EXPECT_FALSE(loop.hasTimer(a));
}

TEST_F(LoopTest, ATimerMayDestroyItselfInItsOwnEvent) {
    auto form = std::make_unique<Form>("f");
    auto timer = form->add<Timer>("tmr");
    timer->setInterval(50);
    timer->TimerEvent = [&] {
        ++fired;
        timer.reset();
        form.reset();  // the last owner goes while the event runs
    };
    EXPECT_EQ(firedAfter(50), 1);
    EXPECT_EQ(form, nullptr);
    EXPECT_EQ(firedAfter(500), 1);
}

TEST_F(LoopTest, FailingCallbacksAreReportedAndTheLoopGoesOn) {
    auto& loop = MessageLoop::current();
    std::vector<std::string> reports;
    loop.setErrorReporter([&](std::string_view message) { reports.emplace_back(message); });
    int polls = 0;
    const auto bad = loop.addSource([] { throw RuntimeError{5, "Invalid procedure call"}; });
    const auto good = loop.addSource([&] { ++polls; });
    Timer timer("tmr");
    timer.setInterval(10);
    timer.TimerEvent = [&] {
        ++fired;
        throw std::runtime_error("disk gone");
    };
    view.post([] { throw std::runtime_error("view broke"); });

    EXPECT_NO_THROW(advance(10));
    EXPECT_EQ(polls, 1);
    EXPECT_EQ(fired, 1);
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[0].find("Invalid procedure call (5)"), std::string::npos);
    EXPECT_NE(reports[1].find("disk gone"), std::string::npos);
    EXPECT_NE(reports[2].find("view broke"), std::string::npos);

    // The failed timer is not stuck in its "firing" state.
    EXPECT_EQ(firedAfter(10), 2);
    loop.removeSource(bad);
    loop.removeSource(good);
}

TEST_F(LoopTest, ScriptedViewDeliversPostedActionsAtTheNextYield) {
    std::vector<int> order;
    // An action posted while pumping waits for the next pump.
    view.post([&] {
        order.push_back(1);
        view.post([&] { order.push_back(3); });
    });
    view.post([&] { order.push_back(2); });
    EXPECT_EQ(view.pendingActions(), 2u);
    yield();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(view.pendingActions(), 1u);
    yield();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

    // An action that yields lets what waits behind it happen, in order, as
    // a click lands during DoEvents; nothing runs twice.
    order.clear();
    view.post([&] {
        order.push_back(1);
        yield();
        order.push_back(10);
    });
    view.post([&] { order.push_back(2); });
    yield();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 10}));
    EXPECT_EQ(view.pendingActions(), 0u);
}

}  // namespace
}  // namespace kx::platform::ui
