// When the online check runs after start-up: the minute timer counting down
// the typed interval, "Timer start", "Timer stop" and the manual request.
#pragma once

#include "controls/controls.h"
#include "platform/platform.h"

namespace tovira {

class FormWindow;
class InetControl;
class PanelLayout;
class StatusMonitor;

class UpdateScheduler {
public:
    // What the schedule reads and drives.
    struct Uses {
        platform::Platform& platform;
        const FormWindow& window;  // unloaded
        CheckBox& Check3;          // show-all box
        TextBox& Text2;            // interval field
        Label& Label6;             // timer state
        Timer& Timer6;             // minute timer
        InetControl& Inet1;        // busy test of the index fetch
        StatusMonitor& monitor;    // getwhazz, checkwhazz
        PanelLayout& layout;       // collapse
    };

    explicit UpdateScheduler(const Uses& uses) : f_(uses) {}

    // The manual request: un-ticks the show-all box, then runs one update
    // (fetch, matching, layout) unless one is already under way.
    void Command7_Click();  // "Manual "ATC's available" request"
    void Timer6_Timer();    // minute timer: counts the interval down
    void Command6_Click();  // "Timer start"
    void Command8_Click();  // "Timer stop"
    void Text2_Change();    // interval field: the countdown restarts
    void Text2_DblClick();  // interval field: cleared

    // An update (from any caller) is waiting for a server or laying out.
    bool update_running() const;

    double updatemins = 0;  // minutes left until the next automatic update

private:
    Uses f_;
    bool running_ = false;
};

}  // namespace tovira
