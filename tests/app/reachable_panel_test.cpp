#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using ReachablePanelTest = SimTest;

const platform::Monitor kPrimary{{0, 0, 1920, 1040}, 15};
const platform::Monitor kRight{{1920, 0, 3840, 1080}, 15};
const platform::Monitor kLeft{{-1280, 0, 0, 1024}, 15};
const platform::Monitor kBarOnTop{{0, 40, 1920, 1080}, 15};

std::string saved_at(const char* top, const char* left) {
    ConfigLines c;
    c[63] = top;
    c[64] = left;
    return c.text();
}

TEST_F(ReachablePanelTest, StartUpMovesOnlyAnUnreachableHome) {
    struct Case {
        const char* what;
        platform::Desktop desktop;
        const char *top, *left;            // as saved
        const char *want_top, *want_left;  // where the panel opens, as saved at close
    } cases[] = {
        // The panel (86 x 540 pixels) comes to the screen's right and bottom edges.
        {"far beyond the screen", {15, {kPrimary}}, " 60000 ", " 60000 ", " 7500 ", " 27510 "},
        {"left of the primary", {15, {kLeft, kPrimary}}, " 750 ", "-15000 ", " 750 ", "-15000 "},
        {"second monitor gone", {15, {kPrimary}}, " 750 ", " 37500 ", " 750 ", " 27510 "},
        {"on the second monitor", {15, {kPrimary, kRight}}, " 750 ", " 37500 ", " 750 ", " 37500 "},
        // A saved 0, 0 is a saved place like any other.
        {"saved under a task bar at the top", {15, {kBarOnTop}}, " 0 ", " 0 ", " 600 ", " 0 "},
    };
    for (const Case& c : cases) {
        sim.monitors = c.desktop;
        write_config(saved_at(c.top, c.left));
        start();
        const std::string at = saved_at(c.want_top, c.want_left);
        // Nothing is written for the rule's sake; closing saves the home.
        EXPECT_EQ(saved_config(), saved_at(c.top, c.left)) << c.what;
        form->Command5->click();
        EXPECT_EQ(saved_config(), at) << c.what;
        EXPECT_EQ(sim.window.left, form->homeleft) << c.what;
        EXPECT_EQ(sim.window.top, form->hometop) << c.what;
    }
}

TEST_F(ReachablePanelTest, FirstStartStaysAtTheOriginUnderATopTaskBar) {
    sim.monitors = {15, {kBarOnTop}};
    start();
    EXPECT_EQ(sim.window.left, 0);
    EXPECT_EQ(sim.window.top, 0);
}

TEST_F(ReachablePanelTest, DisplayChangeMovesWindowAndHomeOnceSettledAndNotWhileMoving) {
    sim.monitors = {15, {kPrimary, kRight}};
    write_config(saved_at(" 4500 ", " 37500 "));
    start();
    form->window_moved(45000, 3000);  // dragged, still on the right monitor
    const platform::Millis t = sim.now();
    // The right monitor goes; a burst of messages follows.
    sim.change_desktop(t + 100, {15, {kPrimary}});
    sim.change_desktop(t + 300, {15, {kPrimary}});
    sim.world(t + 400, [&] { sim.moving = true; });
    sim.run_until(t + 799);
    EXPECT_EQ(form->left(), 45000) << "the burst has not settled";
    sim.run_until(t + 2000);
    EXPECT_EQ(form->left(), 45000) << "the user is moving the window";
    EXPECT_EQ(form->homeleft, 37500);
    sim.world(t + 2100, [&] { sim.moving = false; });
    sim.run_until(t + 2700);
    EXPECT_EQ(sim.window.left, 27510);
    EXPECT_EQ(sim.window.top, 3000);
    EXPECT_EQ(form->homeleft, 27510);
    EXPECT_EQ(form->hometop, 4500);
    form->Command3->click();
    EXPECT_EQ(sim.window.top, 4500);
    // A change that leaves everything reachable moves nothing.
    form->window_moved(1500, 1500);
    sim.change_desktop(sim.now() + 10, {15, {kLeft, kPrimary}});
    sim.run_for(1000);
    EXPECT_EQ(form->left(), 1500);
    EXPECT_EQ(form->homeleft, 27510);
}

}  // namespace
}  // namespace tovira::testing
