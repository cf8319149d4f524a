#include "platform/sim/sim_platform.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

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
        auto it = fs_.files.find(name_);
        if (it == fs_.files.end()) return false;  // removed under us
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

bool MemFileSystem::step() {
    ++ops_;
    if (fail_at_ == 0) return true;
    return fail_after_ ? ops_ < fail_at_ : ops_ != fail_at_;
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
    if (!step()) return nullptr;
    files[std::string(name)].clear();
    return std::make_unique<MemOutputFile>(*this, std::string(name));
}

bool MemFileSystem::remove(std::string_view name) {
    if (!step()) return false;
    return files.erase(std::string(name)) > 0;
}

bool MemFileSystem::replace(std::string_view from, std::string_view to) {
    if (!step()) return false;
    auto it = files.find(std::string(from));
    if (it == files.end()) return false;
    std::string data = std::move(it->second);
    files.erase(it);
    files[std::string(to)] = std::move(data);
    return true;
}

// ---- locale: Windows-1252 ---------------------------------------------------------

namespace {

// Code points of 0x80 to 0x9F; the five undefined bytes map to themselves.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t cp1252_to_unicode(unsigned char b) {
    return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one code point; malformed input gives U+FFFD and moves one byte.
char32_t next_code_point(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i += len;
    return c;
}

}  // namespace

std::string SimLocale::to_upper(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = next_code_point(utf8, i);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c -= 0x20;
        else if (c == 0xFF)
            c = 0x178;
        else if (c == 0x161 || c == 0x17E || c == 0x153)
            c -= 1;
        append_utf8(out, c);
    }
    return out;
}

std::string SimLocale::ansi_to_utf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char ch : ansi) append_utf8(out, cp1252_to_unicode(static_cast<unsigned char>(ch)));
    return out;
}

std::string SimLocale::utf8_to_ansi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = next_code_point(utf8, i);
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = static_cast<char>(c);
        } else {
            for (int k = 0; k < 32; ++k) {
                if (kCp1252High[k] == c) byte = static_cast<char>(0x80 + k);
            }
        }
        out += byte;
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
};

bool acceptable_host(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == '_';
    });
}

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
        if (!acceptable_host(host)) return false;
        close();
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
        return true;
    }

    std::string get_data() override { return std::exchange(state_->inbox, {}); }

private:
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
        platform::UrlFetchResult result{script.ok, script.status, script.body};
        if (result.body.size() > max_bytes) result = {false, script.status, {}};
        sim_.post(sim_.now() + script.duration, [st, gen, sim, result] {
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
    events_.push_back({at, seq_++, std::move(action)});
}

void SimPlatform::at(Millis at, std::function<void()> action) {
    post(at, std::move(action));
}

std::size_t SimPlatform::pending_events() const {
    return events_.size() + timers_.size();
}

void SimPlatform::start_timer(platform::TimerSink& timer, unsigned interval_ms) {
    timers_[&timer] = {now_ + interval_ms, interval_ms, seq_++};
}

void SimPlatform::stop_timer(platform::TimerSink& timer) {
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
        events_.erase(events_.begin() + (best_event - events_.data()));
        action();
        return true;
    }
    if (best_timer) {
        // The next period counts from this tick; late ticks are not caught up.
        TimerState& t = timers_[best_timer];
        t.due = now_ + t.interval;
        t.seq = seq_++;
        best_timer->on_timer_tick();
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
    while (run_one()) {
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

void SimPlatform::window_bounds_changed(float left, float top, float width, float height) {
    window.left = left;
    window.top = top;
    window.width = width;
    window.height = height;
}

void SimPlatform::control_changed(const Control& control, platform::ControlProp what) {
    ++control_changes;
    if (what == platform::ControlProp::Focus) focused = &control;
}

bool SimPlatform::app_activate(std::string_view title) {
    activations.emplace_back(title);
    auto exact = std::find(windows.begin(), windows.end(), title);
    if (exact == windows.end()) {
        exact = std::find_if(windows.begin(), windows.end(),
                             [&](const std::string& w) { return w.starts_with(title); });
    }
    if (exact == windows.end()) return false;
    foreground = *exact;
    return true;
}

void SimPlatform::send_keys(std::string_view text, std::span<const KeyStroke> keys, bool wait) {
    sends.push_back({std::string(text), {keys.begin(), keys.end()}, wait, now_, foreground});
    // A send that waits blocks the thread while the target works.
    if (wait) now_ += key_processing_ms;
}

}  // namespace tovira::sim
