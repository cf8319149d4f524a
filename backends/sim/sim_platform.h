// The deterministic backend: the real core runs on it in tests, benchmarks
// and fuzzers.
//
// Implements: virtual time in milliseconds; timers firing in order of due
// time; `do_events` running what is due now; idle waits advancing time to
// the next event; scheduled actions (a user's click at a chosen moment),
// which pass the core's event gate like every event of the Windows
// backend, and scheduled changes of the desktop, which do not; a window
// record; monitors' work areas that tests set and change, a window the user
// is moving; fake top-level windows that take the foreground at once, late or
// never, with the facts the Windows backend gathers (program image, class,
// hung, integrity, the barrier's answer, an open input method) judged by the
// same `choose_window`, a foreground that
// moves, modifier keys and mouse buttons held by the user; `app_activate`
// and `send_keys` that wait for the foreground serving the loop as the
// Windows backend does, and refuse to type where it refuses; keys that
// Windows refuses; the foreground lock's key tap, put off while a key or
// button is held; a log of every `send_keys` with
// its target; the user's clicks dated when made, presses held a while,
// focus moves and typing in fields with the focus and caret messages the
// Windows backend sends; posts that fail on demand; balloons shown; the end
// of the Windows session; an in-memory file system that
// fails on demand; a settable locale (Windows-1252 or UTF-8 code page; conversions that
// fail on demand); scripted TCP peers and scripted URL fetches.
//
// All its state lives in `SimPlatform`; nothing is global.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/window_host.h"
#include "platform/window_verdict.h"

namespace tovira {
class TextBox;
}  // namespace tovira

namespace tovira::sim {

using platform::Millis;

// ---- files ----------------------------------------------------------------------

class MemFileSystem : public platform::FileSystem {
public:
    std::map<std::string, std::string> files;

    // Makes operation number `n` from now on fail (1 = the next one). With
    // `and_all_after`, every later operation fails too, as after a crash.
    // A failing write stores `partial_bytes` of its data first.
    void fail_operation(int n, bool and_all_after = false, std::size_t partial_bytes = 0);
    void clear_failures() { fail_at_ = 0; }
    int operations() const { return ops_; }  // count of operations so far

    // The folder refuses every write, as a read-only one under Windows
    // does (Program Files, Controlled Folder Access): creating, removing
    // and replacing fail with `denied`; reading works.
    bool read_only = false;
    std::string denied = "Access is denied (error 5)";
    std::string folder_name = "C:\\Tovira";
    // The copies in the user's VirtualStore, by name.
    std::map<std::string, std::string> redirected;
    int probes = 0;  // write probes made
    // The VirtualStore's copy of the folder ("": none on this system),
    // whether writes go there, and whether it refuses them too.
    std::string store_name = "C:\\Users\\pilot\\AppData\\Local\\VirtualStore\\Tovira";
    bool writes_redirected = false;
    bool store_read_only = false;

    std::unique_ptr<platform::InputFile> open_read(std::string_view name,
                                                   bool* missing = nullptr) override;
    std::unique_ptr<platform::OutputFile> create(std::string_view name) override;
    bool remove(std::string_view name) override;
    bool replace(std::string_view from, std::string_view to) override;
    std::string folder() override { return folder_name; }
    std::optional<std::string> probe_write() override;
    std::unique_ptr<platform::InputFile> open_redirected(std::string_view name,
                                                         bool* missing = nullptr) override;
    std::string redirected_folder() override { return store_name; }
    void write_redirected() override { writes_redirected = true; }
    // Where writes go: the folder's files or the VirtualStore's.
    std::map<std::string, std::string>& written() { return writes_redirected ? redirected : files; }
    std::string last_error() override { return last_error_; }

    // One step of a file operation; false when it is to fail. `write`:
    // the step changes the folder, which a read-only one refuses.
    bool step(bool write = false);
    std::size_t partial_bytes() const { return partial_; }

private:
    std::string last_error_;
    int ops_ = 0;
    int fail_at_ = 0;
    bool fail_after_ = false;
    std::size_t partial_ = 0;
};

// ---- locale -----------------------------------------------------------------------

// Windows-1252 (the default) or the UTF-8 code page, read as the Windows
// backend reads them.
class SimLocale : public platform::Locale {
public:
    static constexpr unsigned kUtf8 = 65001;
    char separator = '.';
    unsigned code_page = 1252;  // 1252 or kUtf8
    // Upper case by Turkish (and Azeri) rules, as Windows' linguistic
    // casing there: i becomes U+0130, dotless U+0131 becomes I.
    bool turkish = false;

