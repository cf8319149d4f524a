#include "dispatch/click_balloons.h"

#include <string>
#include <vector>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::Millis;

class ClickBalloonsTest : public SimTest {};

// An older click's balloon never replaces a newer click's while that one is
// up; once it has gone, a late outcome is still told.
TEST_F(ClickBalloonsTest, AnOlderClicksBalloonNeverReplacesANewerOnes) {
    struct Show {
        Millis at;   // after the first show
        int click;   // 1 or 2 (both made before)
        bool shown;  // what the user gets to see
    };
    struct Case {
        const char* name;
        std::vector<Show> shows;
    };
    const Millis up = platform::kBalloonMs;
    const Case cases[] = {
        {"newer after older", {{0, 1, true}, {100, 2, true}}},
        {"older while newer is up", {{0, 2, true}, {1500, 1, false}}},
        {"older just before newer goes", {{0, 2, true}, {up - 1, 1, false}}},
        {"older once newer has gone", {{0, 2, true}, {up, 1, true}}},
        {"same click again", {{0, 2, true}, {10, 2, true}}},
        {"older twice, then newer", {{0, 1, true}, {10, 1, true}, {20, 2, true}, {30, 1, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        create();
        sim.balloons.clear();
        ClickBalloons& b = form->balloons;
        const ClickBalloons::Click first = b.new_click();
        b.new_click();
        const Millis t0 = sim.now();
        for (const Show& s : c.shows) {
            sim.run_until(t0 + s.at);
            const std::size_t before = sim.balloons.size();
            const bool told = b.show(first + s.click - 1, s.click, "outcome");
            EXPECT_EQ(told, s.shown) << "at " << s.at;
            EXPECT_EQ(sim.balloons.size() - before, s.shown ? 1u : 0u) << "at " << s.at;
            if (s.shown) {
                EXPECT_EQ(sim.balloons.back().control_id, form->c1[s.click]->id());
            }
        }
    }
}

}  // namespace
}  // namespace tovira::testing
