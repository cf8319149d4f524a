// How an update reaches the network's clients: whether it tries the status
// index first or goes straight to the current feed, and whether a feed
// document read a moment ago answers for it without a request.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace tovira {

// The network renews the feed about every 15 s and serves it through a
// cache; a document is used again by every update starting within this
// time of its request's start.
inline constexpr platform::Millis kFeedReuseMs = 15000;
// Once the built-in index has yielded no client, it is tried again at most
// this often; the updates in between go straight to the feed.
inline constexpr platform::Millis kIndexRetryMs = 3600000;

class FeedRoute {
public:
    // The records of the last feed document read, when its request started
    // less than kFeedReuseMs before `update_start`.
    const std::string* reusable(platform::Millis update_start) const;
    // A request that started at `request_start` read a feed document.
    void read(platform::Millis request_start, std::string records);

    // Whether an update starting at `update_start` skips the index path.
    bool straight_to_feed(platform::Millis update_start) const;
    // The index path of an update that started at `update_start` reached
    // its end, with a client record or without.
    void index_path_ended(platform::Millis update_start, bool clients);

private:
    std::optional<platform::Millis> read_at_;
    std::string records_;
    std::optional<platform::Millis> index_without_clients_at_;
};

}  // namespace tovira
