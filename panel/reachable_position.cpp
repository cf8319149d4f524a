#include "panel/reachable_position.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tovira {

namespace {

using platform::Monitor;
using platform::PixelRect;

// Far beyond any screen, yet with room for sizes in int arithmetic.
constexpr double kFarPx = 1e8;

bool empty(const PixelRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// Whether the work areas together cover `r`: the edges inside `r` cut it
// into cells, and every cell must lie within one area. Adjacent monitors
// cover a square that straddles their common edge.
bool covered(const PixelRect& r, std::span<const Monitor> monitors) {
    std::vector<int> xs{r.left, r.right};
    std::vector<int> ys{r.top, r.bottom};
    for (const Monitor& m : monitors) {
        for (int x : {m.work.left, m.work.right}) {
            if (x > r.left && x < r.right) xs.push_back(x);
        }
        for (int y : {m.work.top, m.work.bottom}) {
            if (y > r.top && y < r.bottom) ys.push_back(y);
        }
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
        for (std::size_t j = 0; j + 1 < ys.size(); ++j) {
            const bool inside =
                std::any_of(monitors.begin(), monitors.end(), [&](const Monitor& m) {
                    return m.work.left <= xs[i] && xs[i + 1] <= m.work.right &&
                           m.work.top <= ys[j] && ys[j + 1] <= m.work.bottom;
                });
            if (!inside) return false;
        }
    }
    return true;
}

int to_px(float twips, float twips_per_pixel) {
    const double px = static_cast<double>(twips) / static_cast<double>(twips_per_pixel);
    // A hand-edited file may hold anything a float can.
    if (!(px > -kFarPx)) return static_cast<int>(-kFarPx);
    if (!(px < kFarPx)) return static_cast<int>(kFarPx);
    return static_cast<int>(std::lround(px));
}

bool usable(float twips_per_pixel) {
    return twips_per_pixel > 0 && std::isfinite(twips_per_pixel);
}

}  // namespace

PixelPoint on_work_area(PixelPoint at, platform::Size size, std::span<const Monitor> monitors) {
    const Monitor* best = nullptr;
    std::int64_t best_overlap = 0;
    std::int64_t best_gap = 0;
    int best_w = 0, best_h = 0;
    for (const Monitor& m : monitors) {
        if (empty(m.work) || !usable(m.size_twips_per_pixel)) continue;
        const int w = std::max(to_px(size.width, m.size_twips_per_pixel), 0);
        const int h = std::max(to_px(size.height, m.size_twips_per_pixel), 0);
        const std::int64_t left = at.x, top = at.y, right = left + w, bottom = top + h;
        const std::int64_t ox =
            std::min<std::int64_t>(right, m.work.right) - std::max<std::int64_t>(left, m.work.left);
        const std::int64_t oy =
            std::min<std::int64_t>(bottom, m.work.bottom) - std::max<std::int64_t>(top, m.work.top);
        const std::int64_t overlap = ox > 0 && oy > 0 ? ox * oy : 0;
        const std::int64_t dx =
            std::max<std::int64_t>({m.work.left - right, left - m.work.right, 0});
        const std::int64_t dy =
            std::max<std::int64_t>({m.work.top - bottom, top - m.work.bottom, 0});
        const std::int64_t gap = dx * dx + dy * dy;
        const bool better =
            !best || (overlap > 0 || best_overlap > 0 ? overlap > best_overlap : gap < best_gap);
        if (better) {
            best = &m;
            best_overlap = overlap;
            best_gap = gap;
            best_w = w;
            best_h = h;
        }
    }
    if (!best) return at;
    const PixelRect& work = best->work;
    return {std::max(work.left, std::min(at.x, work.right - best_w)),
            std::max(work.top, std::min(at.y, work.bottom - best_h))};
}

PixelPoint reachable_position(PixelPoint at, platform::Size size,
                              std::span<const Monitor> monitors) {
    const PixelRect square{at.x, at.y, at.x + kReachSquarePx, at.y + kReachSquarePx};
    if (covered(square, monitors)) return at;
    return on_work_area(at, size, monitors);
}

namespace {

template <typename Rule>
TwipsPoint in_twips(float left, float top, platform::Size size, const platform::Desktop& desktop,
                    Rule rule) {
    const float tpp = desktop.position_twips_per_pixel;
    if (!usable(tpp)) return {left, top};
    const PixelPoint at{to_px(left, tpp), to_px(top, tpp)};
    const PixelPoint to = rule(at, size, desktop.monitors);
    if (to == at) return {left, top};
    return {static_cast<float>(to.x) * tpp, static_cast<float>(to.y) * tpp};
}

}  // namespace

TwipsPoint reachable_place(float left, float top, platform::Size size,
                           const platform::Desktop& desktop) {
    return in_twips(left, top, size, desktop, reachable_position);
}

TwipsPoint place_on_work_area(float left, float top, platform::Size size,
                              const platform::Desktop& desktop) {
    return in_twips(left, top, size, desktop, on_work_area);
}

void place_window(FormWindow& window, float left, float top, const platform::Desktop& desktop) {
    const TwipsPoint to = place_on_work_area(left, top, {window.width(), window.height()}, desktop);
    if (to.left != window.left()) window.set_left(to.left);
    if (to.top != window.top()) window.set_top(to.top);
    window.note_placed(left, top);
}

}  // namespace tovira
