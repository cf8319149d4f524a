// Where the panel must stand so that the user can reach it: a home position
// saved on a monitor that is gone, or beyond a screen that shrank, would
// otherwise open the panel where nobody can click it; and a view that runs
// past the bottom of a short or scaled screen would hide "Menu", the only
// way to edit and to quit.
#pragma once

#include <span>

#include "platform/platform.h"
#include "window/form_window.h"

namespace tovira {

// The square at the panel's top left that must lie on a screen: the first
// button is there, and the surface the panel is dragged by.
inline constexpr int kReachSquarePx = 48;

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// `at`, the panel's top left, when the square there lies within the
// monitors' work areas. Otherwise the place nearest to `at` where the whole
// panel lies in the work area of the nearest monitor (the one it overlaps
// most, else the closest; the earlier on a tie), aligned to the top and
// left when the panel is larger than it. `size` is in twips and becomes
// pixels at each monitor's own scale. Without a usable monitor, `at`.
PixelPoint reachable_position(PixelPoint at, platform::Size size,
                              std::span<const platform::Monitor> monitors);

// The place nearest to `at` where the whole window of `size` lies in the
// work area of its monitor (as above: the one it overlaps most, else the
// closest), its top at the work area's top where it is taller, its left at
// the left where it is wider. Moved, never resized. Without a usable
// monitor, `at`.
PixelPoint on_work_area(PixelPoint at, platform::Size size,
                        std::span<const platform::Monitor> monitors);

struct TwipsPoint {
    float left = 0;
    float top = 0;
};

// The same rule for a window at `left`, `top` of `size`, all in twips. A
// reachable place comes back exactly as given.
TwipsPoint reachable_place(float left, float top, platform::Size size,
                           const platform::Desktop& desktop);
// `on_work_area` in twips; a place that needs no move comes back exactly.
TwipsPoint place_on_work_area(float left, float top, platform::Size size,
                              const platform::Desktop& desktop);

}  // namespace tovira

namespace tovira {

// Puts `window`, asked to stand at `left`, `top` in its present size, at
// `place_on_work_area`'s place and notes the place asked for.
void place_window(FormWindow& window, float left, float top, const platform::Desktop& desktop);

}  // namespace tovira
