#include "dispatch/dispatch.h"

#include <cmath>

#include "app/main_window.h"
#include "config/number_text.h"
#include "dispatch/key_notation.h"

namespace tovira {

Dispatch::State Dispatch::state() const {
    if (form_.Timer8->enabled()) return State::Typing;
    if (form_.Timer4->enabled()) return State::Delaying;
    return State::Idle;
}

void Dispatch::c1_Click(int index) {
    Form1& f = form_;
    dispatchslot = static_cast<std::int16_t>(index);
    if (!f.platform().app_activate(kIvacTitle)) return;  // no IvAc: nothing more
    dispatchstep = 0;
    f.Timer4->set_enabled(true);
    f.platform().do_events();
}

void Dispatch::Timer4_Timer() {
    form_.Timer4->set_enabled(false);
    form_.Timer8->set_enabled(true);
}

void Dispatch::Timer8_Timer() {
    Form1& f = form_;
    ++dispatchstep;
    if (dispatchstep >= 5) {
        f.Timer8->set_enabled(false);
        return;
    }
    const bool wait = keywait == 1;
    std::string text;
    switch (dispatchstep) {
        case 1: text = "{F4}"; break;
        case 2: text = "{DOWN}"; break;
        case 3: text = f.t1[dispatchslot.value_or(0)]->text(); break;
        case 4: text = "{ENTER}"; break;
        default: return;  // no step below 1: nothing to send
    }
    const KeyParse keys = parse_key_notation(text);
    if (!keys.ok) {
        // A position the notation cannot express: type none of it, send no
        // Enter into a half-typed command, and end the sequence cleanly.
        f.Timer4->set_enabled(false);
        f.Timer8->set_enabled(false);
        dispatchstep = 5;
        return;
    }
    f.platform().send_keys(text, keys.keys, wait);
}

void Dispatch::Text3_KeyPress(int code) {
    if (code != 13) return;
    const double delay = round_half_even(leading_number(form_.Text3->text()));
    // A delay the timer cannot take keeps the previous one.
    if (!(delay >= 0 && delay <= 65535)) return;
    form_.Timer4->set_interval(static_cast<long long>(delay));
}

void Dispatch::Check5_Click() {
    keywait = form_.Check5->value() == 0 ? 0 : 1;
}

}  // namespace tovira
