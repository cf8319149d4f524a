#include "monitor/feed_route.h"

#include <utility>

namespace tovira {

const std::string* FeedRoute::reusable(platform::Millis update_start) const {
    if (!read_at_) return nullptr;
    const platform::Millis age = update_start - *read_at_;
    return age >= 0 && age < kFeedReuseMs ? &records_ : nullptr;
}

void FeedRoute::read(platform::Millis request_start, std::string records) {
    read_at_ = request_start;
    records_ = std::move(records);
}

bool FeedRoute::straight_to_feed(platform::Millis update_start) const {
    return index_without_clients_at_ && update_start - *index_without_clients_at_ < kIndexRetryMs;
}

void FeedRoute::index_path_ended(platform::Millis update_start, bool clients) {
    if (clients) {
        index_without_clients_at_.reset();
    } else {
        index_without_clients_at_ = update_start;
    }
}

}  // namespace tovira
