#include "dispatch/click_balloons.h"

#include "window/form_window.h"

namespace tovira {

bool ClickBalloons::show(Click click, int slot, std::string_view text, platform::Millis shown_ms) {
    platform::Platform& p = f_.platform;
    if (f_.window.unloaded() || p.quitting() || slot < 0 || slot >= kSlotCount) return false;
    const platform::Millis now = p.now_ms();
    if (click < shown_ && now < shown_until_) return false;
    shown_ = click;
    ++told_;
    shown_until_ = now + shown_ms;
    p.show_balloon(f_.c1[slot]->id(), text, shown_ms);
    return true;
}

}  // namespace tovira
