#include "dispatch/click_balloons.h"

#include <algorithm>

#include "window/form_window.h"

namespace tovira {

bool ClickBalloons::show(Click click, int slot, std::string_view text, platform::Millis shown_ms) {
    platform::Platform& p = f_.platform;
    if (f_.window.unloaded() || p.quitting() || slot < 0 || slot >= kSlotCount) return false;
    const platform::Millis now = p.now_ms();
    if (click < shown_ && now < shown_until_) return false;
    shown_ = last_told_ = click;
    ++told_;
    shown_until_ = now + shown_ms;
    slot_ = slot;
    text_ = text;
    p.show_balloon(f_.c1[slot]->id(), text, shown_ms);
    return true;
}

void ClickBalloons::tell(Click click, int slot, std::string_view text, platform::Millis shown_ms) {
    if (show(click, slot, text, shown_ms)) return;
    platform::Platform& p = f_.platform;
    if (f_.window.unloaded() || p.quitting() || slot < 0 || slot >= kSlotCount) return;
    // One balloon at a time: the newer stays where it is, the older joins it.
    const platform::Millis now = p.now_ms();
    text_ += "\n";
    text_ += text;
    shown_until_ = std::max(shown_until_, now + shown_ms);
    last_told_ = click;
    ++told_;
    p.show_balloon(f_.c1[slot_]->id(), text_, shown_until_ - now);
}

}  // namespace tovira
