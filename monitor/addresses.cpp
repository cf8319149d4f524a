#include "monitor/addresses.h"

#include "config/command_line.h"

#ifndef TOVIRA_STATUS_INDEX_URL
#define TOVIRA_STATUS_INDEX_URL "http://www.ivao.aero/whazzup/status.txt"
#endif
#ifndef TOVIRA_FEED_URL
#define TOVIRA_FEED_URL "https://api.ivao.aero/v2/tracker/whazzup"
#endif

namespace tovira {

std::string_view status_index_url() {
    return TOVIRA_STATUS_INDEX_URL;
}

std::string_view feed_url() {
    return TOVIRA_FEED_URL;
}

MonitorAddresses addresses_from_command_line(std::span<const std::string> args) {
    MonitorAddresses a;
    bool index = false;
    bool feed = false;
    for (const std::string_view value : option_values(args, "--status-index")) {
        if (value.empty()) continue;
        a.status_index = std::string(value);
        index = true;
    }
    for (const std::string_view value : option_values(args, "--feed")) {
        if (value.empty()) continue;
        a.feed = std::string(value);
        feed = true;
    }
    // A private index alone never falls back on the public feed; a feed
    // named with it is the user's own choice.
    a.feed_fallback = !index || feed;
    a.private_index = index;
    return a;
}

long test_fetch_deadline_ms(std::span<const std::string> args) {
    return static_cast<long>(
        number_option(args, "--test-fetch-deadline-ms", 1, 600000).value_or(0));
}

}  // namespace tovira
