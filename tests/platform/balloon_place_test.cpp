#include "platform/balloon_place.h"

#include <gtest/gtest.h>

namespace tovira::platform {
namespace {

bool inside(const PixelRect& r, const PixelRect& work) {
    return r.left >= work.left && r.top >= work.top && r.right <= work.right &&
           r.bottom <= work.bottom;
}

bool overlaps(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Every place of the panel, on one or the second of two monitors: the
// balloon lies wholly inside the work area of the panel's monitor, off the
// panel where the work area leaves room, on the side named, at the control.
TEST(BalloonPlaceTest, TheBalloonLiesInsideThePanelsMonitorBesideThePanelAtItsControl) {
    const PixelRect first{0, 0, 1920, 1040};
    const PixelRect second{1920, 0, 3200, 984};  // right of the first, smaller
    struct Case {
        const char* name;
        PixelRect window, control, work;
        bool left_side;
        bool off_panel;
    };
    // clang-format off
    const Case cases[] = {
        {"panel at the left", {0, 0, 86, 540}, {4, 100, 82, 124}, first, false, true},
        {"panel at the right", {1834, 0, 1920, 540}, {1838, 100, 1916, 124}, first, true, true},
        {"right, one pixel too few", {1595, 0, 1681, 540}, {1599, 10, 1677, 30}, first, true, true},
        {"right, room exactly", {1594, 0, 1680, 540}, {1598, 10, 1676, 30}, first, false, true},
        {"second monitor, right", {3114, 0, 3200, 540}, {3118, 500, 3196, 524}, second, true, true},
        {"control at the bottom", {0, 500, 86, 1040}, {4, 1016, 82, 1040}, first, false, true},
        {"control at the top", {0, 0, 86, 540}, {4, 0, 82, 20}, first, false, true},
        {"editing view, wide", {0, 0, 1920, 540}, {300, 20, 400, 60}, first, false, false},
        {"Menu near the right", {1500, 200, 1920, 740}, {1700, 220, 1900, 260}, first, true, true},
    };
    // clang-format on
    const int width = 240, height = 60;
    for (const Case& c : cases) {
        const BalloonPlace p = place_balloon(c.window, c.control, width, height, c.work);
        EXPECT_TRUE(inside(p.rect, c.work)) << c.name;
        EXPECT_EQ(p.rect.right - p.rect.left, width) << c.name;
        EXPECT_EQ(p.rect.bottom - p.rect.top, height) << c.name;
        EXPECT_EQ(p.left_side, c.left_side) << c.name;
        if (c.off_panel) {
            EXPECT_FALSE(overlaps(p.rect, c.window)) << c.name;
        }
        // The stem at the window's edge on its side, level with the control.
        EXPECT_EQ(p.stem_x,
                  c.left_side ? c.window.left : std::min(c.window.right, c.work.right - 1))
            << c.name;
        EXPECT_GE(p.stem_y, c.control.top) << c.name;
        EXPECT_LT(p.stem_y, c.control.bottom) << c.name;
        EXPECT_GE(p.stem_y, p.rect.top) << c.name;
        EXPECT_LT(p.stem_y, p.rect.bottom) << c.name;
    }
}

// However the system draws the balloon about its stem's point (above it,
// below it, reaching over the window or off the screen), it ends wholly
// inside the work area, off the window on its side, moved no more than that.
TEST(BalloonPlaceTest, ADrawnBalloonSettlesInsideTheWorkAreaOffTheWindow) {
    const PixelRect work{0, 0, 1920, 1040};
    const PixelRect left_panel{0, 0, 86, 540}, right_panel{1834, 0, 1920, 540};
    struct Case {
        const char* name;
        PixelRect drawn, window;
        bool left_side;
        PixelRect settled;
    };
    const Case cases[] = {
        {"fits as drawn", {86, 80, 326, 140}, left_panel, false, {86, 80, 326, 140}},
        {"above the top edge", {86, -30, 326, 30}, left_panel, false, {86, 0, 326, 60}},
        {"below the task bar", {86, 1000, 326, 1060}, left_panel, false, {86, 980, 326, 1040}},
        {"stem indent over the panel", {66, 80, 306, 140}, left_panel, false, {86, 80, 326, 140}},
        {"off the right edge", {1920, 80, 2160, 140}, right_panel, true, {1594, 80, 1834, 140}},
        {"drawn rightwards", {1814, 80, 2054, 140}, right_panel, true, {1594, 80, 1834, 140}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(settle_balloon(c.drawn, c.window, c.left_side, work), c.settled) << c.name;
    }
}

}  // namespace
}  // namespace tovira::platform
