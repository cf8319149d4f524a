// The click dispatch: a click on a station button activates IvAc and, after
// the typing delay, types F4, Down, the slot's position and Enter, one step
// per 50 ms tick of the key timer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "dispatch/aurora_client.h"

namespace tovira {

class Form1;

inline constexpr char kIvacTitle[] = "IvAc";
inline constexpr unsigned kKeyStepMs = 50;
// A step waits this long at most for the user to let go of Alt, Ctrl, Shift
// and Windows, polling this often; still held, the sequence ends.
inline constexpr std::int64_t kModifierWaitMs = 2000;
inline constexpr std::int64_t kModifierPollMs = 10;

class Dispatch {
public:
    enum class State { Idle, Delaying, Typing };

    explicit Dispatch(Form1& form);
    ~Dispatch();

    void c1_Click(int index);
    void Timer4_Timer();
    void Timer8_Timer();
    void Text3_KeyPress(int code);
    void Check5_Click();
    // Sets the typing delay (ms, 0 to 65535). A sequence under way keeps
    // its own: while the delay timer runs, the new one waits for the next
    // click.
    void set_delay(unsigned ms);

    State state() const;

    // Where no IvAc window exists a click hands over in Aurora; set before
    // the first click.
    std::uint16_t aurora_port = kAuroraPort;
    // Ends a handover in Aurora under way, without a word to it.
    void stop_aurora();

    std::optional<std::int16_t> dispatchslot;  // unset until the first click
    std::int16_t dispatchstep = 0;
    int keywait = 0;  // 1 = on

private:
    // Ends the sequence under way: both timers off, nothing more typed.
    void end_sequence();
    bool wait_for_modifiers();

    AuroraClient& aurora();

    Form1& form_;
    std::optional<unsigned> pending_delay_;
    std::unique_ptr<AuroraClient> aurora_;
};

}  // namespace tovira
