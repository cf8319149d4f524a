// The window as a backend sees it: what it draws, read when it mirrors the
// window, and the window's own events, which it hands over (a control's own
// events, clicks, text changes and keys, go to the control).
#pragma once

#include <cstdint>
#include <vector>

namespace tovira {
class Control;
}

namespace tovira::platform {

struct Bounds {
    float left = 0, top = 0, width = 0, height = 0;  // twips
};

class WindowHost {
public:
    virtual ~WindowHost() = default;

    // ---- what the backend draws ------------------------------------------
    // Every control, in creation order.
    virtual const std::vector<Control*>& window_controls() const = 0;
    virtual Bounds window_bounds() const = 0;
    virtual std::uint32_t window_back_color() const = 0;
    // The control that has the keyboard focus; null: none of them.
    virtual Control* window_focus() const = 0;
    // Whether a press on `control` makes the window active; false: the
    // keyboard stays where it was (a station button in the panel view).
    virtual bool press_activates(const Control& control) const = 0;

    // ---- the window's events ---------------------------------------------
    // Keyboard focus moved to `control`; null: out of the window's fields.
    virtual void on_focus(Control* control) = 0;
    // The left button went down on the window's surface: dragging.
    virtual void on_mouse_down() = 0;
    // The user moved the window (dragging it): where it now stands.
    virtual void on_moved(float left, float top) = 0;
    // The window is asked to close.
    virtual void on_close() = 0;
    // The session ends: the process may end as soon as this returns.
    virtual void on_end_session() = 0;
    // The monitors changed: resolution, arrangement, task bar.
    virtual void display_changed() = 0;
    // The program was started again from the same folder: that start has
    // ended, and this window is to be the panel in front.
    virtual void on_second_start() {}
};

}  // namespace tovira::platform
