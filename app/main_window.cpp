#include "app/main_window.h"

#include <algorithm>

namespace tovira {

namespace {
constexpr float kCreatedWidth = 1200;
constexpr float kMinimizeHeight = 9000;
constexpr std::uint32_t kNavy = 0x000040;

// Gives `control` tab index `n` and renumbers the others around it, so that
// the tab order stays one unbroken sequence without duplicates.
void move_in_tab_order(const std::vector<Control*>& controls, Control& control, int n) {
    std::vector<Control*> order(controls);
    std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
        return a->tab_index() < b->tab_index();
    });
    order.erase(std::find(order.begin(), order.end(), &control));
    const auto at = std::min(static_cast<std::size_t>(std::max(n, 0)), order.size());
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), &control);
    for (std::size_t k = 0; k < order.size(); ++k) order[k]->set_tab_index(static_cast<int>(k));
}
}  // namespace

Form1::Form1(platform::Platform& platform)
    : config(*this),
      dispatch(*this),
      layout(*this),
      editing(*this),
      monitor(*this),
      scheduler(*this),
      Inet1(platform),
      feed_inet(platform, FetchLimits{kFeedTimeoutMs, kMaxFeedBytes, true}),
      platform_(platform) {
    create_controls();
    wire_events();
}

Form1::~Form1() = default;

void Form1::wire_events() {
    for (int i = 0; i < kSlotCount; ++i) {
        c1[i]->on_click = [this, i] { dispatch.c1_Click(i); };
        Check2[i]->on_click = [this, i] { editing.Check2_Click(i); };
    }
    for (int r = 0; r < kFieldRows; ++r) {
        t0[r]->on_change = [this, r] { editing.t0_Change(r); };
        t0[r]->on_dbl_click = [this, r] { editing.t0_DblClick(r); };
        t0[r]->on_lost_focus = [this, r] { editing.t0_LostFocus(r); };
        t1[r]->on_dbl_click = [this, r] { editing.t1_DblClick(r); };
        t1[r]->on_lost_focus = [this, r] { editing.t1_LostFocus(r); };
    }
    Check1->on_click = [this] { Check1_Click(); };
    Check3->on_click = [this] { editing.Check3_Click(); };
    Check4->on_click = [this] { editing.Check4_Click(); };
    Check5->on_click = [this] { dispatch.Check5_Click(); };
    Command2->on_click = [this] { editing.Command2_Click(); };
    Command3->on_click = [this] { Command3_Click(); };
    Command4->on_click = [this] { editing.Command4_Click(); };
    Command5->on_click = [this] { Command5_Click(); };
    Command6->on_click = [this] { scheduler.Command6_Click(); };
    Command7->on_click = [this] { scheduler.Command7_Click(); };
    Command8->on_click = [this] { scheduler.Command8_Click(); };
    for (int n = 1; n <= 5; ++n) option(n).on_click = [this, n] { editing.Option_Click(n); };
    Label9->on_click = [this] { editing.Label9_Click(); };
    Text2->on_change = [this] { scheduler.Text2_Change(); };
    Text2->on_dbl_click = [this] { scheduler.Text2_DblClick(); };
    Text3->on_key_press = [this](int code) { dispatch.Text3_KeyPress(code); };
    Timer4->on_tick = [this] { dispatch.Timer4_Timer(); };
    Timer5->on_tick = [this] { Timer5_Timer(); };
    Timer6->on_tick = [this] { scheduler.Timer6_Timer(); };
    Timer8->on_tick = [this] { dispatch.Timer8_Timer(); };
}

OptionButton& Form1::option(int n) {
    switch (n) {
        case 1: return *Option1;
        case 2: return *Option2;
        case 3: return *Option3;
        case 4: return *Option4;
        case 5: return *Option5;
        default: throw std::out_of_range("option number");
    }
}

Control* Form1::find_control(int id) const {
    for (Control* c : controls_) {
        if (c->id() == id) return c;
    }
    return nullptr;
}

MyInet& Form1::my_inet() {
    if (!my_inet_) my_inet_ = std::make_unique<MyInet>(platform_);
    return *my_inet_;
}

// ---- geometry ----------------------------------------------------------------

void Form1::set_left(float v) {
    left_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void Form1::set_top(float v) {
    top_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void Form1::set_width(float v) {
    width_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void Form1::set_height(float v) {
    height_ = v;
    platform_.window_bounds_changed(left_, top_, width_, height_);
}
void Form1::window_moved(float left, float top) {
    left_ = left;
    top_ = top;
}
void Form1::show() {
    if (unloaded_) return;
    visible_ = true;
    platform_.window_visible_changed(true);
}
void Form1::hide() {
    visible_ = false;
    platform_.window_visible_changed(false);
}
void Form1::set_back_color(std::uint32_t rgb) {
    back_color_ = rgb;
    platform_.window_background_changed(rgb);
}

void Form1::set_focus(Control* control) {
    if (control == focus_) return;
    Control* old = focus_;
    focus_ = control;
    if (old && old->kind() == ControlKind::TextBox) static_cast<TextBox*>(old)->lost_focus();
    if (control) platform_.control_changed(*control, platform::ControlProp::Focus);
}

// ---- creation, start-up, shutdown ------------------------------------------------

void Form1::Form_Load() {
    platform_.set_topmost(Check1->value() == 1);
    set_top(0);
    set_left(0);
    set_width(kCreatedWidth);
    set_height(kViewHeight);
    for (int n = 1; n <= 5; ++n) {
        if (option(n).value()) editing.Option_Click(n);
    }
    Text2->set_text("1");
    scheduler.updatemins = 1;
    Label6->set_caption("Timer was started");
    for (auto& label : l1) {
        Font f = label->font();
        f.name = "Arial";
        label->set_font(f);
        label->set_colors(label->fore_color(), kNavy, true);
    }
    editing.alltoggle = 1;
    monitor.updatenr = 0;

    show();
    Timer5->set_enabled(true);
    Timer6->set_enabled(true);
}

void Form1::Timer5_Timer() {
    Timer5->set_enabled(false);
    getwhazz();
    if (unloaded_) return;
    hide();
    platform_.do_events();
    if (unloaded_) return;
    loadconfig();
    Command3_Click();
    int tab = 1;
    for (int r = 0; r < kSlotCount; ++r) {
        move_in_tab_order(controls_, *t0[r], tab++);
        move_in_tab_order(controls_, *t1[r], tab++);
    }
    checkwhazz();
    collapse();
    show();
}

void Form1::Check1_Click() {
    platform_.set_topmost(Check1->value() == 1);
}

void Form1::Form_MouseDown() {
    platform_.begin_drag();
}

void Form1::Command3_Click() {
    set_left(homeleft);
    set_top(hometop);
    set_height(kMinimizeHeight);
    collapse();
    set_width(kPanelWidth);
}

void Form1::Command5_Click() {
    set_left(homeleft);
    set_top(hometop);
    unload();
}

void Form1::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    // Whatever is under way ends here: no key step or update after unload.
    Timer4->set_enabled(false);
    Timer5->set_enabled(false);
    Timer6->set_enabled(false);
    Timer8->set_enabled(false);
    dispatch.stop_aurora();
    saveconfig();
    visible_ = false;
    platform_.quit();
}

}  // namespace tovira
