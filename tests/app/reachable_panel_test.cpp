#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using ReachablePanelTest = SimTest;

const platform::Monitor kPrimary{{0, 0, 1920, 1040}, 15};
const platform::Monitor kRight{{1920, 0, 3840, 1080}, 15};
const platform::Monitor kBarOnTop{{0, 40, 1920, 1080}, 15};

std::string saved_at(const char* top, const char* left) {
    ConfigLines c;
    c[63] = top;
    c[64] = left;
    return c.text();
}

TEST_F(ReachablePanelTest, StartUpMovesAnUnreachableHomeAndClosingSavesIt) {
    struct Case {
        platform::Desktop desktop;
        const char *top, *left, *want_top, *want_left;
    } cases[] = {
        {{15, {kPrimary}}, " 60000 ", " 60000 ", " 7500 ", " 27510 "},
        {{15, {{{-1280, 0, 0, 1024}, 15}, kPrimary}}, " 750 ", "-15000 ", " 750 ", "-15000 "},
        {{15, {kBarOnTop}}, " 0 ", " 0 ", " 600 ", " 0 "},  // a saved 0, 0 is a place
    };
    for (const Case& c : cases) {
        sim.monitors = c.desktop;
        write_config(saved_at(c.top, c.left));
        start();
        EXPECT_EQ(saved_config(), saved_at(c.top, c.left)) << "not written for the rule's sake";
        form->Command5->click();
        EXPECT_EQ(saved_config(), saved_at(c.want_top, c.want_left));
        EXPECT_EQ(sim.window.left, form->homeleft);
    }
    // Without tq.cfg the panel's home is 0, 0 all the same; the window
    // stands below the task bar.
    sim.fs.files.clear();
    start();
    EXPECT_EQ(form->hometop, 0);
    EXPECT_EQ(sim.window.top, 600);
}

TEST_F(ReachablePanelTest, DisplayChangeMovesWindowAndHomeOnceSettledAndNotWhileMoving) {
    sim.monitors = {15, {kPrimary, kRight}};
    write_config(saved_at(" 4500 ", " 37500 "));
    start();
    form->window_moved(45000, 3000);  // dragged, still on the right monitor
    const platform::Millis t = sim.now();
    // The right monitor goes, in a burst of messages.
    sim.change_desktop(t + 100, {15, {kPrimary}});
    sim.change_desktop(t + 300, {15, {kPrimary}});
    sim.world(t + 700, [&] { sim.moving = true; });
    sim.run_until(t + 799);
    EXPECT_EQ(form->left(), 45000) << "not settled yet";
    sim.run_until(t + 2000);
    EXPECT_EQ(form->left(), 45000) << "the user is moving the window";
    EXPECT_EQ(form->homeleft, 37500);
    sim.world(t + 2100, [&] { sim.moving = false; });
    sim.run_until(t + 2700);
    EXPECT_EQ(sim.window.left, 27510);
    EXPECT_EQ(sim.window.top, 3000);
    form->Command3->click();
    EXPECT_EQ(sim.window.left, 27510);
    EXPECT_EQ(sim.window.top, 4500);
}

}  // namespace
}  // namespace tovira::testing
