#include "monitor/addresses.h"

#include <algorithm>
#include <optional>

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
    constexpr std::string_view kIndexOption = "--status-index";
    constexpr std::string_view kFeedOption = "--feed";
    std::optional<std::string> index;
    std::optional<std::string> feed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        for (const auto& [name, target] :
             {std::pair{kIndexOption, &index}, std::pair{kFeedOption, &feed}}) {
            std::string_view val;
            if (arg == name) {
                // "--status-index --feed X": the option has no value.
                if (i + 1 >= args.size() || args[i + 1].starts_with("--")) break;
                val = args[++i];
            } else if (arg.size() > name.size() && arg.starts_with(name) &&
                       arg[name.size()] == '=') {
                val = arg.substr(name.size() + 1);
            } else {
                continue;
            }
            if (!val.empty()) *target = std::string(val);
            break;
        }
    }
    MonitorAddresses a;
    if (index) a.status_index = *index;
    if (feed) a.feed = *feed;
    // A private index alone never falls back on the public feed; a feed
    // named with it is the user's own choice.
    a.feed_fallback = !index || feed;
    a.private_index = index.has_value();
    return a;
}

long test_fetch_deadline_ms(std::span<const std::string> args) {
    constexpr std::string_view kOption = "--test-fetch-deadline-ms";
    long ms = 0;
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] != kOption) continue;
        const std::string& v = args[i + 1];
        long n = 0;
        const bool digits =
            !v.empty() && v.size() <= 6 &&
            std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (digits) n = std::stol(v);
        ms = digits && n >= 1 && n <= 600000 ? n : 0;
    }
    return ms;
}

}  // namespace tovira
