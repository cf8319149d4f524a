// The click dispatch: a click on a station button activates IvAc and, after
// the typing delay, types F4, Down, the slot's position and Enter, one step
// per 50 ms tick of the key timer.
#pragma once

#include <cstdint>
#include <optional>

namespace tovira {

class Form1;

inline constexpr char kIvacTitle[] = "IvAc";
inline constexpr unsigned kKeyStepMs = 50;

class Dispatch {
public:
    enum class State { Idle, Delaying, Typing };

    explicit Dispatch(Form1& form) : form_(form) {}

    void c1_Click(int index);
    void Timer4_Timer();
    void Timer8_Timer();
    void Text3_KeyPress(int code);
    void Check5_Click();

    State state() const;

    std::optional<std::int16_t> dispatchslot;  // unset until the first click
    std::int16_t dispatchstep = 0;
    int keywait = 0;  // 1 = on

private:
    Form1& form_;
};

}  // namespace tovira
