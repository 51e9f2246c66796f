// Timers and the message loop on a manual clock: when a timer fires, what
// restarts its count, that its event never re-enters itself, and that a
// failing callback neither escapes yield() nor stops the loop.
#include <gtest/gtest.h>

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

    ManualClock clock;
    ScriptedView view;
    ViewScope scope{view};
};

TEST_F(LoopTest, TimerFiresEveryIntervalWhileEnabled) {
    Timer timer("tmr");
    int fired = 0;
    timer.TimerEvent = [&] { ++fired; };
    // Enabled by default but silent without an interval.
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(timer.running());
    advance(10000);
    EXPECT_EQ(fired, 0);

    timer.setInterval(1000);
    advance(999);
    EXPECT_EQ(fired, 0);
    advance(1);
    EXPECT_EQ(fired, 1);
    advance(1000);
    EXPECT_EQ(fired, 2);

    timer.stop();
    advance(5000);
    EXPECT_EQ(fired, 2);
    EXPECT_FALSE(timer.running());

    // Interval 0 keeps it enabled but silent.
    timer.start();
    timer.setInterval(0);
    advance(5000);
    EXPECT_EQ(fired, 2);
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
    int fired = 0;
    timer.TimerEvent = [&] { ++fired; };
    timer.setInterval(1000);

    advance(600);
    timer.setInterval(1000);  // same interval, count starts over
    advance(900);
    EXPECT_EQ(fired, 0);
    advance(100);
    EXPECT_EQ(fired, 1);

    advance(600);
    timer.start();  // enabling an enabled timer starts over too
    advance(900);
    EXPECT_EQ(fired, 1);
    advance(100);
    EXPECT_EQ(fired, 2);

    advance(600);
    timer.stop();
    timer.start();
    advance(999);
    EXPECT_EQ(fired, 2);
    advance(1);
    EXPECT_EQ(fired, 3);

    // A shorter interval counts from the change, not from the last firing.
    advance(700);
    timer.setInterval(200);
    advance(199);
    EXPECT_EQ(fired, 3);
    advance(1);
    EXPECT_EQ(fired, 4);
}

TEST_F(LoopTest, TimerEventsNeitherReenterNorFireTwiceInNestedYields) {
    Timer timer("tmr");
    timer.setInterval(100);
    int depth = 0, maxDepth = 0, fired = 0;
    timer.TimerEvent = [&] {
        ++fired;
        maxDepth = std::max(maxDepth, ++depth);
        // A handler that waits with yields while its own interval passes.
        for (int i = 0; i < 5; ++i) advance(100);
        --depth;
    };
    advance(100);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(maxDepth, 1);
    advance(100);
    EXPECT_EQ(fired, 2);
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
    int fired = 0;
    timer->TimerEvent = [&] {
        ++fired;
        timer.reset();
        form.reset();  // the last owner goes while the event runs
    };
    advance(50);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(form, nullptr);
    advance(500);
    EXPECT_EQ(fired, 1);
}

TEST_F(LoopTest, FailingCallbacksAreReportedAndTheLoopGoesOn) {
    auto& loop = MessageLoop::current();
    std::vector<std::string> reports;
    loop.setErrorReporter([&](std::string_view message) { reports.emplace_back(message); });
    int polls = 0, fired = 0;
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
    advance(10);
    EXPECT_EQ(fired, 2);
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
