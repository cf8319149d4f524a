#include "controls/controls.h"

#include <utility>

namespace tovira {

using platform::ControlProp;

Control::Control(platform::Platform& platform, ControlKind kind, std::string name, int index,
                 int id)
    : platform_(platform), kind_(kind), name_(std::move(name)), index_(index), id_(id) {}

void Control::notify(ControlProp what) {
    platform_.control_changed(*this, what);
}

void Control::set_geometry(float left, float top, float width, float height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    notify(ControlProp::Geometry);
}

void Control::set_visible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    notify(ControlProp::Visible);
}

void Control::set_caption(const std::string& v) {
    if (v == caption_) return;
    caption_ = v;
    notify(ControlProp::Caption);
}

void Control::set_tooltip(const std::string& v) {
    if (v == tooltip_) return;
    tooltip_ = v;
    notify(ControlProp::ToolTip);
}

void Control::set_colors(std::uint32_t fore, std::uint32_t back, bool transparent) {
    if (fore == fore_ && back == back_ && transparent == transparent_) return;
    fore_ = fore;
    back_ = back;
    transparent_ = transparent;
    notify(ControlProp::Colors);
}

void Control::set_font(Font f) {
    font_ = std::move(f);
    notify(ControlProp::Colors);
}

void Control::set_tab_index(int v) {
    if (v == tab_index_) return;
    tab_index_ = v;
    notify(ControlProp::TabIndex);
}

void Control::click() {
    if (on_click) on_click();
}

void TextBox::set_text(const std::string& v) {
    if (v == text()) return;
    set_caption(v);
    if (on_change) on_change();
}

void CheckBox::set_value(int v) {
    if (v < 0 || v > 2) throw InvalidPropertyValue("check box value out of range");
    if (v == value_) return;
    value_ = v;
    notify(ControlProp::Value);
    click();
}

void OptionButton::select() {
    for (OptionButton* other : group_) {
        if (other != this) other->clear();
    }
    if (!value_) {
        value_ = true;
        notify(ControlProp::Value);
    }
    click();
}

void OptionButton::clear() {
    if (!value_) return;
    value_ = false;
    notify(ControlProp::Value);
}

Timer::Timer(platform::Platform& p, std::string name, unsigned interval)
    : platform_(p), name_(std::move(name)), interval_(interval) {}

Timer::~Timer() {
    if (running_) platform_.stop_timer(*this);
}

void Timer::set_enabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    apply();
}

void Timer::set_interval(long long v) {
    if (v < 0 || v > 65535) throw InvalidPropertyValue("timer interval out of range");
    interval_ = static_cast<unsigned>(v);
    if (enabled_) {
        running_ = false;  // restart the period
        platform_.stop_timer(*this);
        apply();
    }
}

void Timer::apply() {
    const bool should_run = enabled_ && interval_ > 0;
    if (should_run && !running_) {
        platform_.start_timer(*this, interval_);
        running_ = true;
    } else if (!should_run && running_) {
        platform_.stop_timer(*this);
        running_ = false;
    }
}

void Timer::on_timer_tick() {
    if (!running_ || in_tick_) return;
    in_tick_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{in_tick_};
    if (on_tick) on_tick();
}

}  // namespace tovira
