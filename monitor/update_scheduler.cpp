#include "monitor/update_scheduler.h"

#include "app/main_window.h"
#include "config/number_text.h"

namespace tovira {

void UpdateScheduler::Command7_Click() {}
void UpdateScheduler::Timer6_Timer() {}
void UpdateScheduler::Command6_Click() {}
void UpdateScheduler::Command8_Click() {}
void UpdateScheduler::Text2_Change() { updatemins = leading_number(form_.Text2->text()); }
void UpdateScheduler::Text2_DblClick() { form_.Text2->set_text(""); }

}  // namespace tovira
