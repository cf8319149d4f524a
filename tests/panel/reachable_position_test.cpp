#include "panel/reachable_position.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace tovira {
namespace {

using platform::Monitor;

// Work areas in pixels at 15 twips to the pixel, where the panel view (1290
// x 8100 twips) is 86 x 540 pixels; at 10 (144 DPI) it is 129 x 810.
const Monitor kPrimary{{0, 0, 1920, 1040}, 15};  // task bar at the bottom
const Monitor kRight{{1920, 0, 3840, 1080}, 15};
const Monitor kLeft{{-1280, 0, 0, 1024}, 15};
const Monitor kAbove{{0, -1080, 1920, 0}, 15};
constexpr platform::Size kPanel{1290, 8100};

TEST(ReachablePosition, MovesOnlyWhatCannotBeReached) {
    struct Case {
        const char* what;
        std::vector<Monitor> monitors;
        PixelPoint at, want;
    } cases[] = {
        {"on the one monitor", {kPrimary}, {100, 200}, {100, 200}},
        {"over the task bar, top left above it", {kPrimary}, {100, 900}, {100, 900}},
        {"far beyond both edges", {kPrimary}, {60000, 60000}, {1834, 500}},
        {"only its bottom on the screen", {kPrimary}, {100, -500}, {100, 0}},
        {"first button across two monitors", {kPrimary, kRight}, {1890, 100}, {1890, 100}},
        {"second monitor gone", {kPrimary}, {2500, 300}, {1834, 300}},
        {"left of the primary", {kLeft, kPrimary}, {-1000, 50}, {-1000, 50}},
        {"left monitor gone", {kPrimary}, {-1000, 50}, {0, 50}},
        {"above the primary", {kAbove, kPrimary}, {200, -900}, {200, -900}},
        {"nearest is not the first", {kPrimary, kLeft}, {-5000, 100}, {-1280, 100}},
        {"overlapping two, the larger share", {kPrimary, kRight}, {1900, 1000}, {1920, 540}},
        {"taller than the work area", {{{0, 0, 1024, 500}, 15}}, {2000, 100}, {938, 0}},
        {"size at the monitor's scale", {{{0, 0, 1920, 1040}, 10}}, {4000, 100}, {1791, 100}},
        {"no monitor known", {}, {60000, 60000}, {60000, 60000}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reachable_position(c.at, kPanel, c.monitors), c.want) << c.what;
    }
}

TEST(ReachablePosition, TwipsComeBackExactWhenReachable) {
    constexpr float kMax = std::numeric_limits<float>::max();
    struct Case {
        float tpp, left, top, want_left, want_top;
    } cases[] = {
        {15, 1234.5f, -0.75f, 1234.5f, -0.75f},
        {10, 60000, 1500, 18340, 1500},  // positions at 144 DPI
        {15, kMax, -std::numeric_limits<float>::infinity(), 27510, 0},
    };
    for (const Case& c : cases) {
        const TwipsPoint got = reachable_place(c.left, c.top, kPanel, {c.tpp, {kPrimary}});
        EXPECT_EQ(got.left, c.want_left) << c.left;
        EXPECT_EQ(got.top, c.want_top) << c.top;
    }
}

}  // namespace
}  // namespace tovira