    // Makes conversion number `n` from now on fail (1 = the next one); with
    // `and_all_after`, every later one too.
    void fail_conversion(int n, bool and_all_after = false);
    void clear_failures() { fail_at_ = 0; }
    int conversions() const { return conversions_; }  // count so far

    char decimal_separator() override { return separator; }
    std::string to_upper(std::string_view utf8) override;
    std::optional<std::string> ansi_to_utf8(std::string_view ansi) override;
    std::optional<std::string> utf8_to_ansi(std::string_view utf8) override;

private:
    bool conversion_step();
    int conversions_ = 0;
    int fail_at_ = 0;
    bool fail_after_ = false;
};

// ---- network scripts -------------------------------------------------------------------

struct Chunk {
    Millis after = 0;  // after the connection was established
    std::string bytes;
    bool close = false;  // from `converse`: the peer closes instead
};

struct PeerScript {
    bool resolves = true;
    bool refuses = false;
    Millis connect_delay = 5;
    std::vector<Chunk> chunks;
    // Close by the server, after the connection was established; none: never.
    std::optional<Millis> close_after = 0;
    // A reset (error event) instead of an orderly close.
    bool reset = false;
    // Answers the request with `respond` when set (at `chunks` times ignored).
    std::function<std::vector<Chunk>(const std::string& request)> respond;
    // Chunks made one at a time, after `chunks`: chunk n is asked for when
    // chunk n - 1 has arrived, so that a huge body never exists whole.
    // Its `after` counts from the connection; nullopt ends the stream.
    std::function<std::optional<Chunk>(std::size_t n)> stream;
    // A peer that holds a conversation: called with the bytes of each send,
    // in order; what it returns arrives `after` that send.
    std::function<std::vector<Chunk>(std::string_view sent)> converse;
    // A listener whose backlog is full: the connection is never accepted,
    // and neither an error nor a connect ever comes.
    bool never_accepts = false;
};

struct Connection {
    std::string host;
    std::uint16_t port = 0;
    Millis opened_at = 0;
    std::string sent;
};

struct UrlScript {
    Millis duration = 10;
    bool ok = true;
    std::string body;
    bool never = false;  // never completes
    int status = 200;    // HTTP status; 0: none (no answer)
};

// A question put to the user with `ask_retry`.
struct Question {
    Millis at = 0;
    std::string text;
    bool retry = false;  // the answer
};

struct KeySend {
    std::string text;
    std::vector<platform::KeyStroke> keys;
    bool wait = false;
    Millis at = 0;
    std::string target;  // title of the foreground window
    Millis started = 0;  // when `send_keys` was called (`at`: when the keys went)
    platform::KeysSent outcome = platform::KeysSent::Typed;
};

// A click of the user: when it was made, and when the core got it.
struct UserClick {
    Millis made = 0;
    int control_id = 0;
    std::optional<Millis> handled;
};

struct Balloon {
    Millis at;
    int control_id;
    std::string text;
    Millis shown_ms = platform::kBalloonMs;
};

// A text field as the user sees it.
struct FieldState {
    std::string text;
    std::size_t caret = 0;
};

// How a window answers a request to come to the foreground.
struct ActivationScript {
    Millis takes = 0;    // it gets there this long after the request
    bool never = false;  // it never does
};

// ---- the platform ---------------------------------------------------------------------

class SimPlatform : public platform::Platform {
public:
    explicit SimPlatform(Millis start = 1'000'000);
    ~SimPlatform() override;

    // Runs events and advances virtual time up to `until`.
    void run_until(Millis until);
    void run_for(Millis ms) { run_until(now_ + ms); }
    // Runs `action` at virtual time `at`, as an event of the loop for the
    // core (a user's action): the gate keeps it while the core waits.
    void at(Millis at, std::function<void()> action);
    // Changes the simulated desktop at `at` (a window appears, the
    // foreground moves, a key is held): never kept by the gate.
    void world(Millis at, std::function<void()> change);
    Millis now() const { return now_; }
    // Advances time by `ms` without running events (a blocked thread).
    void block_for(Millis ms) { now_ += ms; }
    std::size_t pending_events() const;

