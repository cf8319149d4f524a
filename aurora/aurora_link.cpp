#include "aurora/aurora_link.h"

#include <algorithm>
#include <utility>

#include "config/command_line.h"

namespace tovira {

namespace {

bool printable(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u <= 0x7E;
    });
}

bool letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool callsign_char(char c, bool lower_ok) {
    return (c >= 'A' && c <= 'Z') || (lower_ok && c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-';
}

// "#SELTFC\x80;X" for SELTFC: the awaited command, then neither ";" nor the
// line's end nor a letter (which would make it another command).
bool answers_unreadably(std::string_view line, std::string_view command) {
    if (line.size() <= command.size() + 1 || line[0] != '#' ||
        line.substr(1, command.size()) != command)
        return false;
    const char next = line[command.size() + 1];
    return next != ';' && !letter(next);
}

// The command of a request line: "#TRPOS;DLH4CW" -> "TRPOS".
std::string command_of(std::string_view line) {
    if (line.empty()) return {};
    line.remove_prefix(1);
    return std::string(line.substr(0, line.find(';')));
}

}  // namespace

std::uint16_t aurora_port_from_command_line(std::span<const std::string> args) {
    return static_cast<std::uint16_t>(
        number_option(args, "--aurora-port", 1, 65535).value_or(kAuroraPort));
}

// ---- lines and packets --------------------------------------------------------------

bool AuroraLineSplitter::feed(std::string_view bytes, std::vector<std::string>& lines,
                              std::size_t max_line) {
    while (!bytes.empty()) {
        if (after_cr_ && bytes.front() == '\n') bytes.remove_prefix(1);
        after_cr_ = false;
        const std::size_t end = bytes.find_first_of("\r\n");
        const std::string_view piece = bytes.substr(0, end);
        if (partial_.size() + piece.size() > max_line) {
            partial_.clear();
            return false;
        }
        partial_.append(piece);
        if (end == std::string_view::npos) break;
        after_cr_ = bytes[end] == '\r';
        lines.push_back(std::exchange(partial_, {}));
        bytes.remove_prefix(end + 1);
    }
    return true;
}

std::optional<AuroraPacket> parse_aurora_line(std::string_view line) {
    if (line.size() < 3) return std::nullopt;
    AuroraPacket p;
    p.kind = line[0];
    if (p.kind != '#' && p.kind != '$' && p.kind != '@') return std::nullopt;
    line.remove_prefix(1);
    const std::size_t end = line.find(';');
    p.command = std::string(line.substr(0, end));
    // Live sessions show names of more than five letters (SELTFC,
    // INTERCOMPHONESTATUS).
    if (p.command.size() < 2 || p.command.size() > kAuroraMaxCommand ||
        !std::all_of(p.command.begin(), p.command.end(), letter)) {
        return std::nullopt;
    }
    if (end == std::string_view::npos) return p;
    line.remove_prefix(end + 1);
    // "A;B;" and "A;B" are the same two fields.
    while (!line.empty()) {
        const std::size_t semi = line.find(';');
        p.fields.emplace_back(line.substr(0, semi));
        if (semi == std::string_view::npos) break;
        line.remove_prefix(semi + 1);
    }
    return p;
}

bool valid_aurora_callsign(std::string_view callsign) {
    return !callsign.empty() && callsign.size() <= kAuroraMaxCallsign &&
           std::all_of(callsign.begin(), callsign.end(),
                       [](char c) { return callsign_char(c, true); });
}

bool valid_aurora_station_callsign(std::string_view callsign) {
    return !callsign.empty() && callsign.size() <= kAuroraMaxStationCallsign &&
           std::all_of(callsign.begin(), callsign.end(),
                       [](char c) { return callsign_char(c, true); });
}

bool valid_aurora_station(std::string_view station) {
    return !station.empty() && std::all_of(station.begin(), station.end(),
                                           [](char c) { return callsign_char(c, false); });
}

std::optional<std::vector<AuroraStation>> parse_aurora_stations(const AuroraPacket& answer) {
    if (answer.kind != '#' || (answer.command != "ATC" && answer.command != "ATCT")) {
        return std::nullopt;
    }
    std::vector<AuroraStation> stations;
    for (const std::string& field : answer.fields) {
        const std::size_t colon = field.find(':');
        AuroraStation s{field.substr(0, colon),
                        colon == std::string::npos ? std::string() : field.substr(colon + 1)};
        // One entry Tovira cannot read costs only itself.
        if (!valid_aurora_station_callsign(s.callsign) || !printable(s.frequency)) continue;
        stations.push_back(std::move(s));
    }
    return stations;
}

