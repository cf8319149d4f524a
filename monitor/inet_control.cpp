#include "monitor/inet_control.h"

#include <utility>

namespace tovira {

InetControl::InetControl(platform::Platform& platform)
    : platform_(platform), fetch_(platform.create_url_fetch(*this)) {}
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

    if (!fetch_->start(URL, kMaxIndexBytes)) throw FetchError("cannot fetch " + URL);
    const platform::Millis deadline = platform_.now_ms() + kInetTimeoutMs;
    while (!done_) {
        if (platform_.quitting() || platform_.now_ms() >= deadline) {
            fetch_->cancel();
            throw FetchError("no answer from " + URL);
        }
        platform_.wait_events(deadline);
    }
    if (!result_.ok || result_.body.size() > kMaxIndexBytes) {
        throw FetchError("fetch failed: " + URL);
    }
    return std::exchange(result_.body, {});
}

void InetControl::on_url_fetch_done(platform::UrlFetchResult result) {
    done_ = true;
    result_ = std::move(result);
}

}  // namespace tovira
