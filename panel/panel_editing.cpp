#include "panel/panel_editing.h"

#include "app/main_window.h"

namespace tovira {

namespace {
constexpr float kTwipsPerPixel = 15;
}

void PanelEditing::Command2_Click() {
    Form1& f = form_;
    f.homeleft = f.left();
    f.hometop = f.top();
    f.set_height(kViewHeight);
    f.set_width(kEditWidth);
    const platform::Size screen = f.platform().screen_size();
    const float screen_w = screen.width / kTwipsPerPixel;
    const float screen_h = screen.height / kTwipsPerPixel;
    const float window_w = f.width() / kTwipsPerPixel;
    const float window_h = f.height() / kTwipsPerPixel;
    f.set_left((screen_w - window_w) / 2 * kTwipsPerPixel);
    f.set_top((screen_h - window_h) / 2 * kTwipsPerPixel);
    f.set_focus(f.Command1.get());
}

void PanelEditing::t0_Change(int row) {
    if (row >= kSlotCount) return;  // the example row has no button
    Form1& f = form_;
    f.c1[row]->set_caption(f.t0[row]->text());
    f.platform().do_events();
    f.collapse();
}

void PanelEditing::t0_DblClick(int row) {
    form_.t0[row]->set_text("");
}
void PanelEditing::t1_DblClick(int row) {
    form_.t1[row]->set_text("");
}

void PanelEditing::t0_LostFocus(int row) {
    TextBox& box = *form_.t0[row];
    box.set_text(form_.platform().locale().to_upper(box.text()));
}

void PanelEditing::t1_LostFocus(int row) {
    TextBox& box = *form_.t1[row];
    box.set_text(form_.platform().locale().to_upper(box.text()));
}

void PanelEditing::Check2_Click(int slot) {
    Form1& f = form_;
    const bool on = f.Check2[slot]->value() == 1;
    f.c1[slot]->set_visible(on);
    f.slotactive.set(slot, on ? 1 : 0);
    f.collapse();
}

void PanelEditing::Check3_Click() {
    Form1& f = form_;
    if (f.Check3->value() == 1) {
        for (int i = 0; i < kSlotCount; ++i) {
            f.slotactive.set(i, 1);
            f.platform().do_events();
        }
    } else {
        for (int i = 0; i < kSlotCount; ++i) {
            f.slotactive.set(i, 0);
            f.l1[i]->set_caption("");
        }
    }
    f.collapse();
}

void PanelEditing::Command4_Click() {
    Form1& f = form_;
    alltoggle = -alltoggle;
    const int v = alltoggle == 1 ? 0 : 1;
    for (int i = 0; i < kSlotCount; ++i) {
        f.Check2[i]->set_value(v);
        f.slotactive.set(i, v);
    }
}

void PanelEditing::Check4_Click() {
    form_.collapse();
}

void PanelEditing::Option_Click(int n) {
    form_.set_back_color(kColourSchemes.at(n).background);
}

void PanelEditing::Label9_Click() {
    Form1& f = form_;
    f.Label9->set_back_color(kPatchBusyColour);
    f.scheduler.Command7_Click();
    f.Label9->set_back_color(kPatchColour);
}

}  // namespace tovira
