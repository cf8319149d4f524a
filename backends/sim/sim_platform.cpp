#include "backends/sim/sim_platform.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "controls/controls.h"
#include "platform/text_encoding.h"

namespace tovira::sim {

using platform::KeyStroke;
using platform::Millis;

// ---- files ---------------------------------------------------------------------

namespace {

class MemInputFile : public platform::InputFile {
public:
    MemInputFile(MemFileSystem& fs, std::string data) : fs_(fs), data_(std::move(data)) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        if (!fs_.step()) return -1;
        const std::size_t n = std::min(size, data_.size() - pos_);
        std::copy_n(data_.data() + pos_, n, buffer);
        pos_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    MemFileSystem& fs_;
    std::string data_;
    std::size_t pos_ = 0;
};

class MemOutputFile : public platform::OutputFile {
public:
    MemOutputFile(MemFileSystem& fs, std::string name) : fs_(fs), name_(std::move(name)) {}
    bool write(std::string_view bytes) override {
        if (closed_) return false;
        auto it = fs_.written().find(name_);
        if (it == fs_.written().end()) return false;  // removed under us
        if (!fs_.step()) {
            it->second.append(bytes.substr(0, std::min(bytes.size(), fs_.partial_bytes())));
            return false;
        }
        it->second.append(bytes);
        return true;
    }
    bool commit() override {
        if (closed_) return false;
        closed_ = true;
        return fs_.step();
    }

private:
    MemFileSystem& fs_;
    std::string name_;
    bool closed_ = false;
};

}  // namespace

void MemFileSystem::fail_operation(int n, bool and_all_after, std::size_t partial_bytes) {
    fail_at_ = ops_ + n;
    fail_after_ = and_all_after;
    partial_ = partial_bytes;
}

bool MemFileSystem::step(bool write) {
    ++ops_;
    bool ok = fail_at_ == 0 || (fail_after_ ? ops_ < fail_at_ : ops_ != fail_at_);
    const bool refuses = writes_redirected ? store_read_only : read_only;
    if (ok && write && refuses) ok = false;
    if (!ok) last_error_ = write && refuses ? denied : "The device is not ready (error 21)";
    return ok;
}

std::optional<std::string> MemFileSystem::probe_write() {
    ++probes;
    if (!step(true)) return last_error_;
    return std::nullopt;
}

std::unique_ptr<platform::InputFile> MemFileSystem::open_redirected(std::string_view name,
                                                                    bool* missing) {
    auto it = redirected.find(std::string(name));
    if (missing) *missing = it == redirected.end();
    if (it == redirected.end()) return nullptr;
    return std::make_unique<MemInputFile>(*this, it->second);
}

std::unique_ptr<platform::InputFile> MemFileSystem::open_read(std::string_view name,
                                                              bool* missing) {
    auto it = files.find(std::string(name));
    if (missing) *missing = it == files.end();
    if (!step()) return nullptr;
    if (it == files.end()) return nullptr;
    return std::make_unique<MemInputFile>(*this, it->second);
}

std::unique_ptr<platform::OutputFile> MemFileSystem::create(std::string_view name) {
    if (!step(true)) return nullptr;
    written()[std::string(name)].clear();
    return std::make_unique<MemOutputFile>(*this, std::string(name));
}

bool MemFileSystem::remove(std::string_view name) {
    if (!step(true)) return false;
    return written().erase(std::string(name)) > 0;
}

bool MemFileSystem::replace(std::string_view from, std::string_view to) {
    if (!step(true)) return false;
    std::map<std::string, std::string>& dir = written();
    auto it = dir.find(std::string(from));
    if (it == dir.end()) return false;
    std::string data = std::move(it->second);
    dir.erase(it);
    dir[std::string(to)] = std::move(data);
    return true;
}

// ---- locale: Windows-1252 or UTF-8 -------------------------------------------------

namespace {

// Decodes one code point; malformed input gives U+FFFD and moves one byte.
char32_t next_code_point(std::string_view s, std::size_t& i) {
    char32_t c = 0;
    if (platform::next_utf8(s, i, c)) return c;
    ++i;
    return 0xFFFD;
}

}  // namespace

std::string SimLocale::to_upper(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = next_code_point(utf8, i);
        if (turkish && (c == 'i' || c == 0x131))
            c = c == 'i' ? 0x130 : 'I';
        else if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c -= 0x20;
        else if (c == 0xFF)
            c = 0x178;
        else if (c == 0x161 || c == 0x17E || c == 0x153)
            c -= 1;
        platform::append_utf8(out, c);
    }
    return out;
}

