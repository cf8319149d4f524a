#include "window/form_window.h"

namespace tovira {

// A move from code ends what the placement noted, even to the place it
// chose: the window then stands for where it was put.
void FormWindow::set_left(float v) {
    placed_ = false;
    left_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void FormWindow::set_top(float v) {
    placed_ = false;
    top_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void FormWindow::set_width(float v) {
    width_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void FormWindow::set_height(float v) {
    height_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void FormWindow::note_placed(float left, float top) {
    placed_ = true;
    asked_left_ = left;
    asked_top_ = top;
    placed_left_ = left_;
    placed_top_ = top_;
}

void FormWindow::window_moved(float left, float top) {
    left_ = left;
    top_ = top;
}
void FormWindow::show() {
    if (unloaded_) return;
    visible_ = true;
    platform_.window_visible_changed(true);
}
void FormWindow::hide() {
    visible_ = false;
    platform_.window_visible_changed(false);
}
void FormWindow::set_back_color(std::uint32_t rgb) {
    back_color_ = rgb;
    platform_.window_background_changed(rgb);
}

void FormWindow::set_focus(Control* control) {
    if (control == focus_) return;
    Control* old = focus_;
    focus_ = control;
    if (old && old->kind() == ControlKind::TextBox) static_cast<TextBox*>(old)->lost_focus();
    if (control) platform_.control_changed(*control, platform::ControlProp::Focus);
}

}  // namespace tovira
