#include "platform/event_gate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/sim/sim_platform.h"
#include "platform/platform.h"

namespace tovira::platform {
namespace {

using sim::SimPlatform;

struct CountingTimer : TimerSink {
    int ticks = 0;
    void on_timer_tick() override { ++ticks; }
};

TEST(EventGateTest, EventsOfAWaitComeAfterItInOrderFromTheLoopNotFromItsEnd) {
    SimPlatform sim;
    std::vector<std::string> log;
    const Millis t0 = sim.now();
    sim.at(t0 + 10, [&] { log.push_back("a"); });
    sim.at(t0 + 20, [&] { log.push_back("b"); });
    {
        EventGate::Hold hold(sim.gate());
        sim.run_until(t0 + 30);  // a wait that serves the loop
        EXPECT_TRUE(log.empty());
        EXPECT_EQ(sim.gate().held(), 2u);
    }
    // The handler that held goes on first.
    log.push_back("handler");
    sim.do_events();
    EXPECT_EQ(log, (std::vector<std::string>{"handler", "a", "b"}));
    EXPECT_EQ(sim.gate().held(), 0u);

    // An event that arrives while kept ones wait for the loop runs after them.
    {
        EventGate::Hold hold(sim.gate());
        sim.at(sim.now(), [&] { log.push_back("c"); });
        sim.do_events();
    }
    sim.gate().deliver([&] { log.push_back("d"); });
    EXPECT_EQ(log, (std::vector<std::string>{"handler", "a", "b", "c", "d"}));
}

TEST(EventGateTest, HoldsNestAndTicksAreKeptOncePerTimerAndDroppedWithTheirTimer) {
    SimPlatform sim;
    CountingTimer fast, slow;
    sim.start_timer(fast, 10);
    sim.start_timer(slow, 15);
    {
        EventGate::Hold outer(sim.gate());
        {
            EventGate::Hold inner(sim.gate());
            sim.run_for(100);
        }
        sim.run_for(100);
        EXPECT_EQ(fast.ticks, 0);
        EXPECT_EQ(sim.gate().held(), 2u);  // one each, like WM_TIMER
    }
    sim.do_events();
    EXPECT_EQ(fast.ticks, 1);
    EXPECT_EQ(slow.ticks, 1);

    {
        EventGate::Hold hold(sim.gate());
        sim.run_for(50);
        sim.stop_timer(slow);  // a stopped or restarted timer's kept tick goes
        sim.start_timer(fast, 10);
    }
    sim.do_events();
    EXPECT_EQ(fast.ticks, 1);
    EXPECT_EQ(slow.ticks, 1);
    sim.stop_timer(fast);
}

TEST(EventGateTest, AKeptEventThatWaitsItselfLetsTheRestRunInsideItsWait) {
    SimPlatform sim;
    std::vector<std::string> log;
    const Millis t0 = sim.now();
    // The first kept event waits a while serving the loop, like an update
    // waiting for its server; the second must not wait for its end.
    sim.at(t0 + 1, [&] {
        log.push_back("update begins");
        sim.run_until(sim.now() + 3000);
        log.push_back("update ends");
    });
    sim.at(t0 + 2, [&] { log.push_back("click at " + std::to_string(sim.now() - t0)); });
    {
        EventGate::Hold hold(sim.gate());
        sim.run_until(t0 + 600);
    }
    sim.run_for(5000);
    EXPECT_EQ(log, (std::vector<std::string>{"update begins", "click at 600", "update ends"}));
}

TEST(EventGateTest, TheEndOfTheSessionDeliversKeptEditsInsideAHoldAndDropsTheRest) {
    SimPlatform sim;
    std::vector<std::string> log;
    CountingTimer minute;
    sim.start_timer(minute, 10);
    EventGate::Hold hold(sim.gate());
    sim.gate().deliver([&] { log.push_back("edit 1"); }, EventKind::Edit);
    sim.gate().deliver([&] { log.push_back("update"); });
    sim.gate().deliver([&] { log.push_back("edit 2"); }, EventKind::Edit);
    sim.run_for(20);
    EXPECT_TRUE(log.empty());
    sim.gate().end_session();
    EXPECT_EQ(log, (std::vector<std::string>{"edit 1", "edit 2"}));
    EXPECT_EQ(minute.ticks, 0);
    EXPECT_EQ(sim.gate().held(), 0u);
    sim.stop_timer(minute);
}

// An edit's reaction may let pending events run (a name change lays the
// panel out): the kept click and update must still not run, nor any event
// that arrives after the session's end but an edit.
TEST(EventGateTest, AtTheEndOfTheSessionOnlyEditsRunWhateverTheirReactionsDo) {
    SimPlatform sim;
    std::vector<std::string> log;
    CountingTimer key_timer;
    sim.start_timer(key_timer, 10);
    {
        EventGate::Hold hold(sim.gate());
        sim.gate().deliver(
            [&] {
                log.push_back("edit");
                sim.do_events();
            },
            EventKind::Edit);
        sim.gate().deliver([&] { log.push_back("kept click"); });
        sim.gate().deliver([&] { log.push_back("kept update"); });
        sim.run_for(20);
    }
    // The wait is over and the delivery is posted when the session ends.
    sim.gate().end_session();
    sim.at(sim.now() + 5, [&] { log.push_back("later click"); });
    sim.gate().deliver([&] { log.push_back("later edit"); }, EventKind::Edit);
    sim.run_for(100);
    EXPECT_EQ(log, (std::vector<std::string>{"edit", "later edit"}));
    EXPECT_EQ(key_timer.ticks, 0);
    EXPECT_EQ(sim.gate().held(), 0u);
    sim.stop_timer(key_timer);
}

TEST(EventGateTest, AFailedPostLeavesNothingKeptForAnUnrelatedEvent) {
    SimPlatform sim;
    std::vector<Millis> ran;
    const Millis t0 = sim.now();
    {
        EventGate::Hold hold(sim.gate());
        sim.at(t0 + 5, [&] { ran.push_back(sim.now() - t0); });
        sim.run_until(t0 + 10);
        sim.failing_posts = 1;
    }
    // Nothing else happens until the next hold: the loop's next pass
    // delivers, and so does every later hold's release.
    sim.run_until(t0 + 20);
    EXPECT_EQ(ran, (std::vector<Millis>{10}));
    {
        EventGate::Hold hold(sim.gate());
        sim.at(t0 + 25, [&] { ran.push_back(sim.now() - t0); });
        sim.run_until(t0 + 30);
    }
    sim.run_until(t0 + 40);
    EXPECT_EQ(ran, (std::vector<Millis>{10, 30}));
}

TEST(ValidHostTest, BothSocketsRefuseTheSameHostsAtOnce) {
    for (const char* ok : {"status.ivao.aero", "a", "127.0.0.1", "x-y_z.aero", "WWW.IVAO.AERO"})
        EXPECT_TRUE(valid_host(ok)) << ok;
    for (const char* bad : {"", "/status.ivao.aero", "host:80", "a b", "h\xC3\xA4.aero", "::1"})
        EXPECT_FALSE(valid_host(bad)) << bad;
    EXPECT_FALSE(valid_host(std::string_view("a\0b", 3)));
    EXPECT_TRUE(valid_host(std::string(253, 'a')));
    EXPECT_FALSE(valid_host(std::string(254, 'a')));
}

}  // namespace
}  // namespace tovira::platform
