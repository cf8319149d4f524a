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

    // Once the program or the Windows session ends, no fetch starts: the
    // save must not wait behind a child process.
    if (platform_.quitting()) throw FetchError("ending: " + URL);
    if (!fetch_->start(URL, limits_.max_bytes)) throw FetchError("cannot fetch " + URL);
    const platform::Millis deadline = platform_.now_ms() + limits_.timeout_ms;
    while (!done_) {
        if (platform_.quitting() || platform_.now_ms() >= deadline) {
            // A failed start is reported at once: this helper was running.
            helper_ran_ = true;
            fetch_->cancel();
            throw FetchError("no answer from " + URL);
        }
        platform_.wait_events(deadline);
    }
    // Whatever happens, the body leaves with this call: a failed one must
    // not stay in memory until the next update.
    platform::UrlFetchResult result = std::exchange(result_, {});
    if (result.helper_failure.empty()) {
        helper_ran_ = true;
    } else {
        helper_failure_ = std::move(result.helper_failure);
        throw FetchError("the helper did not start: " + helper_failure_);
    }
    if (!result.ok || result.body.size() > limits_.max_bytes) {
        throw FetchError("fetch failed: " + URL);
    }
    const int status = result.status;
    if (limits_.http_errors_fail && status != 0 && (status < 200 || status > 299)) {
        throw FetchError("HTTP status " + std::to_string(status) + ": " + URL);
    }
    return std::move(result.body);
}

void InetControl::on_url_fetch_done(platform::UrlFetchResult result) {
    done_ = true;
    result_ = std::move(result);
    if (!result_.ok) std::string().swap(result_.body);
}

}  // namespace tovira
