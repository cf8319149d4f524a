#include "panel/panel_layout.h"

#include <array>

#include "window/form_window.h"

namespace tovira {

void PanelLayout::collapse() {
    const Uses& f = f_;
    std::array<bool, kSlotCount> shown{};
    for (int i = 0; i < kSlotCount; ++i) {
        shown[i] = !f.c1[i]->caption().empty() && f.window.slotactive.get(i) != 0;
    }
    for (int i = 0; i < kSlotCount; ++i) {
        CommandButton& button = *f.c1[i];
        Label& label = *f.l1[i];
        const float top = kRowPitch * static_cast<float>(i);
        button.set_geometry(0, top, kButtonWidth, button.height());
        label.set_geometry(kLabelLeft, top, label.width(), label.height());
        button.set_visible(shown[i]);
        // A changed box runs its click reaction, which re-enters this
        // layout with the same inputs: the result is that of one run.
        f.Check2[i]->set_value(f.window.slotactive.get(i));
    }
    CommandButton& menu = f.Command2;
    const CommandButton& last = *f.c1[kSlotCount - 1];
    menu.set_geometry(0, last.top() + last.height() + 30, kButtonWidth, menu.height());
    f.Label9.set_top(menu.top());
    f.window.set_height(kViewHeight);
    f.Line2.set_ends(0, f.c1[10]->top() - 20, kSeparatorLength, f.c1[10]->top() - 20);
    f.Line3.set_ends(0, f.c1[20]->top() - 10, kSeparatorLength, f.c1[20]->top() - 10);
}

}  // namespace tovira
