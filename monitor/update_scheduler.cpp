#include "monitor/update_scheduler.h"

#include "app/main_window.h"
#include "config/number_text.h"

namespace tovira {

bool UpdateScheduler::update_running() const {
    return running_ || form_.monitor.fetching();
}

void UpdateScheduler::Command7_Click() {
    Form1& f = form_;
    f.Check3->set_value(0);
    // One update at a time: a request that comes while another waits for a
    // server is skipped, as when the index fetch is still busy.
    if (f.Inet1.StillExecuting() || update_running()) return;
    running_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running_};
    f.getwhazz();
    if (f.unloaded()) return;
    f.checkwhazz();
    f.collapse();
}

void UpdateScheduler::Timer6_Timer() {
    updatemins -= 1;
    if (updatemins <= 0) {
        Command7_Click();
        updatemins = leading_number(form_.Text2->text());
    }
}

void UpdateScheduler::Command6_Click() {
    Form1& f = form_;
    f.Check3->set_value(0);
    f.Label6->set_caption("Timer was started");
    f.Timer6->set_enabled(false);
    updatemins = leading_number(f.Text2->text());
    f.platform().do_events();
    // Re-enabling restarts the minute, so the first tick is a full minute away.
    if (!f.unloaded()) f.Timer6->set_enabled(true);
}

void UpdateScheduler::Command8_Click() {
    form_.Timer6->set_enabled(false);
    form_.Label6->set_caption("Timer has been stopped");
}

void UpdateScheduler::Text2_Change() {
    updatemins = leading_number(form_.Text2->text());
}

void UpdateScheduler::Text2_DblClick() {
    form_.Text2->set_text("");
}

}  // namespace tovira
