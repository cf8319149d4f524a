#include "app/main_window.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "panel/reachable_position.h"

namespace tovira {

namespace {
constexpr float kCreatedWidth = 1200;
constexpr float kMinimizeHeight = 9000;

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

// The controls exist (Form1Controls is built first); each part receives
// those it touches, and `*this` as the window (FormWindow) where it needs it.
Form1::Form1(platform::Platform& platform)
    : Form1Controls(platform),
      FormWindow(platform),
      notices({platform, *Command2}),
      config({platform,
              *this,
              t0,
              t1,
              {Option1.get(), Option2.get(), Option3.get(), Option4.get(), Option5.get()},
              *Text2,
              *Check4,
              *Text3,
              *Check5,
              scheduler,
              dispatch}),
      balloons({platform, *this, c1}),
      dispatch({platform, *this, balloons, *Timer4, *Timer8, t1, *Text3, *Check5, aurora}),
      layout({*this, c1, l1, Check2, *Command2, *Label9, *Line2, *Line3}),
      editing({platform, *this, c1, l1, t0, t1, Check2, *Check3, *Command1, *Label9, layout,
               scheduler}),
      monitor(
          {platform, *this, c1, l1, t1, *Label5, *Label8, Inet1, feed_inet, notices, aurora_list}),
      aurora_link({platform, *this}),
      aurora_refresh_link({platform, *this}),
      aurora({platform, *this, balloons, t1, [this](int slot) { return monitor.station_for(slot); },
              aurora_list, aurora_link}),
      scheduler({platform, *this, *Check3, *Text2, *Label6, *Timer6, Inet1, monitor, layout}),
      Inet1(platform),
      feed_inet(platform, FetchLimits{kFeedTimeoutMs, kMaxFeedBytes, true}),
      aurora_panel({platform, t0, t1, *Check3, *Command9, aurora_refresh_link, aurora_list, monitor,
                    layout}),
      platform_(platform) {
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
    Command9->on_click = [this] { aurora_panel.Command9_Click(); };
    for (int n = 1; n <= 5; ++n) option(n).on_click = [this, n] { editing.Option_Click(n); };
    Label9->on_click = [this] { editing.Label9_Click(); };
    Text2->on_change = [this] { scheduler.Text2_Change(); };
    Text2->on_dbl_click = [this] { scheduler.Text2_DblClick(); };
    Text3->on_key_press = [this](int code) { dispatch.Text3_KeyPress(code); };
    Timer4->on_tick = [this] { dispatch.Timer4_Timer(); };
    Timer5->on_tick = [this] { Timer5_Timer(); };
    Timer6->on_tick = [this] { scheduler.Timer6_Timer(); };
    Timer8->on_tick = [this] { dispatch.Timer8_Timer(); };
    display_timer_.on_tick = [this] { display_settled(); };
}

OptionButton& Form1Controls::option(int n) {
    switch (n) {
        case 1: return *Option1;
        case 2: return *Option2;
        case 3: return *Option3;
        case 4: return *Option4;
        case 5: return *Option5;
        default: throw std::out_of_range("option number");
    }
}

Control* Form1Controls::find_control(int id) const {
    for (Control* c : controls_) {
        if (c->id() == id) return c;
    }
    return nullptr;
}

platform::Bounds Form1::window_bounds() const {
    return {left(), top(), width(), height()};
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
    // Aurora's stations from the start: the start-up check counts them.
    aurora_panel.start();
}

void Form1::Timer5_Timer() {
    Timer5->set_enabled(false);
    getwhazz();
    if (unloaded()) return;
    hide();
    platform_.do_events();
    if (unloaded()) return;
    config.check_folder();
    loadconfig();
    // Without a recorded home position the panel opens at 0, 0.
    if (config.home_loaded()) keep_home_reachable(platform_.desktop());
    Command3_Click();
    int tab = 1;
    for (int r = 0; r < kSlotCount; ++r) {
        move_in_tab_order(controls(), *t0[r], tab++);
        move_in_tab_order(controls(), *t1[r], tab++);
    }
    checkwhazz();
    collapse();
    show();
    config.note_unchanged();
    // Told once the panel is there to point at.
    if (auto notice = config.folder_notice()) {
        notices.show(MenuNotices::Notice::ConfigNotSaved, std::move(*notice));
    }
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
    place_window(*this, homeleft, hometop, platform_.desktop());
    // Leaving the editing view keeps its edits, should the program never
    // get to its unload (End task, a crash, a power cut).
    config.save_if_changed();
}

void Form1::Command5_Click() {
    set_left(homeleft);
    set_top(hometop);
    unload();
}

void Form1::on_second_start() {
    if (!unloaded() && visible() && !Timer5->enabled() && width() >= kEditWidth) Command3_Click();
}

bool Form1::press_activates(const Control& control) const {
    const bool station =
        control.id() >= control_id::c1 && control.id() < control_id::c1 + kSlotCount;
    return !station || width() >= kEditWidth;
}

void Form1::unload(bool session_end) {
    if (unloaded()) return;
    set_unloaded();
    // Whatever is under way ends here: no key step or update after unload.
    Timer4->set_enabled(false);
    Timer5->set_enabled(false);
    Timer6->set_enabled(false);
    Timer8->set_enabled(false);
    aurora.stop();
    aurora_panel.stop();
    aurora_link.cancel_all();
    aurora_refresh_link.cancel_all();
    save_at_unload(!session_end);
    forget_shown();
    platform_.quit();
}

void Form1::save_at_unload(bool ask) {
    for (;;) {
        const std::optional<std::string> failure = config.save();
        if (!failure || !ask || platform_.quitting()) return;
        // Nothing of the core runs while the user decides: timers, fetches
        // and Aurora's answers wait in the gate (and go with the program).
        platform::EventGate::Hold hold(platform_.gate());
        if (!platform_.ask_retry(config.save_question(*failure))) return;
    }
}

// ---- keeping the panel within reach -------------------------------------------------

void Form1::keep_home_reachable(const platform::Desktop& desktop) {
    const TwipsPoint home = reachable_place(homeleft, hometop, {kPanelWidth, kViewHeight}, desktop);
    homeleft = home.left;
    hometop = home.top;
}

void Form1::display_changed() {
    if (unloaded()) return;
    // Each change of a burst starts the wait anew.
    display_timer_.set_enabled(false);
    display_timer_.set_enabled(true);
}

void Form1::display_settled() {
    // Moved under the user's hand the window would jump; the timer tries
    // again once the move is over.
    if (!unloaded() && platform_.window_moving()) return;
    display_timer_.set_enabled(false);
    if (unloaded()) return;
    const platform::Desktop desktop = platform_.desktop();
    keep_home_reachable(desktop);
    // From where the window stands for, so that a screen that grows again
    // gives the panel its place back.
    const TwipsPoint at =
        reachable_place(unplaced_left(), unplaced_top(), {width(), height()}, desktop);
    place_window(*this, at.left, at.top, desktop);
}

}  // namespace tovira