    // Window record.
    struct WindowState {
        float left = 0, top = 0, width = 0, height = 0;
        bool visible = false;
        bool topmost = false;
        std::uint32_t background = 0;
        int drags = 0;
    } window;
    platform::Size screen{28800, 16200};  // 1920 x 1080 pixels at 15 twips
    // One 1920 x 1080 monitor with a 40-pixel task bar at the bottom.
    platform::Desktop monitors{15, {{{0, 0, 1920, 1040}, 15}}};
    // The user is moving the window.
    bool moving = false;
    // Changes the monitors at `at`, as the desktop does, then tells the core
    // through `on_display_change`, as the Windows backend's message does.
    void change_desktop(Millis at, platform::Desktop desktop);
    std::function<void()> on_display_change;
    std::size_t control_changes = 0;
    const Control* focused = nullptr;

    // Top-level windows of other programs, by title, front first.
    std::vector<std::string> windows;
    // What the Windows backend would learn of a window besides its title
    // (its program's image, its class, hung, integrity, the barrier's
    // answer, an open input method, asked again before each step), by
    // title; a window without an entry is a program at this program's level
    // that answers.
    std::map<std::string, platform::WindowFacts> window_facts;
    // Windows takes none of the keys (SendInput's count short: a UAC
    // prompt, the secure desktop, a locked workstation).
    bool refuse_keys = false;
    // By title; a window without a script comes forward at once.
    std::map<std::string, ActivationScript> activation;
    // The foreground window's title: "" for none or the desktop,
    // `own_title` for this program's window.
    std::string foreground;
    std::string own_title = "Tovira";
    std::vector<std::string> activations;  // titles asked for
    std::vector<KeySend> sends;
    std::vector<KeySend> refused;  // sends that typed nothing
    // How long the target takes to process keys sent with wait.
    Millis key_processing_ms = 0;
    // Alt, Ctrl, Shift or Windows held by the user.
    bool modifiers = false;
    // A mouse button held by the user.
    bool mouse_buttons = false;
    Millis double_click = 500;  // the system's double-click time
    // Windows that received the key tap that lifts the foreground lock.
    std::vector<std::string> key_taps;
    std::vector<Millis> key_tap_times;  // when each went
    // Every balloon shown, with its time, and an observer of each.
    using Balloon = sim::Balloon;
    std::vector<Balloon> balloons;
    std::function<void(const Balloon&)> on_balloon;
    // The next `failing_posts` posts are refused.
    int failing_posts = 0;
    // The user's answers to `ask_retry`, in order (true: Retry); Cancel
    // once they run out. Each takes `answer_ms` of the user's time, during
    // which the loop keeps running (the message box's own loop).
    std::vector<bool> answers;
    Millis answer_ms = 0;
    std::vector<Question> questions;
    // Every URL fetch's helper fails to start with this reason, when set
    // (security software blocks it): each fetch fails at once.
    std::string helper_failure;
    // Observers for property tests: each activation's outcome, each send.
    std::function<void(const std::string& title, bool ok)> on_activate;
    std::function<void(const KeySend& send, bool typed)> on_send;

    MemFileSystem fs;
    SimLocale loc;

    std::map<std::string, PeerScript> peers;  // by host
    std::vector<Connection> connections;
    std::map<std::string, UrlScript> urls;
    std::vector<std::string> url_fetches;  // URLs started
    int live_url_fetches = 0;

    bool quit_requested = false;
    bool session_ending = false;

    // ---- the user's hand, as the Windows backend reports it ----
    // Routes focus and edit messages to `host`, as the Windows backend does
    // once attached.
    void attach(platform::WindowHost& host) { form_ = &host; }
    // A click on `control` made at `at` (press and release in one).
    void user_click(Millis at, Control& control);
    // A press on `control` at `at`, held `held` ms: the release is the click.
    void user_press(Millis at, Control& control, Millis held);
    std::vector<UserClick> clicks;
    // The user moves the keyboard focus to `control` at `at` (Tab, a click):
    // the system's focus moves at once, the core hears of it as an event.
    void user_focus(Millis at, Control& control);
    const Control* system_focus = nullptr;
    // The user types into `box` at `at`, leaving `text` in it with the caret
    // at its end.
    void user_type(Millis at, TextBox& box, std::string text);
    std::map<const Control*, FieldState> fields;
    // The Windows session ends (WM_ENDSESSION): kept edits reach the core,
    // every other kept event goes, the window unloads.
    void end_session();
    // Calls of `do_events` by the core (not the passes inside waits), and an
    // action run at each before the pending events: a user acting while the
    // core is busy without waiting.
    std::size_t do_events_calls = 0;
    std::function<void()> on_do_events;