void SimLocale::fail_conversion(int n, bool and_all_after) {
    fail_at_ = conversions_ + n;
    fail_after_ = and_all_after;
}

bool SimLocale::conversion_step() {
    ++conversions_;
    if (fail_at_ == 0 || conversions_ < fail_at_) return true;
    if (conversions_ == fail_at_ || fail_after_) return false;
    return true;
}

std::optional<std::string> SimLocale::ansi_to_utf8(std::string_view ansi) {
    if (!conversion_step()) return std::nullopt;
    if (code_page == kUtf8) return platform::utf8_or_cp1252(ansi);
    std::string out;
    out.reserve(ansi.size());
    for (char ch : ansi) {
        platform::append_utf8(out, platform::cp1252_to_unicode(static_cast<unsigned char>(ch)));
    }
    return out;
}

std::optional<std::string> SimLocale::utf8_to_ansi(std::string_view utf8) {
    if (!conversion_step()) return std::nullopt;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = next_code_point(utf8, i);
        if (code_page == kUtf8) {
            platform::append_utf8(out, c);
            continue;
        }
        const int byte = platform::unicode_to_cp1252(c);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

// ---- network ------------------------------------------------------------------------

namespace {

// State shared between a socket and the events it has queued, so that a
// closed or destroyed socket's events fall silent.
struct SocketState {
    platform::SocketEvents* events = nullptr;
    std::uint64_t generation = 0;
    bool connected = false;
    std::string inbox;
    std::size_t connection = 0;
    bool alive = true;
    std::function<std::vector<Chunk>(std::string_view)> converse;
};

using ChunkStream = std::function<std::optional<Chunk>(std::size_t)>;

// Posts chunk `n` of a streamed body; its arrival asks for the next one.
void post_stream_chunk(SimPlatform& sim, const std::shared_ptr<SocketState>& st, std::uint64_t gen,
                       const ChunkStream& stream, Millis connected_at, std::size_t n) {
    if (!st->alive || st->generation != gen) return;
    std::optional<Chunk> chunk = stream(n);
    if (!chunk) return;
    SimPlatform* simp = &sim;
    sim.post(connected_at + chunk->after,
             [simp, st, gen, stream, connected_at, n, bytes = std::move(chunk->bytes)] {
                 if (!st->alive || st->generation != gen) return;
                 st->inbox += bytes;
                 st->events->on_socket_data_arrival(bytes.size());
                 post_stream_chunk(*simp, st, gen, stream, connected_at, n + 1);
             });
}

class SimSocket : public platform::TcpSocket {
public:
    SimSocket(SimPlatform& sim, platform::SocketEvents& events)
        : sim_(sim), state_(std::make_shared<SocketState>()) {
        state_->events = &events;
    }
    ~SimSocket() override { state_->alive = false; }

    void close() override {
        ++state_->generation;
        state_->connected = false;
        state_->inbox.clear();
    }

    bool connect(std::string_view host, std::uint16_t port) override {
        close();
        if (!platform::valid_host(host) || port == 0) return false;
        const std::uint64_t gen = state_->generation;
        auto st = state_;
        const Millis now = sim_.now();
        auto guard = [st, gen](auto fn) {
            return [st, gen, fn] {
                if (st->alive && st->generation == gen) fn();
            };
        };
        auto it = sim_.peers.find(std::string(host));
        if (it == sim_.peers.end() || !it->second.resolves) {
            sim_.post(now + 2, guard([st] { st->events->on_socket_error(11001); }));
            return true;
        }
        const PeerScript& script = it->second;
        st->converse = script.converse;
        if (script.never_accepts) return true;
        if (script.refuses) {
            sim_.post(now + script.connect_delay,
                      guard([st] { st->events->on_socket_error(10061); }));
            return true;
        }
        sim_.connections.push_back({std::string(host), port, now, {}});
        st->connection = sim_.connections.size() - 1;
        const Millis connected_at = now + script.connect_delay;
        SimPlatform* sim = &sim_;
        sim_.post(connected_at, guard([st, sim, script, connected_at, guard, gen] {
                      st->connected = true;
                      st->events->on_socket_connect();
                      // The chunks follow the request the connect handler sent.
                      std::vector<Chunk> chunks = script.chunks;
                      if (script.respond)
                          chunks = script.respond(sim->connections[st->connection].sent);
                      for (const Chunk& c : chunks) {
                          sim->post(connected_at + c.after, guard([st, bytes = c.bytes] {
                                        st->inbox += bytes;
                                        st->events->on_socket_data_arrival(bytes.size());
                                    }));
                      }
                      if (script.stream) {
                          post_stream_chunk(*sim, st, gen, script.stream, connected_at, 0);
                      }
                      if (script.close_after) {
                          const bool reset = script.reset;
                          sim->post(connected_at + *script.close_after, guard([st, reset] {
                                        st->connected = false;
                                        if (reset)
                                            st->events->on_socket_error(10054);
                                        else
                                            st->events->on_socket_close();
                                    }));
                      }
                  }));
        return true;
    }

    bool send(std::string_view bytes) override {
        if (!state_->connected) return false;
        sim_.connections[state_->connection].sent.append(bytes);
        if (state_->converse) answer(state_->converse(bytes));
        return true;
    }

    std::string get_data() override { return std::exchange(state_->inbox, {}); }

private:
    void answer(const std::vector<Chunk>& chunks) {
        auto st = state_;
        const std::uint64_t gen = st->generation;
        for (const Chunk& c : chunks) {
            sim_.post(sim_.now() + c.after, [st, gen, c] {
                if (!st->alive || st->generation != gen || !st->connected) return;
                if (c.close) {
                    st->connected = false;
                    st->events->on_socket_close();
                    return;
                }
                st->inbox += c.bytes;
                st->events->on_socket_data_arrival(c.bytes.size());
            });
        }
    }

    SimPlatform& sim_;
    std::shared_ptr<SocketState> state_;
};

struct FetchState {
    platform::UrlFetchEvents* events = nullptr;
    std::uint64_t generation = 0;
    bool alive = true;
    bool busy = false;
};

class SimUrlFetch : public platform::UrlFetch {
public:
    SimUrlFetch(SimPlatform& sim, platform::UrlFetchEvents& events)
        : sim_(sim), state_(std::make_shared<FetchState>()) {
        state_->events = &events;
    }
    ~SimUrlFetch() override {
        cancel();
        state_->alive = false;
    }

    bool start(std::string_view url, std::size_t max_bytes) override {
        cancel();
        if (sim_.quitting()) return false;  // as the Windows backend's
        sim_.url_fetches.emplace_back(url);
        UrlScript script;
        auto it = sim_.urls.find(std::string(url));
        if (it != sim_.urls.end())
            script = it->second;
        else
            script = UrlScript{10, false, "", false, 0};
        state_->busy = true;
        ++sim_.live_url_fetches;
        if (script.never) return true;
        const std::uint64_t gen = state_->generation;
        auto st = state_;
        SimPlatform* sim = &sim_;
        platform::UrlFetchResult result{script.ok, script.status, script.body, {}};
        // A failed fetch hands over no body, as the Windows backend's does.
        if (!result.ok || result.body.size() > max_bytes) result = {false, script.status, {}, {}};
        Millis duration = script.duration;
        if (!sim_.helper_failure.empty()) {
            // As the Windows backend's: the failed start is known at once.
            result = {false, 0, {}, sim_.helper_failure};
            duration = 0;
        }
        sim_.post(sim_.now() + duration, [st, gen, sim, result] {
            if (!st->alive || st->generation != gen) return;
            st->busy = false;
            --sim->live_url_fetches;
            st->events->on_url_fetch_done(result);
        });
        return true;
    }

    void cancel() override {
        ++state_->generation;
        if (state_->busy) {
            state_->busy = false;
            --sim_.live_url_fetches;
        }
    }

private:
    SimPlatform& sim_;
    std::shared_ptr<FetchState> state_;
};

}  // namespace

std::unique_ptr<platform::TcpSocket> SimPlatform::create_socket(platform::SocketEvents& events) {
    return std::make_unique<SimSocket>(*this, events);
}

std::unique_ptr<platform::UrlFetch> SimPlatform::create_url_fetch(
    platform::UrlFetchEvents& events) {
    return std::make_unique<SimUrlFetch>(*this, events);
}

// ---- time, timers and the event loop ------------------------------------------------

SimPlatform::SimPlatform(Millis start) : now_(start) {}
SimPlatform::~SimPlatform() = default;

void SimPlatform::post(Millis at, std::function<void()> action) {
    events_.push_back({at, seq_++, std::move(action), true});
}

bool SimPlatform::post(std::function<void()> action) {
    if (failing_posts > 0) {
        --failing_posts;
        return false;
    }
    events_.push_back({now_, seq_++, std::move(action), false});
    return true;
}

void SimPlatform::at(Millis at, std::function<void()> action) {
    post(at, std::move(action));
}

void SimPlatform::world(Millis at, std::function<void()> change) {
    events_.push_back({at, seq_++, std::move(change), false});
}

std::size_t SimPlatform::pending_events() const {
    return events_.size() + timers_.size();
}

void SimPlatform::start_timer(platform::TimerSink& timer, unsigned interval_ms) {
    gate_.drop_tick(timer);
    timers_[&timer] = {now_ + interval_ms, interval_ms, seq_++};
}

void SimPlatform::stop_timer(platform::TimerSink& timer) {
    gate_.drop_tick(timer);
    timers_.erase(&timer);
}

bool SimPlatform::next_due(Millis& at) const {
    bool any = false;
    for (const Event& e : events_) {
        if (!any || e.at < at) at = e.at;
        any = true;
    }
    for (const auto& [sink, t] : timers_) {
        if (!any || t.due < at) at = t.due;
        any = true;
    }
    return any;
}

bool SimPlatform::run_one() {
    // The earliest (time, sequence) among events and timers due by now.
    const Event* best_event = nullptr;
    for (const Event& e : events_) {
        if (e.at <= now_ && (!best_event || e.at < best_event->at ||
                             (e.at == best_event->at && e.seq < best_event->seq)))
            best_event = &e;
    }
    platform::TimerSink* best_timer = nullptr;
    const TimerState* best_state = nullptr;
    for (const auto& [sink, t] : timers_) {
        if (t.due <= now_ && (!best_state || t.due < best_state->due ||
                              (t.due == best_state->due && t.seq < best_state->seq))) {
            best_timer = sink;
            best_state = &t;
        }
    }
    if (best_event && (!best_state || best_event->at < best_state->due ||
                       (best_event->at == best_state->due && best_event->seq < best_state->seq))) {
        auto action = std::move(best_event->action);
        const bool core = best_event->core;
        events_.erase(events_.begin() + (best_event - events_.data()));
        if (core) {
            gate_.deliver(std::move(action));
        } else {
            action();
        }
        return true;
    }
    if (best_timer) {
        // The next period counts from this tick; late ticks are not caught up.
        TimerState& t = timers_[best_timer];
        t.due = now_ + t.interval;
        t.seq = seq_++;
        gate_.deliver_tick(*best_timer);
        return true;
    }
    return false;
}

void SimPlatform::do_events() {
    ++do_events_calls;
    if (on_do_events) on_do_events();
    run_due();
}

void SimPlatform::run_due() {
    // Everything due now runs; what it schedules later waits for time to pass.
    gate_.loop_pass();
    while (run_one()) {
        gate_.loop_pass();
    }
}

void SimPlatform::wait_events(Millis deadline) {
    Millis at = 0;
    if (!next_due(at) || at > deadline) {
        now_ = std::max(now_, deadline);
    } else {
        now_ = std::max(now_, at);
    }
    run_due();
}

void SimPlatform::run_until(Millis until) {
    run_due();
    while (now_ < until) wait_events(until);
}

// ---- window and keys ---------------------------------------------------------------------

bool SimPlatform::ask_retry(std::string_view text_utf8) {
    const std::size_t n = questions.size();
    const bool retry = n < answers.size() && answers[n];
    questions.push_back({now_, std::string(text_utf8), retry});
    // The message box's own loop serves the window while the user reads.
    const Millis until = now_ + answer_ms;
    while (now_ < until) wait_events(until);
    return retry;
}

void SimPlatform::window_bounds_changed(float left, float top, float width, float height) {
    window.left = left;
    window.top = top;
    window.width = width;
    window.height = height;
}

void SimPlatform::change_desktop(Millis at, platform::Desktop desktop) {
    world(at, [this, desktop = std::move(desktop)] { monitors = desktop; });
    post(at, [this] {
        if (on_display_change) on_display_change();
    });
}

void SimPlatform::control_changed(const Control& control, platform::ControlProp what) {
    ++control_changes;
    if (what == platform::ControlProp::Focus) {
        focused = &control;
        // SetFocus: the control takes the system's focus and says so at once.
        if (system_focus != &control) {
            system_focus = &control;
            focus_message(control);
        }
    }
    if (what == platform::ControlProp::Caption) {
        // A field's text set from code puts its caret at the start.
        auto it = fields.find(&control);
        if (it != fields.end() && it->second.text != control.caption())
            it->second = {control.caption(), 0};
    }
}

void SimPlatform::focus_message(const Control& control) {
    if (!form_) return;
    // Two kept focus moves replayed against each other would chase without
    // end; a test must see that as a failure, not as a stack overflow.
    if (focus_depth_ > 64) throw std::runtime_error("focus messages chase each other");
    ++focus_depth_;
    Control* c = const_cast<Control*>(&control);
    gate_.deliver([this, c] {
        // Delivered late, a focus move the system has left behind is news
        // no more.
        if (system_focus != c || !form_) return;
        form_->on_focus(c);
    });
    --focus_depth_;
}

void SimPlatform::user_click(Millis at, Control& control) {
    const std::size_t n = clicks.size();
    clicks.push_back({at, control.id(), std::nullopt});
    this->at(at, [this, n, &control] {
        clicks[n].handled = now_;
        control.click();
    });
}

void SimPlatform::user_press(Millis at, Control& control, Millis held) {
    world(at, [this] { mouse_buttons = true; });
    world(at + held, [this] { mouse_buttons = false; });
    user_click(at + held, control);
}

void SimPlatform::user_focus(Millis at, Control& control) {
    world(at, [this, &control] {
        system_focus = &control;
        focus_message(control);
    });
}

void SimPlatform::user_type(Millis at, TextBox& box, std::string text) {
    world(at, [this, &box, text = std::move(text)] {
        fields[&box] = {text, text.size()};
        // The edit takes the text the field holds when it is delivered: the
        // edits kept before it are in there too, and the field, already
        // showing it, keeps its caret.
        gate_.deliver(
            [this, &box] {
                if (form_) box.set_text(fields[&box].text);
            },
            platform::EventKind::Edit);
    });
}

void SimPlatform::end_session() {
    session_ending = true;
    gate_.end_session();
    if (form_) form_->on_end_session();
}

bool SimPlatform::window_exists(const std::string& title) const {
    return std::find(windows.begin(), windows.end(), title) != windows.end();
}

std::vector<platform::WindowFacts> SimPlatform::desktop_facts() const {
    std::vector<platform::WindowFacts> out;
    for (const std::string& title : windows) {
        platform::WindowFacts f;
        f.integrity = platform::Integrity::NotHigher;
        f.barrier = platform::Barrier::Passed;
        if (auto it = window_facts.find(title); it != window_facts.end()) f = it->second;
        f.title = title;
        out.push_back(std::move(f));
    }
    return out;
}

bool SimPlatform::bring_to_front(const std::string& title, bool* held_off) {
    if (held_off) *held_off = false;
    if (foreground == title) return true;
    ActivationScript script;
    if (auto it = activation.find(title); it != activation.end()) script = it->second;
    const Millis until = now_ + platform::kActivationWaitMs;
    const Millis lock_at = now_ + platform::kActivationFirstTryMs;
    const Millis arrives = now_ + script.takes;
    bool tapped = false;
    bool put_off = false;
    for (;;) {
        if (!window_exists(title) || quitting()) return false;
        if (!script.never && now_ >= arrives) foreground = title;
        if (foreground == title) return true;
        if (now_ >= until) {
            if (held_off) *held_off = put_off && !tapped;
            return false;
        }
        // The foreground lock's key tap goes to the window in front: never
        // to another program's, and never while the user holds a key or a
        // button (Shift with it switches the input language).
        const bool tap_due = !tapped && now_ >= lock_at;
        if (tap_due && (modifiers || mouse_buttons)) {
            put_off = true;
        } else if (tap_due) {
            tapped = true;
            if (foreground.empty() || foreground == own_title) {
                key_taps.push_back(foreground);
                key_tap_times.push_back(now_);
            }
        }
        // The Windows backend polls every 5 ms and serves the window.
        Millis next = std::min(until, now_ + 5);
        if (!tapped) next = std::min(next, std::max(lock_at, now_ + 1));
        if (!script.never) next = std::min(next, std::max(arrives, now_ + 1));
        wait_events(next);
    }
}

platform::Activation SimPlatform::app_activate(std::string_view title) {
    using platform::Activation;
    activations.emplace_back(title);
    const std::vector<platform::WindowFacts> facts = desktop_facts();
    const platform::WindowChoice choice = platform::choose_window(facts, title);
    activated_.clear();
    Activation result = Activation::NoWindow;
    switch (choice.verdict) {
        case platform::Verdict::NoWindow: break;
        case platform::Verdict::Hung: result = Activation::Hung; break;
        case platform::Verdict::Elevated: result = Activation::Elevated; break;
        case platform::Verdict::ImeOpen: result = Activation::ImeOpen; break;
        case platform::Verdict::Target:
            activated_ = windows[choice.index];
            result = bring_to_front(activated_) ? Activation::InFront : Activation::NotInFront;
            break;
    }
    if (on_activate) on_activate(std::string(title), result == Activation::InFront);
    return result;
}

platform::KeysSent SimPlatform::send_keys(std::string_view text, std::span<const KeyStroke> keys,
                                          bool wait) {
    using platform::KeysSent;
    KeySend send{std::string(text), {keys.begin(), keys.end()}, wait, now_, foreground, now_};
    KeysSent outcome = KeysSent::Typed;
    const auto held = [this] { return modifiers || mouse_buttons; };
    if (!keys.empty()) {
        const auto facts = window_facts.find(activated_);
        bool held_off = false;
        if (quitting() || activated_.empty() || !window_exists(activated_)) {
            outcome = KeysSent::NoWindow;
        } else if (facts != window_facts.end() && facts->second.hung) {
            outcome = KeysSent::Hung;
        } else if (facts != window_facts.end() && facts->second.ime_open) {
            // Asked before every step, as the Windows backend does.
            outcome = KeysSent::ImeOpen;
        } else if (foreground != activated_) {
            // Nothing, the desktop or this program in front: bring the
            // window back. Another program's window: the user chose it.
            if (!foreground.empty() && foreground != own_title) {
                outcome = KeysSent::OtherInFront;
            } else if (held()) {
                outcome = KeysSent::Held;
            } else if (!bring_to_front(activated_, &held_off)) {
                outcome = !window_exists(activated_) ? KeysSent::NoWindow
                          : held_off                 ? KeysSent::Held
                                                     : KeysSent::NotInFront;
            }
        }
        // Checked last, right before the keys would go.
        if (outcome == KeysSent::Typed && held()) outcome = KeysSent::Held;
        if (outcome == KeysSent::Typed && refuse_keys) outcome = KeysSent::Refused;
    }
    send.at = now_;
    send.target = foreground;
    send.outcome = outcome;
    const bool typed = outcome == KeysSent::Typed;
    if (on_send) on_send(send, typed);
    if (!typed) {
        refused.push_back(std::move(send));
        return outcome;
    }
    sends.push_back(std::move(send));
    // A send that waits blocks the thread while the target works.
    if (wait && !keys.empty()) now_ += key_processing_ms;
    return KeysSent::Typed;
}

}  // namespace tovira::sim
