#include "platform/balloon_place.h"

#include <algorithm>

namespace tovira::platform {

namespace {

// Moves [from, from + size) inside [low, high); a span larger than the range
// keeps its start at `low`.
int within(int from, int size, int low, int high) {
    return std::max(low, std::min(from, high - size));
}

}  // namespace

BalloonPlace place_balloon(const PixelRect& window, const PixelRect& control, int width, int height,
                           const PixelRect& work) {
    BalloonPlace p;
    const int mid =
        (std::max(control.top, window.top) + std::min(control.bottom, window.bottom)) / 2;
    p.stem_y = std::clamp(mid, work.top, std::max(work.top, work.bottom - 1));
    const bool right_room = window.right + width <= work.right;
    const bool left_room = window.left - width >= work.left;
    // Neither side has room: the side with more, moved inside the work area.
    p.left_side = !right_room && (left_room || window.left - work.left > work.right - window.right);
    int left = p.left_side ? window.left - width : window.right;
    p.stem_x = p.left_side ? window.left : window.right;
    left = within(left, width, work.left, work.right);
    const int top = within(p.stem_y - height / 2, height, work.top, work.bottom);
    p.rect = {left, top, left + width, top + height};
    p.stem_x = std::clamp(p.stem_x, work.left, std::max(work.left, work.right - 1));
    return p;
}

PixelRect settle_balloon(const PixelRect& drawn, const PixelRect& window, bool left_side,
                         const PixelRect& work) {
    const int width = drawn.right - drawn.left, height = drawn.bottom - drawn.top;
    int left = drawn.left;
    if (left_side) {
        left = std::min(left, window.left - width);
    } else {
        left = std::max(left, window.right);
    }
    left = within(left, width, work.left, work.right);
    const int top = within(drawn.top, height, work.top, work.bottom);
    return {left, top, left + width, top + height};
}

}  // namespace tovira::platform
