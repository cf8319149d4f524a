// Each click's outcome, told beside its button; the newest shown first.
//
// A click's outcome can come late: a step of its sequence fails a second
// after it, Aurora answers within two seconds. Meanwhile the user may have
// clicked again; the older click's balloon must not replace what the newer
// one says. Every click takes a number when it is made, and every balloon
// is shown under the number of the click it reports on. The handover in
// Aurora takes the number of the click that sent it there and shows its
// outcome through `show` as well.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/station_table.h"
#include "controls/controls.h"
#include "platform/platform.h"

namespace tovira {

class FormWindow;

class ClickBalloons {
public:
    using Click = std::uint64_t;  // 1 for the first click; 0 for none

    // What the balloons read and drive.
    struct Uses {
        platform::Platform& platform;
        const FormWindow& window;                           // unloaded: nothing shown
        const ControlArray<CommandButton, kSlotCount>& c1;  // station buttons: the balloon's place
    };

    explicit ClickBalloons(const Uses& uses) : f_(uses) {}

    // A station button was clicked: its number.
    Click new_click() { return ++latest_; }
    Click latest() const { return latest_; }
    // Tells the outcome of click `click` beside the button of `slot` for
    // `shown_ms`, unless a newer click's balloon is still up (false then).
    // Nothing is shown once the window has unloaded or the program ends.
    bool show(Click click, int slot, std::string_view text,
              platform::Millis shown_ms = platform::kBalloonMs);
    // An outcome the user must learn even while a newer click's balloon is
    // up: shown as `show` does, else on a line of its own beside the newer
    // balloon's text, at its button.
    void tell(Click click, int slot, std::string_view text,
              platform::Millis shown_ms = platform::kBalloonMs);
    // The click whose balloon is shown last, and how many were shown.
    Click shown() const { return shown_; }
    std::uint64_t told() const { return told_; }
    // The click whose outcome was told last (an older one's beside a newer
    // balloon's text too).
    Click last_told() const { return last_told_; }

private:
    Uses f_;
    Click latest_ = 0;
    Click shown_ = 0;
    Click last_told_ = 0;
    std::uint64_t told_ = 0;
    platform::Millis shown_until_ = 0;
    int slot_ = 0;
    std::string text_;  // the balloon up
};

}  // namespace tovira
