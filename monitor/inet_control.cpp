#include "monitor/inet_control.h"

#include <utility>

namespace tovira {

InetControl::InetControl(platform::Platform& platform, FetchLimits limits)
    : platform_(platform), limits_(limits), fetch_(platform.create_url_fetch(*this)) {}
InetControl::~InetControl() = default;

std::string InetControl::OpenURL() {
    if (busy_) throw FetchError("still executing the last request");
    busy_ = true;
    done_ = false;
    result_ = {};
    struct Idle {
        bool& busy;
        ~Idle() { busy = false; }
    } idle{busy_};

    if (!fetch_->start(URL, limits_.max_bytes)) throw FetchError("cannot fetch " + URL);
    const platform::Millis deadline = platform_.now_ms() + limits_.timeout_ms;
    while (!done_) {
        if (platform_.quitting() || platform_.now_ms() >= deadline) {
            fetch_->cancel();
            throw FetchError("no answer from " + URL);
        }
        platform_.wait_events(deadline);
    }
    if (!result_.ok || result_.body.size() > limits_.max_bytes) {
        throw FetchError("fetch failed: " + URL);
    }
    const int status = result_.status;
    if (limits_.http_errors_fail && status != 0 && (status < 200 || status > 299)) {
        throw FetchError("HTTP status " + std::to_string(status) + ": " + URL);
    }
    return std::exchange(result_.body, {});
}

void InetControl::on_url_fetch_done(platform::UrlFetchResult result) {
    done_ = true;
    result_ = std::move(result);
}

}  // namespace tovira
