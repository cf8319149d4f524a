// Holds the core's events while the dispatch waits for the outside world.
//
// Activating IvAc, typing a step and waiting for the user's modifier keys
// all wait while the backend keeps serving the window (Windows needs its
// messages answered). No handler of the core may run inside such a wait: a
// key tick of the running sequence would type between a click's new slot
// and its step reset, a click would start a second dispatch inside the
// first. Both backends hand every event for the core to `deliver`; while
// a `Hold` is alive the gate keeps the events, in order, and delivers them
// from the event loop once the wait is over. Timer ticks are kept like
// Windows keeps WM_TIMER: at most one per timer. Should the loop refuse the
// delivery's post, the next pass of the loop delivers instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>

namespace tovira::platform {

class Platform;
class TimerSink;

// What a kept event is, for the end of the Windows session: the user's
// edits (a field's text, a check box, an option) must reach the save.
enum class EventKind : std::uint8_t { Other, Edit };

class EventGate {
public:
    explicit EventGate(Platform& platform) : platform_(platform) {}
    EventGate(const EventGate&) = delete;
    EventGate& operator=(const EventGate&) = delete;

    // Backend: runs `event` now, or keeps it while a hold is alive. Events
    // kept earlier always run first.
    void deliver(std::function<void()> event, EventKind kind = EventKind::Other);
    // Backend: a tick of `timer`; kept at most once per timer.
    void deliver_tick(TimerSink& timer);
    // Backend: `timer` was stopped or restarted; a tick it still keeps goes.
    void drop_tick(TimerSink& timer);
    // Backend: the core is going away; nothing kept is delivered.
    void clear() { held_.clear(); }
    // Backend, at the end of the Windows session only: delivers the kept
    // edits at once, even inside a hold, so that the save sees them, and
    // drops every other kept event (an update would hold up the save).
    // From then on only edits run, at once, whatever the edits' reactions
    // do (one that lets pending events run must not bring a kept click
    // back); every other event is dropped.
    void end_session();
    bool session_ended() const { return ending_; }
    // Backend, at each pass of its event loop: a delivery whose post failed
    // happens here.
    void loop_pass();

    bool holding() const { return holds_ > 0; }
    std::size_t held() const { return held_.size(); }

    // Core: no event runs while one is alive (they nest).
    class Hold {
    public:
        explicit Hold(EventGate& gate) : gate_(gate) { ++gate_.holds_; }
        ~Hold() { gate_.end_hold(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        EventGate& gate_;
    };

private:
    struct Held {
        std::function<void()> event;
        TimerSink* timer = nullptr;  // a tick instead of `event`
        EventKind kind = EventKind::Other;
    };
    void end_hold();
    void post_release();
    void release();
    void run(Held& h);

    Platform& platform_;
    int holds_ = 0;
    bool ending_ = false;  // the Windows session ends: edits only
    bool release_posted_ = false;
    bool release_failed_ = false;  // the post was refused: the loop delivers
    std::deque<Held> held_;
};

}  // namespace tovira::platform
