// The main window's controls as plain objects.
//
// Each control keeps its properties in twips and UTF-8 and tells the
// platform what changed, so that a backend can mirror it. Setting a value
// from code raises the same reaction as the user's change: a changed text
// runs `on_change`, a changed check box value runs `on_click`, a selected
// option runs `on_click`. Backends feed the user's actions in through the
// same setters (`set_text`, `set_value`, `select`) or through `click()`.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tovira {

enum class ControlKind : std::uint8_t {
    CommandButton,
    Label,
    TextBox,
    CheckBox,
    OptionButton,
    Line,
};

struct Font {
    std::string name;  // empty: the system's dialog font
    float size = 8.25f;
    bool bold = false;
};

// A property value that the control does not accept (a check box value
// outside 0 to 2, a timer interval outside 0 to 65535).
class InvalidPropertyValue : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Control {
public:
    Control(platform::Platform& platform, ControlKind kind, std::string name, int index, int id);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    ControlKind kind() const { return kind_; }
    const std::string& name() const { return name_; }  // "c1", "Check3"
    int index() const { return index_; }               // array index, -1 if none
    int id() const { return id_; }                     // fixed control ID

    float left() const { return left_; }
    float top() const { return top_; }
    float width() const { return width_; }
    float height() const { return height_; }
    void set_left(float v) { set_geometry(v, top_, width_, height_); }
    void set_top(float v) { set_geometry(left_, v, width_, height_); }
    void set_width(float v) { set_geometry(left_, top_, v, height_); }
    void set_height(float v) { set_geometry(left_, top_, width_, v); }
    void set_geometry(float left, float top, float width, float height);

    bool visible() const { return visible_; }
    void set_visible(bool v);

    // Caption of buttons, labels and boxes; the text of a text box.
    const std::string& caption() const { return caption_; }
    void set_caption(const std::string& v);

    const std::string& tooltip() const { return tooltip_; }
    void set_tooltip(const std::string& v);

    std::uint32_t fore_color() const { return fore_; }
    std::uint32_t back_color() const { return back_; }
    bool back_transparent() const { return transparent_; }
    void set_colors(std::uint32_t fore, std::uint32_t back, bool transparent);
    void set_back_color(std::uint32_t v) { set_colors(fore_, v, transparent_); }

    const Font& font() const { return font_; }
    void set_font(Font f);

    int tab_index() const { return tab_index_; }
    void set_tab_index(int v);

    // A button drawn in its back colour (the station buttons).
    bool graphical() const { return graphical_; }
    void set_graphical(bool v) { graphical_ = v; }

    // Click by the user, or run as if by the user.
    std::function<void()> on_click;
    void click();

protected:
    void notify(platform::ControlProp what);
    platform::Platform& platform_;

private:
    ControlKind kind_;
    std::string name_;
    int index_;
    int id_;
    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    std::string caption_;
    std::string tooltip_;
    std::uint32_t fore_ = 0x000000;
    std::uint32_t back_ = 0xC0C0C0;
    bool transparent_ = false;
    Font font_;
    int tab_index_ = 0;
    bool graphical_ = false;
};

class CommandButton : public Control {
public:
    CommandButton(platform::Platform& p, std::string name, int index, int id)
        : Control(p, ControlKind::CommandButton, std::move(name), index, id) {}
};

class Label : public Control {
public:
    Label(platform::Platform& p, std::string name, int index, int id)
        : Control(p, ControlKind::Label, std::move(name), index, id) {}
};

class TextBox : public Control {
public:
    TextBox(platform::Platform& p, std::string name, int index, int id)
        : Control(p, ControlKind::TextBox, std::move(name), index, id) {}

    const std::string& text() const { return caption(); }
    // A changed text runs `on_change`; the same text does nothing.
    void set_text(const std::string& v);

    std::function<void()> on_change;
    // The character code of a key typed into the box, before the box edits.
    std::function<void(int)> on_key_press;
    std::function<void()> on_dbl_click;
    std::function<void()> on_lost_focus;

    void key_press(int code) {
        if (on_key_press) on_key_press(code);
    }
    void dbl_click() {
        if (on_dbl_click) on_dbl_click();
    }
    void lost_focus() {
        if (on_lost_focus) on_lost_focus();
    }
};

class CheckBox : public Control {
public:
    CheckBox(platform::Platform& p, std::string name, int index, int id)
        : Control(p, ControlKind::CheckBox, std::move(name), index, id) {}

    int value() const { return value_; }
    // 0, 1 or 2 (greyed); anything else throws InvalidPropertyValue. A
    // changed value runs `on_click`.
    void set_value(int v);
    // The user's click: an unchecked box becomes checked, any other unchecked.
    void user_click() { set_value(value_ == 0 ? 1 : 0); }

private:
    int value_ = 0;
};

class OptionButton : public Control {
public:
    OptionButton(platform::Platform& p, std::string name, int index, int id)
        : Control(p, ControlKind::OptionButton, std::move(name), index, id) {}

    bool value() const { return value_; }
    // Selects this option, deselects the rest of its group, runs `on_click`.
    void select();
    // Deselects without any reaction.
    void clear();
    void set_group(std::vector<OptionButton*> group) { group_ = std::move(group); }

private:
    bool value_ = false;
    std::vector<OptionButton*> group_;
};

class Line : public Control {
public:
    Line(platform::Platform& p, std::string name, int index, int id)
        : Control(p, ControlKind::Line, std::move(name), index, id) {}

    float x1() const { return left(); }
    float y1() const { return top(); }
    float x2() const { return left() + width(); }
    float y2() const { return top() + height(); }
    void set_ends(float x1, float y1, float x2, float y2) {
        set_geometry(x1, y1, x2 - x1, y2 - y1);
    }
};

// A user-interface timer: ticks every `interval` ms while enabled; an
// interval of 0 never ticks. A tick never runs inside its own handler: a
// tick that falls due while the handler still runs is dropped.
class Timer : private platform::TimerSink {
public:
    Timer(platform::Platform& p, std::string name, unsigned interval);
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer();

    const std::string& name() const { return name_; }
    bool enabled() const { return enabled_; }
    unsigned interval() const { return interval_; }
    // Enabling a disabled timer starts its period; enabling an enabled one
    // changes nothing.
    void set_enabled(bool v);
    // 0 to 65535, else InvalidPropertyValue. Restarts the period of an
    // enabled timer.
    void set_interval(long long v);

    std::function<void()> on_tick;

private:
    void on_timer_tick() override;
    void apply();
    platform::Platform& platform_;
    std::string name_;
    unsigned interval_;
    bool enabled_ = false;
    bool running_ = false;  // the platform timer is started
    bool in_tick_ = false;
};

// A control array (`c1`, `t0`, ...): its elements, owned, by index.
template <typename T, std::size_t N>
using ControlArray = std::array<std::unique_ptr<T>, N>;

}  // namespace tovira
