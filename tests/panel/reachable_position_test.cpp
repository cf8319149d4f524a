#include "panel/reachable_position.h"

#include <gtest/gtest.h>

#include <cmath>
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

namespace tovira {
namespace {

// Twips per pixel at 125 % and 200 %; the panel view is 675 and 1080 pixels
// high there, the editing view 683 and 1093 wide.
constexpr float k125 = 12, k200 = 7.5f;

TEST(PlaceOnWorkArea, MovedWhollyOntoItsMonitorNeverResized) {
    const platform::Monitor laptop{{0, 0, 1366, 728}, k125};
    const platform::Monitor hd200{{0, 0, 1920, 1040}, k200};
    const platform::Monitor bar_on_top{{0, 40, 1920, 1080}, 15};
    const platform::Monitor right{{1920, 0, 3840, 1080}, 15};
    struct Case {
        const char* what;
        platform::Desktop desktop;
        platform::Size size;
        PixelPoint at, want;
    } cases[] = {
        {"fits where it is", {15, {kPrimary}}, kPanel, {100, 100}, {100, 100}},
        {"laptop at 125 %: bottom on the task bar", {k125, {laptop}}, kPanel, {10, 100}, {10, 53}},
        {"exactly fits", {k125, {laptop}}, kPanel, {10, 53}, {10, 53}},
        {"1080 lines at 200 %: taller, top at the top",
         {k200, {hd200}},
         kPanel,
         {10, 100},
         {10, 0}},
        {"editing view wider than the screen",
         {k200, {{{0, 0, 1024, 728}, k200}}},
         {8200, 8100},
         {-50, 10},
         {0, 0}},
        {"under a task bar at the top", {15, {bar_on_top}}, kPanel, {0, 0}, {0, 40}},
        {"off the right of the second monitor",
         {15, {kPrimary, right}},
         kPanel,
         {3800, 100},
         {3754, 100}},
        {"no monitor known", {15, {}}, kPanel, {10, 900}, {10, 900}},
    };
    for (const Case& c : cases) {
        const float tpp = c.desktop.position_twips_per_pixel;
        const TwipsPoint got = place_on_work_area(
            static_cast<float>(c.at.x) * tpp, static_cast<float>(c.at.y) * tpp, c.size, c.desktop);
        const PixelPoint px{static_cast<int>(std::lround(got.left / tpp)),
                            static_cast<int>(std::lround(got.top / tpp))};
        EXPECT_EQ(px, c.want) << c.what;
    }
}

}  // namespace
}  // namespace tovira
