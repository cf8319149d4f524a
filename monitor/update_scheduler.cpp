#include "monitor/update_scheduler.h"

#include "config/number_text.h"
#include "monitor/inet_control.h"
#include "monitor/status_parser.h"
#include "panel/panel_layout.h"
#include "window/form_window.h"

namespace tovira {

bool UpdateScheduler::update_running() const {
    return running_ || f_.monitor.fetching();
}

void UpdateScheduler::Command7_Click() {
    const Uses& f = f_;
    f.Check3.set_value(0);
    // One update at a time: a request that comes while another waits for a
    // server is skipped, as when the index fetch is still busy.
    if (f.Inet1.StillExecuting() || update_running()) return;
    running_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running_};
    f.monitor.getwhazz();
    if (f.window.unloaded()) return;
    f.monitor.checkwhazz();
    f.layout.collapse();
}

void UpdateScheduler::Timer6_Timer() {
    updatemins -= 1;
    if (updatemins <= 0) {
        Command7_Click();
        updatemins = leading_number(f_.Text2.text());
    }
}

void UpdateScheduler::Command6_Click() {
    const Uses& f = f_;
    f.Check3.set_value(0);
    f.Label6.set_caption("Timer was started");
    f.Timer6.set_enabled(false);
    updatemins = leading_number(f.Text2.text());
    f.platform.do_events();
    // Re-enabling restarts the minute, so the first tick is a full minute away.
    if (!f.window.unloaded()) f.Timer6.set_enabled(true);
}

void UpdateScheduler::Command8_Click() {
    f_.Timer6.set_enabled(false);
    f_.Label6.set_caption("Timer has been stopped");
}

void UpdateScheduler::Text2_Change() {
    updatemins = leading_number(f_.Text2.text());
}

void UpdateScheduler::Text2_DblClick() {
    f_.Text2.set_text("");
}

}  // namespace tovira
