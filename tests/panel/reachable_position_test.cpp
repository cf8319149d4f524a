#include "panel/reachable_position.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace tovira {
namespace {

using platform::Monitor;

// Work areas in pixels, 15 twips to the pixel unless said: the panel view
// (1290 x 8100 twips) is then 86 x 540 pixels.
const Monitor kPrimary{{0, 0, 1920, 1040}, 15};  // task bar at the bottom
const Monitor kRight{{1920, 0, 3840, 1080}, 15};
const Monitor kLeft{{-1280, 0, 0, 1024}, 15};
const Monitor kAbove{{0, -1080, 1920, 0}, 15};
const Monitor kSmall{{0, 0, 1024, 500}, 15};
const Monitor kSharp{{0, 0, 1920, 1040}, 10};  // 144 DPI: the panel is 129 x 810
constexpr platform::Size kPanel{1290, 8100};

TEST(ReachablePosition, MovesOnlyWhatCannotBeReached) {
    struct Case {
        const char* what;
        std::vector<Monitor> monitors;
        PixelPoint at, want;
    } cases[] = {
        {"one monitor, on it", {kPrimary}, {100, 200}, {100, 200}},
        {"over the task bar, top left above it", {kPrimary}, {100, 900}, {100, 900}},
        {"top left on the task bar", {kPrimary}, {100, 1000}, {100, 500}},
        {"right of the screen", {kPrimary}, {4000, 100}, {1834, 100}},
        {"far beyond both edges", {kPrimary}, {60000, 60000}, {1834, 500}},
        {"only its bottom on the screen", {kPrimary}, {100, -500}, {100, 0}},
        {"sticking out at the right", {kPrimary}, {1860, 100}, {1860, 100}},
        {"on the second monitor", {kPrimary, kRight}, {2500, 300}, {2500, 300}},
        {"across two monitors", {kPrimary, kRight}, {1850, 100}, {1850, 100}},
        {"first button across two monitors", {kPrimary, kRight}, {1890, 100}, {1890, 100}},
        {"second monitor gone", {kPrimary}, {2500, 300}, {1834, 300}},
        {"left of the primary", {kLeft, kPrimary}, {-1000, 50}, {-1000, 50}},
        {"left monitor gone", {kPrimary}, {-1000, 50}, {0, 50}},
        {"above the primary", {kAbove, kPrimary}, {200, -900}, {200, -900}},
        {"monitor above gone", {kPrimary}, {200, -900}, {200, 0}},
        {"nearest is the left one", {kPrimary, kLeft}, {-5000, 100}, {-1280, 100}},
        {"nearest is the primary", {kLeft, kPrimary}, {5000, 100}, {1834, 100}},
        {"overlapping two, the larger share", {kPrimary, kRight}, {1900, 1000}, {1920, 540}},
        {"taller than the work area", {kSmall}, {2000, 100}, {938, 0}},
        {"size at the monitor's scale", {kSharp}, {4000, 100}, {1791, 100}},
        {"no monitor known", {}, {60000, 60000}, {60000, 60000}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reachable_position(c.at, kPanel, c.monitors), c.want) << c.what;
    }
}

TEST(ReachablePosition, TwipsComeBackExactWhenReachable) {
    struct Case {
        const char* what;
        platform::Desktop desktop;
        float left, top, want_left, want_top;
    } cases[] = {
        {"fractions kept", {15, {kPrimary}}, 1234.5f, -0.75f, 1234.5f, -0.75f},
        {"negative, on the left monitor", {15, {kLeft, kPrimary}}, -15000, 750, -15000, 750},
        {"beyond the screen", {15, {kPrimary}}, 60000, 1500, 27510, 1500},
        {"system scale 144 DPI", {10, {kPrimary}}, 60000, 1500, 18340, 1500},
        {"beyond any number",
         {15, {kPrimary}},
         std::numeric_limits<float>::max(),
         -std::numeric_limits<float>::infinity(),
         27510,
         0},
    };
    for (const Case& c : cases) {
        const TwipsPoint got = reachable_place(c.left, c.top, kPanel, c.desktop);
        EXPECT_EQ(got.left, c.want_left) << c.what;
        EXPECT_EQ(got.top, c.want_top) << c.what;
    }
}

}  // namespace
}  // namespace tovira
