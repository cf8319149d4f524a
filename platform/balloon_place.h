// Where a click's balloon goes: beside the window, at the control it speaks
// of, wholly inside the work area of the monitor that holds the window. The
// right of the window where there is room (the panel usually stands at the
// left of the screen), its left where there is none; never over the window,
// never off screen or on the next monitor. Any control: a station button,
// "Menu", a button of the editing view.
#pragma once

#include "platform/platform.h"

namespace tovira::platform {

struct BalloonPlace {
    PixelRect rect;          // the balloon's window
    int stem_x = 0;          // the stem's point: the window's edge
    int stem_y = 0;          // level with the control's middle
    bool left_side = false;  // left of the window
};

// `window`, `control` and `work` in screen pixels; the balloon is `width` by
// `height` pixels with its stem.
BalloonPlace place_balloon(const PixelRect& window, const PixelRect& control, int width, int height,
                           const PixelRect& work);

// The balloon as the system drew it for the stem's point (`drawn`), moved
// the least so that it stays off the window on its side and wholly inside
// `work`.
PixelRect settle_balloon(const PixelRect& drawn, const PixelRect& window, bool left_side,
                         const PixelRect& work);

}  // namespace tovira::platform
