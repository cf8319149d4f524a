#include "dispatch/dispatch.h"

#include <algorithm>
#include <cmath>

#include "config/number_text.h"
#include "dispatch/key_notation.h"
#include "window/form_window.h"

namespace tovira {

using platform::EventGate;
using platform::KeysSent;

namespace {

// What the balloon beside the clicked button says when a handover ends
// without being typed whole.
constexpr std::string_view kBalloonNoIvac = "IvAc not found: not typed";
constexpr std::string_view kBalloonNotInFront = "IvAc did not come forward: not typed";
constexpr std::string_view kBalloonOther = "Another window is in front: not typed";
constexpr std::string_view kBalloonHeld = "A key or mouse button was held: not typed";
constexpr std::string_view kBalloonHung = "IvAc is not responding: not typed";
constexpr std::string_view kBalloonElevated =
    "IvAc runs as administrator: start Tovira as administrator too";
constexpr std::string_view kBalloonImeOpen =
    "An input method is open in IvAc: close it, then click again";
constexpr std::string_view kBalloonNoDelay = "The typing delay is 0: not typed";
constexpr std::string_view kBalloonBadPosition =
    "F4 and Down typed, not the rest: the position cannot be typed";
constexpr std::string_view kRefused = "Windows refused the keys";

}  // namespace

Dispatch::State Dispatch::state() const {
    if (f_.Timer8.enabled()) return State::Typing;
    if (f_.Timer4.enabled()) return State::Delaying;
    return State::Idle;
}

void Dispatch::c1_Click(int index) {
    const Uses& f = f_;
    platform::Platform& p = f.platform;
    const ClickBalloons::Click click = f.balloons.new_click();
    dispatchslot = static_cast<std::int16_t>(index);
    platform::Activation activation = platform::Activation::NoWindow;
    {
        // Nothing may run between the new slot and the step reset: a key
        // tick of the running sequence would type the new slot's position.
        EventGate::Hold hold(p.gate());
        activation = p.app_activate(kIvacTitle);
    }
    if (f.window.unloaded()) return;
    // One click, one outcome: a click that does not bring IvAc forward ends
    // the sequence under way, whose next steps would type this click's
    // position after the old click's F4, while this click says "not typed".
    std::string_view why;
    switch (activation) {
        case platform::Activation::InFront: break;
        // No IvAc at all: the handover goes to Aurora, with no delay and no
        // key.
        case platform::Activation::NoWindow:
            end_sequence();
            f.aurora.click(index, click);
            return;
        // An IvAc window that stayed behind is IvAc's failure, not Aurora's
        // turn: nothing more, but the user learns why.
        case platform::Activation::NotInFront: why = kBalloonNotInFront; break;
        case platform::Activation::Hung: why = kBalloonHung; break;
        case platform::Activation::Elevated: why = kBalloonElevated; break;
        case platform::Activation::ImeOpen: why = kBalloonImeOpen; break;
    }
    if (!why.empty()) {
        end_sequence();
        f.balloons.show(click, index, why);
        return;
    }
    held_since_.reset();
    sequence_click_ = click;
    if (pending_delay_) {
        // A delay confirmed while the last one ran holds from this click.
        f.Timer4.set_enabled(false);
        f.Timer4.set_interval(*pending_delay_);
        pending_delay_.reset();
    }
    // A delay of 0 never fires: arming it would leave a timer that a later
    // delay sets off without a click. A sequence under way still restarts
    // through the key timer; with none, the click types nothing and says so.
    if (f.Timer4.interval() == 0 && !f.Timer8.enabled()) {
        f.balloons.show(click, index, kBalloonNoDelay);
    }
    dispatchstep = 0;
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

void Dispatch::give_up(std::string_view why) {
    end_sequence();
    held_since_.reset();
    f_.balloons.show(sequence_click_, dispatchslot.value_or(0), why);
}

std::string Dispatch::refused_text(int step) {
    static constexpr std::string_view kDone[] = {"", "F4", "F4 and Down",
                                                 "F4, Down and the position"};
    std::string text;
    if (step <= 1 || step > 4) {
        text.append(kRefused).append(": not typed");
    } else {
        text.append(kDone[step - 1]).append(" typed, not the rest: ").append(kRefused);
    }
    return text;
}

// Keys the user holds would combine with the typed ones (Alt with F4 closes
// IvAc), and a window brought forward under a held button would take the
// press from the button. The user's keys are never released for them: the
// step goes again at the next tick, without holding the window's events, so
// that a click meanwhile restarts the sequence as any click does.
bool Dispatch::put_off() {
    const platform::Millis now = f_.platform.now_ms();
    if (!held_since_) held_since_ = now;
    if (now - *held_since_ >= kHeldWaitMs) return false;
    --dispatchstep;
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
        give_up(kBalloonBadPosition);
        return;
    }
    platform::Platform& p = f.platform;
    const platform::Millis tick_at = p.now_ms();
    if (!keys.keys.empty() && (p.modifiers_held() || p.mouse_buttons_held())) {
        if (!put_off()) give_up(kBalloonHeld);
        return;
    }
    if (f.window.unloaded()) return;
    KeysSent sent = KeysSent::NoWindow;
    {
        EventGate::Hold hold(p.gate());
        sent = p.send_keys(text, keys.keys, wait);
    }
    if (f.window.unloaded()) return;
    switch (sent) {
        case KeysSent::Typed: held_since_.reset(); break;
        case KeysSent::Held:
            if (!put_off()) give_up(kBalloonHeld);
            return;
        // IvAc is gone or another window is in front: the rest of the
        // command must not go there either.
        case KeysSent::NoWindow: give_up(kBalloonNoIvac); return;
        case KeysSent::OtherInFront: give_up(kBalloonOther); return;
        case KeysSent::NotInFront: give_up(kBalloonNotInFront); return;
        case KeysSent::Hung: give_up(kBalloonHung); return;
        // Opened after the click: the rest would be composed, not typed.
        case KeysSent::ImeOpen: give_up(kBalloonImeOpen); return;
        case KeysSent::Refused: give_up(refused_text(dispatchstep)); return;
    }
    // A step that waited (KeyWait, IvAc brought back)
    // may find the next tick due or nearly due: the next step still comes a
    // whole key period after these keys went out, so that IvAc has that
    // long for each one.
    if (p.now_ms() != tick_at && f.Timer8.enabled()) {
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
