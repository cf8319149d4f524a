#include "dispatch/dispatch.h"

#include <algorithm>
#include <cmath>

#include "config/number_text.h"
#include "dispatch/key_notation.h"
#include "window/form_window.h"

namespace tovira {

using platform::EventGate;

Dispatch::State Dispatch::state() const {
    if (f_.Timer8.enabled()) return State::Typing;
    if (f_.Timer4.enabled()) return State::Delaying;
    return State::Idle;
}

void Dispatch::c1_Click(int index) {
    const Uses& f = f_;
    platform::Platform& p = f.platform;
    dispatchslot = static_cast<std::int16_t>(index);
    bool active = false;
    {
        // Nothing may run between the new slot and the step reset: a key
        // tick of the running sequence would type the new slot's position.
        EventGate::Hold hold(p.gate());
        active = p.app_activate(kIvacTitle);
    }
    if (!active || f.window.unloaded()) return;  // no IvAc in front: nothing more
    if (pending_delay_) {
        // A delay confirmed while the last one ran holds from this click.
        f.Timer4.set_enabled(false);
        f.Timer4.set_interval(*pending_delay_);
        pending_delay_.reset();
    }
    dispatchstep = 0;
    // A delay of 0 never fires: arming it would leave a timer that a later
    // delay sets off without a click. A sequence under way still restarts
    // through the key timer.
    if (f.Timer4.interval() > 0) f.Timer4.set_enabled(true);
    p.do_events();
}

void Dispatch::Timer4_Timer() {
    const Uses& f = f_;
    f.Timer4.set_enabled(false);
    if (pending_delay_) {
        f.Timer4.set_interval(*pending_delay_);
        pending_delay_.reset();
    }
    f.Timer8.set_enabled(true);
}

void Dispatch::end_sequence() {
    f_.Timer4.set_enabled(false);
    f_.Timer8.set_enabled(false);
    dispatchstep = 5;
}

// Keys the user holds would combine with the typed ones (Alt with F4 closes
// IvAc). They are never released for the user: the step waits, serving the
// window, and gives up after kModifierWaitMs.
bool Dispatch::wait_for_modifiers() {
    platform::Platform& p = f_.platform;
    if (!p.modifiers_held()) return true;
    EventGate::Hold hold(p.gate());
    const platform::Millis until = p.now_ms() + kModifierWaitMs;
    while (p.modifiers_held()) {
        const platform::Millis now = p.now_ms();
        if (now >= until || p.quitting()) return false;
        p.wait_events(std::min(until, now + kModifierPollMs));
    }
    return true;
}

void Dispatch::Timer8_Timer() {
    const Uses& f = f_;
    ++dispatchstep;
    if (dispatchstep >= 5) {
        f.Timer8.set_enabled(false);
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
        end_sequence();
        return;
    }
    const platform::Millis tick_at = f.platform.now_ms();
    if (!keys.keys.empty() && !wait_for_modifiers()) {
        end_sequence();
        return;
    }
    if (f.window.unloaded()) return;
    bool typed = false;
    {
        EventGate::Hold hold(f.platform.gate());
        typed = f.platform.send_keys(text, keys.keys, wait);
    }
    // IvAc is gone or another window is in front: the rest of the command
    // must not go there either.
    if (!typed) {
        end_sequence();
        return;
    }
    // A step that waited (KeyWait, IvAc brought back, a modifier let go)
    // may find the next tick due or nearly due: the next step still comes a
    // whole key period after these keys went out, so that IvAc has that
    // long for each one.
    if (f.platform.now_ms() != tick_at && f.Timer8.enabled()) {
        f.Timer8.set_enabled(false);
        f.Timer8.set_enabled(true);
    }
}

void Dispatch::set_delay(unsigned ms) {
    if (f_.Timer4.enabled()) {
        pending_delay_ = ms;
        return;
    }
    pending_delay_.reset();
    f_.Timer4.set_interval(ms);
}

void Dispatch::Text3_KeyPress(int code) {
    if (code != 13) return;
    const double delay = round_half_even(leading_number(f_.Text3.text()));
    // A delay the timer cannot take keeps the previous one.
    if (!(delay >= 0 && delay <= 65535)) return;
    set_delay(static_cast<unsigned>(delay));
}

void Dispatch::Check5_Click() {
    keywait = f_.Check5.value() == 0 ? 0 : 1;
}

}  // namespace tovira
