#include "platform/event_gate.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace tovira::platform {

void EventGate::deliver(std::function<void()> event, EventKind kind) {
    if (ending_) {
        if (kind == EventKind::Edit) event();
        return;
    }
    if (holds_ == 0 && held_.empty()) {
        event();
        return;
    }
    held_.push_back({std::move(event), nullptr, kind});
    // Outside a hold, what was kept runs first, then this event.
    if (holds_ == 0) release();
}

void EventGate::deliver_tick(TimerSink& timer) {
    if (ending_) return;
    if (holds_ == 0 && held_.empty()) {
        timer.on_timer_tick();
        return;
    }
    const bool kept =
        std::any_of(held_.begin(), held_.end(), [&](const Held& h) { return h.timer == &timer; });
    if (!kept) held_.push_back({{}, &timer, EventKind::Other});
    if (holds_ == 0) release();
}

void EventGate::drop_tick(TimerSink& timer) {
    std::erase_if(held_, [&](const Held& h) { return h.timer == &timer; });
}

void EventGate::end_hold() {
    // Not here: the handler that held is still running, and its next
    // statement must come before any kept event (the step reset after the
    // activation). The loop delivers them as its next event.
    if (--holds_ == 0) post_release();
}

void EventGate::post_release() {
    if (held_.empty() || release_posted_) return;
    release_posted_ = true;
    release_failed_ = false;
    const bool posted = platform_.post([this] {
        release_posted_ = false;
        release();
    });
    if (!posted) {
        release_posted_ = false;
        release_failed_ = true;
    }
}

void EventGate::loop_pass() {
    if (!release_failed_ || holds_ > 0) return;
    release_failed_ = false;
    release();
}

void EventGate::release() {
    // A hold may begin inside a kept event; the rest then waits for its end.
    while (holds_ == 0 && !held_.empty() && !ending_) {
        Held h = std::move(held_.front());
        held_.pop_front();
        // A kept event may serve the loop itself (an update waiting for its
        // server): the rest must be able to run in there, as they would have.
        post_release();
        run(h);
    }
}

void EventGate::end_session() {
    ending_ = true;
    release_failed_ = false;
    // Taken out first: an edit's reaction that lets pending events run must
    // find nothing kept to deliver.
    std::deque<Held> kept = std::move(held_);
    held_.clear();
    for (Held& h : kept) {
        if (h.kind == EventKind::Edit) run(h);
    }
}

void EventGate::run(Held& h) {
    if (h.timer) {
        h.timer->on_timer_tick();
    } else if (h.event) {
        h.event();
    }
}

}  // namespace tovira::platform