    // ---- platform::Platform ----
    Millis now_ms() override { return now_; }
    platform::EventGate& gate() override { return gate_; }
    bool post(std::function<void()> action) override;
    void start_timer(platform::TimerSink& timer, unsigned interval_ms) override;
    void stop_timer(platform::TimerSink& timer) override;
    void do_events() override;
    void wait_events(Millis deadline) override;
    bool quitting() override { return quit_requested || session_ending; }
    void window_bounds_changed(float left, float top, float width, float height) override;
    void window_visible_changed(bool visible) override { window.visible = visible; }
    void window_background_changed(std::uint32_t rgb) override { window.background = rgb; }
    void set_topmost(bool topmost) override { window.topmost = topmost; }
    void begin_drag() override { ++window.drags; }
    platform::Size screen_size() override { return screen; }
    platform::Desktop desktop() override { return monitors; }
    bool window_moving() override { return moving; }
    void control_changed(const Control& control, platform::ControlProp what) override;
    // As the Windows backend's: whatever the gate kept goes with the program.
    void quit() override {
        quit_requested = true;
        gate_.clear();
    }
    platform::Activation app_activate(std::string_view title) override;
    platform::KeysSent send_keys(std::string_view text, std::span<const platform::KeyStroke> keys,
                                 bool wait) override;
    bool modifiers_held() override { return modifiers; }
    bool mouse_buttons_held() override { return mouse_buttons; }
    Millis double_click_ms() override { return double_click; }
    void show_balloon(int control_id, std::string_view text_utf8,
                      Millis shown_ms = platform::kBalloonMs) override {
        balloons.push_back({now_, control_id, std::string(text_utf8), shown_ms});
        if (on_balloon) on_balloon(balloons.back());
    }
    bool ask_retry(std::string_view text_utf8) override;
    platform::FileSystem& files() override { return fs; }
    platform::Locale& locale() override { return loc; }
    std::unique_ptr<platform::TcpSocket> create_socket(platform::SocketEvents& events) override;
    std::unique_ptr<platform::UrlFetch> create_url_fetch(platform::UrlFetchEvents& events) override;

    // Queues `action` at `at` as an event for the core; used by the
    // simulated sockets and fetches.
    void post(Millis at, std::function<void()> action);

private:
    struct Event {
        Millis at;
        std::uint64_t seq;
        std::function<void()> action;
        bool core = true;  // passes the gate
    };
    bool window_exists(const std::string& title) const;
    // What the Windows backend sends the core when a control gets the
    // system's focus (WM_SETFOCUS).
    void focus_message(const Control& control);
    // The facts of each window, front first, as the Windows backend
    // gathers them for `choose_window`.
    std::vector<platform::WindowFacts> desktop_facts() const;
    // Asks `title` to the foreground and waits for it, as the Windows
    // backend does: serving the loop for up to the activation wait. The
    // foreground lock's key tap waits for the user's keys and buttons to be
    // up; `held_off` tells whether they kept it off to the end.
    bool bring_to_front(const std::string& title, bool* held_off = nullptr);
    struct TimerState {
        Millis due;
        unsigned interval;
        std::uint64_t seq;
    };
    // The earliest due event or timer; false when there is none.
    bool next_due(Millis& at) const;
    // Runs the earliest event due at or before now; false when none.
    bool run_one();
    void run_due();

    Millis now_;
    std::uint64_t seq_ = 0;
    std::vector<Event> events_;
    std::map<platform::TimerSink*, TimerState> timers_;
    platform::EventGate gate_{*this};
    std::string activated_;  // the window the last `app_activate` found
    platform::WindowHost* form_ = nullptr;
    int focus_depth_ = 0;
};

}  // namespace tovira::sim
