// `Inet1`: fetches a URL synchronously for its caller while the event loop
// keeps being served, with a 60-second time-out and a busy test. The current
// feed is fetched by a second one with its own limits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/platform.h"

namespace tovira {

class FetchError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr platform::Millis kInetTimeoutMs = platform::kUrlFetchTimeoutMs;
inline constexpr std::size_t kMaxIndexBytes = std::size_t{1} << 20;

struct FetchLimits {
    platform::Millis timeout_ms = kInetTimeoutMs;
    std::size_t max_bytes = kMaxIndexBytes;
    // An answer whose HTTP status is not 2xx counts as a failure. The index
    // takes any body, as the status file does.
    bool http_errors_fail = false;
};

class InetControl : private platform::UrlFetchEvents {
public:
    explicit InetControl(platform::Platform& platform, FetchLimits limits = {});
    ~InetControl() override;
    InetControl(const InetControl&) = delete;
    InetControl& operator=(const InetControl&) = delete;

    std::string URL;
    // The body of `URL` (8-bit code page). Returns when the transfer has
    // ended; pending events run meanwhile. Throws FetchError on failure, after
    // the time-out, on a body over the size limit, when the program is ending,
    // and when a transfer is already under way. A failed fetch keeps nothing
    // of its body.
    std::string OpenURL();
    bool StillExecuting() const { return busy_; }
    const FetchLimits& limits() const { return limits_; }
    void set_timeout_ms(platform::Millis ms) { limits_.timeout_ms = ms; }
    // What the fetches since `forget_helper` told of their helper: one that
    // ran (whatever became of the transfer), and the reason of the last
    // that could not start or ended before it answered.
    bool helper_ran() const { return helper_ran_; }
    const std::string& helper_failure() const { return helper_failure_; }
    void forget_helper() {
        helper_ran_ = false;
        helper_failure_.clear();
    }
    // Memory it still holds for a result beyond an empty text's: none
    // between fetches.
    std::size_t held_bytes() const {
        return result_.body.capacity() -
               std::min(result_.body.capacity(), std::string().capacity());
    }

private:
    void on_url_fetch_done(platform::UrlFetchResult result) override;

    platform::Platform& platform_;
    FetchLimits limits_;
    std::unique_ptr<platform::UrlFetch> fetch_;
    bool busy_ = false;
    bool done_ = false;
    bool helper_ran_ = false;
    std::string helper_failure_;
    platform::UrlFetchResult result_;
};

}  // namespace tovira