std::string AuroraReply::message() const {
    std::string m = packet.fields.empty() ? std::string() : packet.fields.back();
    for (char& c : m) {
        if (!printable(std::string_view(&c, 1))) c = '?';
    }
    return m;
}

// ---- the link ---------------------------------------------------------------------------

AuroraLink::AuroraLink(const Uses& uses) : f_(uses) {
    poster_.link = this;
}

AuroraLink::~AuroraLink() {
    if (timer_on_) f_.platform.stop_timer(*this);
    if (poster_on_) f_.platform.stop_timer(poster_);
}

bool AuroraLink::ended() {
    return f_.platform.quitting() || f_.window.unloaded();
}

void AuroraLink::request(std::string line, Done done) {
    ++in_request_;
    if (ended()) {
        deliver(std::move(done), {});
    } else {
        Pending p;
        p.command = command_of(line);
        p.line = std::move(line);
        p.done = std::move(done);
        queue_.push_back(std::move(p));
        pump();
    }
    --in_request_;
}

void AuroraLink::cancel_all() {
    drop();
    if (poster_on_) f_.platform.stop_timer(poster_);
    poster_on_ = false;
    // Outcomes already decided keep them; the rest end here.
    std::deque<Finished> posted = std::exchange(posted_, {});
    for (Finished& p : posted) p.done(p.reply);
    std::deque<Pending> queue = std::exchange(queue_, {});
    for (Pending& p : queue) {
        AuroraReply reply;
        reply.sent = p.sent;
        p.done(reply);
    }
}

void AuroraLink::pump() {
    if (pumping_) return;
    pumping_ = true;
    while (!queue_.empty()) {
        if (ended()) {
            pumping_ = false;
            cancel_all();
            return;
        }
        if (state_ == State::Closed) {
            if (!socket_) socket_ = f_.platform.create_socket(*this);
            splitter_.clear();
            state_ = State::Connecting;
            if (!socket_->connect(kAuroraHost, port)) {
                fail_all();
                continue;
            }
            arm();
            break;
        }
        if (state_ == State::Connecting || queue_.front().sent) break;
        Pending& front = queue_.front();
        if (!socket_->send(front.line + "\r\n")) {
            fail_front(AuroraReply::Outcome::Closed);
            continue;
        }
        front.sent = true;
        skipped_ = 0;
        arm();
        break;
    }
    if (queue_.empty() && timer_on_) {
        f_.platform.stop_timer(*this);
        timer_on_ = false;
    }
    pumping_ = false;
}

void AuroraLink::finish_front(AuroraReply::Outcome outcome, AuroraPacket packet) {
    Pending p = std::move(queue_.front());
    queue_.pop_front();
    if (timer_on_) f_.platform.stop_timer(*this);
    timer_on_ = false;
    deliver(std::move(p.done), {outcome, std::move(packet), p.sent});
}

void AuroraLink::fail_front(AuroraReply::Outcome outcome) {
    drop();
    if (queue_.empty()) return;
    Pending p = std::move(queue_.front());
    queue_.pop_front();
    deliver(std::move(p.done), {outcome, {}, p.sent});
}

void AuroraLink::fail_all() {
    drop();
    std::deque<Pending> queue = std::exchange(queue_, {});
    for (Pending& p : queue)
        deliver(std::move(p.done), {AuroraReply::Outcome::NoAccess, {}, p.sent});
}

void AuroraLink::deliver(Done done, AuroraReply reply) {
    if (in_request_ == 0) {
        done(reply);
        return;
    }
    posted_.push_back({std::move(done), std::move(reply)});
    if (!poster_on_) f_.platform.start_timer(poster_, 1);
    poster_on_ = true;
}

void AuroraLink::Poster::on_timer_tick() {
    link->run_posted();
}

void AuroraLink::run_posted() {
    f_.platform.stop_timer(poster_);
    poster_on_ = false;
    std::deque<Finished> posted = std::exchange(posted_, {});
    for (Finished& p : posted) p.done(p.reply);
}

void AuroraLink::drop() {
    if (socket_) socket_->close();
    state_ = State::Closed;
    splitter_.clear();
    if (timer_on_) f_.platform.stop_timer(*this);
    timer_on_ = false;
}

