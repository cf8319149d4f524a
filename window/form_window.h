// The main window's own values and operations, shared by the parts that
// need them: its geometry, visibility, background, caption, the keyboard
// focus, whether it has unloaded, the home position and the active flags.
// Each operation tells the platform what changed, as a control does.
#pragma once

#include <cstdint>
#include <string>

#include "config/station_table.h"
#include "controls/controls.h"
#include "platform/platform.h"

namespace tovira {

inline constexpr char kWindowCaption[] = "Tovira";
// The window's background at creation, the blue colour scheme's, and the
// design's background of its labels and boxes.
inline constexpr std::uint32_t kNavy = 0x000040;

// The two views of the window differ only in its size and place: the panel
// view (the button column, at the home position) and the editing view
// (centred on the screen). Both are as high as the layout of the column.
inline constexpr float kPanelWidth = 1290;
inline constexpr float kEditWidth = 8200;
inline constexpr float kViewHeight = 8100;

class FormWindow {
public:
    explicit FormWindow(platform::Platform& platform) : platform_(platform) {}
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // ---- the window's geometry, in twips ---------------------------------
    float left() const { return left_; }
    float top() const { return top_; }
    float width() const { return width_; }
    float height() const { return height_; }
    void set_left(float v);
    void set_top(float v);
    void set_width(float v);
    void set_height(float v);
    // The user dragged the window: the backend reports where it now stands.
    void window_moved(float left, float top);
    bool visible() const { return visible_; }
    void show();
    void hide();
    std::uint32_t back_color() const { return back_color_; }
    void set_back_color(std::uint32_t rgb);
    const std::string& caption() const { return caption_; }

    // Keyboard focus moved to `control` (null: outside the window's fields).
    // Runs the lost-focus reaction of the field that had it.
    void set_focus(Control* control);
    Control* focus() const { return focus_; }

    // The window has unloaded: nothing more is shown, typed or fetched.
    bool unloaded() const { return unloaded_; }
    void set_unloaded() { unloaded_ = true; }
    // The window leaves the screen with the program's end, which tells the
    // backend: no notice of its own.
    void forget_shown() { visible_ = false; }

    // ---- kept on the screen -------------------------------------------------
    // The window, asked to stand at `left`, `top`, was moved to where it
    // stands so that it lies on the screen. Until it moves again, the place
    // it was asked for is what it stands for: the home position "Menu"
    // records and the place tq.cfg keeps, so that only the user's drag
    // changes them.
    void note_placed(float left, float top);
    float unplaced_left() const { return at_placed() ? asked_left_ : left_; }
    float unplaced_top() const { return at_placed() ? asked_top_ : top_; }

    // ---- window-level values ---------------------------------------------
    SlotFlags slotactive;
    float homeleft = 0;  // unset reads as 0
    float hometop = 0;

private:
    platform::Platform& platform_;
    std::string caption_ = kWindowCaption;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = false;
    std::uint32_t back_color_ = kNavy;
    bool unloaded_ = false;
    Control* focus_ = nullptr;
    bool at_placed() const { return placed_ && left_ == placed_left_ && top_ == placed_top_; }
    bool placed_ = false;
    float asked_left_ = 0, asked_top_ = 0, placed_left_ = 0, placed_top_ = 0;
};

}  // namespace tovira
