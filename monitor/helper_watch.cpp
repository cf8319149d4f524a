#include "monitor/helper_watch.h"

namespace tovira {

HelperWatch::Action HelperWatch::after_update(const HelperReport& report) {
    if (report.ran) {
        failed_in_a_row_ = 0;
        if (!shown_) return Action::None;
        shown_ = false;
        return Action::Clear;
    }
    if (report.failure.empty()) return Action::None;
    if (++failed_in_a_row_ < kHelperFailuresShown) return Action::None;
    // Shown once; later failures only keep the reason up to date.
    shown_ = true;
    return Action::Show;
}

std::string helper_notice(const std::string& reason) {
    return "Tovira cannot start its network helper: " + reason + " (security software?)";
}

}  // namespace tovira
