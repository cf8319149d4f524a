// The network helper's watch: every fetch of an update runs in a helper
// process, and where security software or a policy blocks its start every
// update fails at once, which looks exactly like an outage of the network.
// Three updates in a row whose helper could not start (and none that ran)
// make a notice; the next update whose helper ran clears it.
#pragma once

#include <string>

namespace tovira {

inline constexpr int kHelperFailuresShown = 3;

// What one update's fetches told of their helper.
struct HelperReport {
    bool ran = false;     // at least one helper started and answered
    std::string failure;  // the reason of one that did not; empty: none
};

class HelperWatch {
public:
    enum class Action { None, Show, Clear };

    // What the notice does after an update. An update without a fetch (its
    // result reused) tells nothing and changes nothing.
    Action after_update(const HelperReport& report);

private:
    int failed_in_a_row_ = 0;
    bool shown_ = false;
};

// The notice's text for `reason`.
std::string helper_notice(const std::string& reason);

}  // namespace tovira
