#include "panel/panel_editing.h"

#include "monitor/update_scheduler.h"
#include "panel/panel_layout.h"
#include "panel/reachable_position.h"
#include "platform/text_encoding.h"
#include "window/form_window.h"

namespace tovira {

namespace {
constexpr float kTwipsPerPixel = 15;
}

void PanelEditing::Command2_Click() {
    const Uses& f = f_;
    // Where the panel stood as the user put it, not where the screen's
    // edge pushed it.
    f.window.homeleft = f.window.unplaced_left();
    f.window.hometop = f.window.unplaced_top();
    f.window.set_height(kViewHeight);
    f.window.set_width(kEditWidth);
    const platform::Size screen = f.platform.screen_size();
    const float screen_w = screen.width / kTwipsPerPixel;
    const float screen_h = screen.height / kTwipsPerPixel;
    const float window_w = f.window.width() / kTwipsPerPixel;
    const float window_h = f.window.height() / kTwipsPerPixel;
    f.window.set_left((screen_w - window_w) / 2 * kTwipsPerPixel);
    f.window.set_top((screen_h - window_h) / 2 * kTwipsPerPixel);
    place_window(f.window, f.window.left(), f.window.top(), f.platform.desktop());
    f.window.set_focus(&f.Command1);
}

void PanelEditing::t0_Change(int row) {
    if (row >= kSlotCount) return;  // the example row has no button
    const Uses& f = f_;
    f.c1[row]->set_caption(f.t0[row]->text());
    f.platform.do_events();
    f.layout.collapse();
}

void PanelEditing::t0_DblClick(int row) {
    f_.t0[row]->set_text("");
}
void PanelEditing::t1_DblClick(int row) {
    f_.t1[row]->set_text("");
}

void PanelEditing::t0_LostFocus(int row) {
    TextBox& box = *f_.t0[row];
    box.set_text(f_.platform.locale().to_upper(box.text()));
}

// Callsigns are ASCII: a locale's own letter rules (Turkish i to U+0130)
// would make a callsign that neither IvAc nor the status file knows.
void PanelEditing::t1_LostFocus(int row) {
    TextBox& box = *f_.t1[row];
    box.set_text(platform::ascii_upper(box.text()));
}

void PanelEditing::Check2_Click(int slot) {
    const Uses& f = f_;
    const bool on = f.Check2[slot]->value() == 1;
    f.c1[slot]->set_visible(on);
    f.window.slotactive.set(slot, on ? 1 : 0);
    f.layout.collapse();
}

void PanelEditing::Check3_Click() {
    const Uses& f = f_;
    if (f.Check3.value() == 1) {
        for (int i = 0; i < kSlotCount; ++i) {
            f.window.slotactive.set(i, 1);
            f.platform.do_events();
        }
    } else {
        for (int i = 0; i < kSlotCount; ++i) {
            f.window.slotactive.set(i, 0);
            f.l1[i]->set_caption("");
        }
    }
    f.layout.collapse();
}

void PanelEditing::Command4_Click() {
    const Uses& f = f_;
    alltoggle = -alltoggle;
    const int v = alltoggle == 1 ? 0 : 1;
    for (int i = 0; i < kSlotCount; ++i) {
        f.Check2[i]->set_value(v);
        f.window.slotactive.set(i, v);
    }
}

void PanelEditing::Check4_Click() {
    f_.layout.collapse();
}

void PanelEditing::Option_Click(int n) {
    f_.window.set_back_color(kColourSchemes.at(n).background);
}

void PanelEditing::Label9_Click() {
    const Uses& f = f_;
    f.Label9.set_back_color(kPatchBusyColour);
    f.scheduler.Command7_Click();
    f.Label9.set_back_color(kPatchColour);
}

}  // namespace tovira
