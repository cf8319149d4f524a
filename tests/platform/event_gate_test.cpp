#include "platform/event_gate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim_platform.h"

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

TEST(EventGateTest, FlushDeliversInsideAHoldForTheEndOfTheSession) {
    SimPlatform sim;
    int ran = 0;
    EventGate::Hold hold(sim.gate());
    sim.at(sim.now(), [&] { ++ran; });
    sim.do_events();
    EXPECT_EQ(ran, 0);
    sim.gate().flush();
    EXPECT_EQ(ran, 1);
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