void AuroraLink::arm() {
    deadline_ = f_.platform.now_ms() + kAuroraAnswerMs;
    f_.platform.start_timer(*this, static_cast<unsigned>(kAuroraAnswerMs));
    timer_on_ = true;
}

std::size_t AuroraLink::max_line() const {
    if (!queue_.empty() && queue_.front().sent &&
        (queue_.front().command == "ATC" || queue_.front().command == "ATCT")) {
        return kAuroraMaxListLine;
    }
    return kAuroraMaxLine;
}

void AuroraLink::read_arrived() {
    using O = AuroraReply::Outcome;
    if (state_ != State::Open) return;
    std::vector<std::string> lines;
    const bool fits = splitter_.feed(socket_->get_data(), lines, max_line());
    // Lines read before the next request goes out cannot answer it.
    const bool was_pumping = std::exchange(pumping_, true);
    for (const std::string& line : lines) {
        if (state_ != State::Open) break;
        if (queue_.empty() || !queue_.front().sent) continue;
        const std::string& command = queue_.front().command;
        std::optional<AuroraPacket> packet = parse_aurora_line(line);
        if (packet && packet->kind == '#' && packet->command == command) {
            finish_front(O::Answered, std::move(*packet));
            continue;
        }
        // A refusal ("@ERR" or "$ERR") names the command it refuses; one
        // naming none can only be about what this connection asked.
        if (packet && (packet->kind == '@' || packet->kind == '$') && packet->command == "ERR" &&
            (packet->fields.empty() || packet->fields[0] == "#" + command ||
             !packet->fields[0].starts_with("#"))) {
            finish_front(O::Refused, std::move(*packet));
            continue;
        }
        // The awaited command's line that cannot be read: no other answer
        // is coming.
        if (!packet && answers_unreadably(line, command)) {
            finish_front(O::Garbled);
            continue;
        }
        if (++skipped_ > kAuroraMaxSkipped) {
            fail_front(O::Garbled);
            break;
        }
    }
    if (!fits && state_ == State::Open) {
        if (!queue_.empty() && queue_.front().sent)
            fail_front(O::Garbled);
        else
            drop();
    }
    pumping_ = was_pumping;
    pump();
}

void AuroraLink::on_socket_connect() {
    if (ended()) {
        cancel_all();
        return;
    }
    if (state_ != State::Connecting) return;
    state_ = State::Open;
    if (timer_on_) f_.platform.stop_timer(*this);
    timer_on_ = false;
    pump();
}

void AuroraLink::on_socket_data_arrival(std::size_t) {
    // What arrived, then the bound: as at a tick.
    on_timer_tick();
}

void AuroraLink::on_socket_close() {
    if (ended()) {
        cancel_all();
        return;
    }
    const bool was_open = state_ == State::Open;
    // An answer may have come with the close; nothing more goes out on it.
    const bool was_pumping = std::exchange(pumping_, true);
    read_arrived();
    pumping_ = was_pumping;
    if (state_ == State::Connecting) {
        fail_all();
    } else if (!queue_.empty() && queue_.front().sent) {
        fail_front(AuroraReply::Outcome::Closed);
    } else {
        drop();
    }
    pump();
    if (!was_open) return;
    for (const std::function<void()>& listener : close_listeners_) listener();
}

void AuroraLink::on_socket_error(int) {
    on_socket_close();
}

void AuroraLink::on_timer_tick() {
    if (ended()) {
        cancel_all();
        return;
    }
    // An answer that has arrived beats a tick that came with it.
    read_arrived();
    on_deadline();
}

void AuroraLink::on_deadline() {
    const bool awaiting = state_ == State::Connecting ||
                          (state_ == State::Open && !queue_.empty() && queue_.front().sent);
    if (!awaiting) {
        if (timer_on_) f_.platform.stop_timer(*this);
        timer_on_ = false;
        return;
    }
    const platform::Millis now = f_.platform.now_ms();
    if (now < deadline_) {
        f_.platform.start_timer(*this, static_cast<unsigned>(deadline_ - now));
        timer_on_ = true;
        return;
    }
    // Refused and never accepted look the same to the user: no access.
    if (state_ == State::Connecting) {
        fail_all();
    } else {
        fail_front(AuroraReply::Outcome::NoAnswer);
    }
    pump();
}

}  // namespace tovira
