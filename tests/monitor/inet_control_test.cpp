#include "monitor/inet_control.h"

#include <gtest/gtest.h>

#include <string>

#include "backends/sim/sim_platform.h"
#include "monitor/addresses.h"

namespace tovira {
namespace {

using sim::SimPlatform;
using sim::UrlScript;

TEST(InetControlTest, AFetchIsRefusedWhileOneIsRunningAndTheFirstStillEnds) {
    SimPlatform sim;
    sim.urls["http://a/"] = UrlScript{500, true, "first", false, 200};
    InetControl inet(sim);
    inet.URL = "http://a/";
    bool refused = false;
    sim.post(sim.now() + 100, [&] {
        EXPECT_TRUE(inet.StillExecuting());
        try {
            inet.OpenURL();
        } catch (const FetchError&) {
            refused = true;
        }
    });
    EXPECT_EQ(inet.OpenURL(), "first");
    EXPECT_TRUE(refused);
    EXPECT_EQ(sim.url_fetches.size(), 1u);  // the refused call started nothing
    EXPECT_FALSE(inet.StillExecuting());
}

// Whatever ends a fetch, nothing of its body stays behind until the next.
TEST(InetControlTest, AFailedFetchKeepsNothingOfItsBody) {
    struct Case {
        const char* name;
        UrlScript script;
        FetchLimits limits;
    } cases[] = {
        {"transfer failed", UrlScript{10, false, "partial", false, 200}, {}},
        {"over the cap",
         UrlScript{10, true, std::string(100, 'x'), false, 200},
         {60000, 50, false}},
        {"HTTP error", UrlScript{10, true, "error page", false, 500}, {60000, 1000, true}},
        {"time-out", UrlScript{10, true, "", true, 200}, {1000, 1000, false}},
    };
    for (const Case& c : cases) {
        SimPlatform sim;
        sim.urls["http://a/"] = c.script;
        InetControl inet(sim, c.limits);
        inet.URL = "http://a/";
        EXPECT_THROW(inet.OpenURL(), FetchError) << c.name;
        EXPECT_EQ(inet.held_bytes(), 0u) << c.name;
        EXPECT_EQ(sim.live_url_fetches, 0) << c.name;
    }
}

TEST(InetControlTest, TheTestDeadlineOptionTakesOnlyASaneNumber) {
    const struct {
        std::vector<std::string> args;
        long want;
    } cases[] = {
        {{"--test-fetch-deadline-ms", "2500"}, 2500},
        {{"--feed", "x", "--test-fetch-deadline-ms", "1"}, 1},
        {{"--test-fetch-deadline-ms", "0"}, 0},
        {{"--test-fetch-deadline-ms", "600001"}, 0},
        {{"--test-fetch-deadline-ms", "-5"}, 0},
        {{"--test-fetch-deadline-ms", "12a"}, 0},
        {{"--test-fetch-deadline-ms"}, 0},
        {{}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(test_fetch_deadline_ms(c.args), c.want);
}

}  // namespace
}  // namespace tovira
