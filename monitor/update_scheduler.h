// When the online check runs after start-up: the minute timer counting down
// the typed interval, "Timer start", "Timer stop" and the manual request.
#pragma once

namespace tovira {

class Form1;

class UpdateScheduler {
public:
    explicit UpdateScheduler(Form1& form) : form_(form) {}

    void Command7_Click();  // the manual request
    void Timer6_Timer();
    void Command6_Click();  // timer start
    void Command8_Click();  // timer stop
    void Text2_Change();
    void Text2_DblClick();

    bool update_running() const { return running_; }

    double updatemins = 0;

private:
    Form1& form_;
    bool running_ = false;
};

}  // namespace tovira
