// When the online check runs after start-up: the minute timer counting down
// the typed interval, "Timer start", "Timer stop" and the manual request.
#pragma once

namespace tovira {

class Form1;

class UpdateScheduler {
public:
    explicit UpdateScheduler(Form1& form) : form_(form) {}

    // The manual request: un-ticks the show-all box, then runs one update
    // (fetch, matching, layout) unless one is already under way.
    void Command7_Click();
    void Timer6_Timer();
    void Command6_Click();  // timer start
    void Command8_Click();  // timer stop
    void Text2_Change();
    void Text2_DblClick();

    // An update (from any caller) is waiting for a server or laying out.
    bool update_running() const;

    double updatemins = 0;  // minutes left until the next automatic update

private:
    Form1& form_;
    bool running_ = false;
};

}  // namespace tovira
