// The click dispatch: a click on a station button activates IvAc and, after
// the typing delay, types F4, Down, the slot's position and Enter, one step
// per 50 ms tick of the key timer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/station_table.h"
#include "controls/controls.h"
#include "dispatch/aurora_client.h"
#include "dispatch/click_balloons.h"
#include "platform/platform.h"

namespace tovira {

class FormWindow;

inline constexpr char kIvacTitle[] = "IvAc";
inline constexpr unsigned kKeyStepMs = 50;
// A step that finds Alt, Ctrl, Shift, Windows or a mouse button held (a
// push-to-talk key through a whole transmission, a press that is to be a
// click) tries again at each key tick for this long; still held, the
// sequence ends untyped. The window is served meanwhile, clicks included.
inline constexpr std::int64_t kHeldWaitMs = 10000;

class Dispatch {
public:
    enum class State { Idle, Delaying, Typing };

    // What the dispatch reads and drives.
    struct Uses {
        platform::Platform& platform;
        const FormWindow& window;                     // unloaded
        ClickBalloons& balloons;                      // each click's outcome
        Timer& Timer4;                                // delay timer
        Timer& Timer8;                                // key timer
        const ControlArray<TextBox, kFieldRows>& t1;  // the positions typed
        TextBox& Text3;                               // delay field
        CheckBox& Check5;                             // KeyWait box
        AuroraClient& aurora;                         // the handover where no IvAc exists
    };

    explicit Dispatch(const Uses& uses) : f_(uses) {}

    void c1_Click(int index);       // station button
    void Timer4_Timer();            // delay timer: the typing delay after a click
    void Timer8_Timer();            // key timer: one key step per tick
    void Text3_KeyPress(int code);  // delay field: Enter sets the typing delay
    void Check5_Click();            // "KeyWait an/aus"
    // Sets the typing delay (ms, 0 to 65535). A sequence under way keeps
    // its own: while the delay timer runs, the new one waits for the next
    // click.
    void set_delay(unsigned ms);

    State state() const;

    std::optional<std::int16_t> dispatchslot;  // unset until the first click
    std::int16_t dispatchstep = 0;
    int keywait = 0;  // 1 = on

    // What the balloon says when Windows refused the keys of `step` (1 to
    // 4): how far the sequence got.
    static std::string refused_text(int step);

private:
    // Ends the sequence under way: both timers off, nothing more typed.
    void end_sequence();
    // Ends it and tells the user why, beside the button of the click whose
    // sequence it was.
    void give_up(std::string_view why);
    // A step the user's held keys or buttons put off: false once it waited
    // too long.
    bool put_off();

    Uses f_;
    std::optional<unsigned> pending_delay_;
    std::optional<std::int64_t> held_since_;  // the step waits for the user
    // The click whose sequence runs: the latest that brought IvAc forward.
    ClickBalloons::Click sequence_click_ = 0;
};

}  // namespace tovira
