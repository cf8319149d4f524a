#include "dispatch/aurora_client.h"

#include <algorithm>
#include <utility>

namespace tovira {

namespace {

bool printable(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u <= 0x7E;
    });
}

}  // namespace

// ---- texts ----------------------------------------------------------------------------

const char AuroraClient::kNoAccess[] =
    "No IvAc window, and Aurora does not answer: switch on Settings (F7) > Other > "
    "\"3rd Party Software Access\"";
const char AuroraClient::kNothingSelected[] = "Not sent: no traffic selected in Aurora";
const char AuroraClient::kNoAnswer[] = "Not sent: Aurora gave no answer in time";
const char AuroraClient::kClosed[] = "Not sent: Aurora closed the connection";
const char AuroraClient::kMalformed[] = "Not sent: Aurora's answer was not understood";
const char AuroraClient::kTooManyLines[] = "Not sent: Aurora answered something else";
const char AuroraClient::kBadStation[] = "Not sent: the position is not a station callsign";

std::string AuroraClient::sent_text(std::string_view callsign, std::string_view station) {
    std::string s = "sent to Aurora: ";
    s.append(callsign);
    s.append(" \u2192 ");
    s.append(station);
    return s;
}

// ---- the conversation -------------------------------------------------------------------

AuroraClient::~AuroraClient() {
    if (timer_on_) f_.platform.stop_timer(*this);
}

bool AuroraClient::ended() {
    return f_.platform.quitting() || f_.window.unloaded();
}

void AuroraClient::click(int slot) {
    const platform::Millis now = f_.platform.now_ms();
    // The second half of a double click is the same click.
    if (last_slot_ == slot && now - last_click_at_ <= f_.platform.double_click_ms()) {
        last_slot_.reset();
        return;
    }
    last_slot_ = slot;
    last_click_at_ = now;
    if (ended()) {
        stop();
        return;
    }
    switch (state_) {
        case State::Idle: start(slot); break;
        // Before the transfer goes out the latest click names the station.
        case State::Connecting:
        case State::AwaitSelected: slot_ = slot; break;
        // After it, the latest click waits for its outcome.
        case State::AwaitTransfer: queued_ = slot; break;
    }
}

void AuroraClient::start(int slot) {
    slot_ = slot;
    skipped_ = 0;
    splitter_.clear();
    if (!socket_) socket_ = f_.platform.create_socket(*this);
    state_ = State::Connecting;
    arm(f_.platform.now_ms());
    if (!socket_->connect(kAuroraHost, port)) finish(kNoAccess);
}

void AuroraClient::stop() {
    state_ = State::Idle;
    queued_.reset();
    if (socket_) socket_->close();
    if (timer_on_) f_.platform.stop_timer(*this);
    timer_on_ = false;
}

void AuroraClient::finish(std::string text) {
    const int slot = slot_;
    const std::optional<int> next = std::exchange(queued_, std::nullopt);
    stop();
    f_.platform.show_balloon(f_.c1[slot]->id(), text);
    if (next && !ended()) start(*next);
}

void AuroraClient::arm(platform::Millis from) {
    deadline_ = from + kAuroraAnswerMs;
    const platform::Millis left = std::max<platform::Millis>(deadline_ - f_.platform.now_ms(), 1);
    f_.platform.start_timer(*this, static_cast<unsigned>(left));
    timer_on_ = true;
}

void AuroraClient::check_deadline() {
    if (state_ == State::Idle) return;
    const platform::Millis now = f_.platform.now_ms();
    if (now < deadline_) {
        f_.platform.start_timer(*this, static_cast<unsigned>(deadline_ - now));
        return;
    }
    // Refused and never accepted look the same to the user: no access.
    finish(state_ == State::Connecting ? kNoAccess : kNoAnswer);
}

void AuroraClient::on_timer_tick() {
    if (state_ == State::Idle || ended()) {
        stop();
        return;
    }
    // An answer that has arrived beats a tick that came with it.
    read_arrived();
    check_deadline();
}

void AuroraClient::on_socket_connect() {
    if (ended()) {
        stop();
        return;
    }
    if (state_ != State::Connecting) return;
    state_ = State::AwaitSelected;
    if (!socket_->send("#SELTFC\r\n")) {
        finish(kClosed);
        return;
    }
    arm(f_.platform.now_ms());
}

void AuroraClient::on_socket_data_arrival(std::size_t) {
    if (ended()) {
        stop();
        return;
    }
    read_arrived();
    check_deadline();
}

void AuroraClient::on_socket_close() {
    if (ended()) {
        stop();
        return;
    }
    if (state_ == State::Idle) return;
    if (state_ != State::Connecting) read_arrived();
    if (state_ == State::Idle) return;
    finish(state_ == State::Connecting ? kNoAccess : kClosed);
}

void AuroraClient::on_socket_error(int) {
    on_socket_close();
}

void AuroraClient::read_arrived() {
    if (state_ == State::Idle || state_ == State::Connecting) return;
    const std::string data = socket_->get_data();
    std::vector<std::string> lines;
    const bool fits = splitter_.feed(data, lines);
    for (const std::string& line : lines) {
        if (!on_line(line)) return;
    }
    if (!fits) finish(kMalformed);
}

bool AuroraClient::on_line(const std::string& line) {
    if (state_ != State::AwaitSelected && state_ != State::AwaitTransfer) return false;
    if (!printable(line)) {
        finish(kMalformed);
        return false;
    }
    if (!line.empty() && (line[0] == '$' || line[0] == '@')) {
        finish("Aurora: " + line.substr(0, kAuroraMaxErrorText));
        return false;
    }
    const std::optional<AuroraPacket> packet = parse_aurora_line(line);
    if (packet && state_ == State::AwaitSelected && packet->command == "SELTFC") {
        const std::string callsign = packet->fields.empty() ? std::string() : packet->fields[0];
        if (callsign.empty()) {
            finish(kNothingSelected);
        } else if (!valid_aurora_callsign(callsign)) {
            finish(kMalformed);
        } else {
            send_transfer(callsign);
        }
        return state_ != State::Idle;
    }
    if (packet && state_ == State::AwaitTransfer && packet->command == "TRTR") {
        if (packet->fields == std::vector<std::string>{callsign_, station_}) {
            finish(sent_text(callsign_, station_));
        } else {
            finish(kMalformed);
        }
        return false;
    }
    // Another program's traffic on the same access, or an empty line.
    if (++skipped_ > kAuroraMaxSkipped) {
        finish(kTooManyLines);
        return false;
    }
    return true;
}

void AuroraClient::send_transfer(const std::string& callsign) {
    if (ended()) {
        stop();
        return;
    }
    std::string station = f_.monitor.station_for(slot_);
    if (!valid_aurora_station(station)) {
        finish(kBadStation);
        return;
    }
    callsign_ = callsign;
    station_ = std::move(station);
    state_ = State::AwaitTransfer;
    skipped_ = 0;
    if (!socket_->send("#TRTR;" + callsign_ + ";" + station_ + ";\r\n")) {
        finish(kClosed);
        return;
    }
    arm(f_.platform.now_ms());
}

}  // namespace tovira
