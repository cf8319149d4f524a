#include "dispatch/aurora_client.h"

#include <utility>

#include "aurora/aurora_station.h"
#include "platform/text_encoding.h"

namespace tovira {

namespace {

using O = AuroraReply::Outcome;

using platform::ascii_upper;
using platform::same_ignoring_ascii_case;

std::string arrow(std::string_view callsign, std::string_view station) {
    std::string s(callsign);
    s.append(" \u2192 ");
    s.append(station);
    return s;
}

// Fields 12 and 13 of a position record (the callsign is field 0).
struct Holders {
    std::string assumed, next;
};
Holders holders(const AuroraPacket& record) {
    Holders h;
    if (record.fields.size() > 12) h.assumed = record.fields[12];
    if (record.fields.size() > 13) h.next = record.fields[13];
    return h;
}

}  // namespace

// ---- texts ----------------------------------------------------------------------------

const char AuroraClient::kNoAccess[] =
    "No IvAc window, and Aurora does not answer: set Settings (F7) > Other > "
    "\"3rd Party Software Access\" to YES; if it is, apply it again";
const char AuroraClient::kNothingSelected[] = "Not sent: no traffic selected in Aurora";
const char AuroraClient::kNoAnswer[] = "Not sent: Aurora gave no answer in time";
const char AuroraClient::kClosed[] = "Not sent: Aurora closed the connection";
const char AuroraClient::kMalformed[] = "Not sent: Aurora's answer was not understood";
const char AuroraClient::kBadStation[] = "Not sent: the position is not a station callsign";
const char AuroraClient::kSentNoAnswer[] =
    "sent to Aurora, no answer: look in Aurora before sending again";

std::string AuroraClient::confirming_text(std::string_view callsign, std::string_view station) {
    return "sent to Aurora: " + arrow(callsign, station) + " (confirming)";
}

std::string AuroraClient::transferred_text(std::string_view callsign, std::string_view station) {
    return "transferred: " + arrow(callsign, station);
}

std::string AuroraClient::unconfirmed_text(std::string_view callsign, std::string_view station) {
    return "sent to Aurora: " + arrow(callsign, station) + ", not confirmed";
}

std::string AuroraClient::refused_text(std::string_view message) {
    std::string s = "Aurora: ";
    s.append(message.substr(0, kAuroraMaxMessage));
    if (message.size() > kAuroraMaxMessage) s.append("\u2026");
    return s;
}

std::string AuroraClient::ambiguous_text(const std::vector<std::string>& candidates) {
    return join_candidates(candidates) + "? Name the station in full in Menu";
}

std::string AuroraClient::own_station_text(std::string_view station) {
    std::string s(station);
    s.append(" is your own station");
    return s;
}

// ---- clicks ---------------------------------------------------------------------------

AuroraClient::~AuroraClient() {
    stop_timer();
}

bool AuroraClient::ended() {
    return f_.platform.quitting() || f_.window.unloaded();
}

void AuroraClient::stop_timer() {
    if (timer_on_) f_.platform.stop_timer(*this);
    timer_on_ = false;
}

void AuroraClient::click(int slot, ClickBalloons::Click click) {
    if (ended()) {
        stop();
        return;
    }
    const platform::Millis now = f_.platform.now_ms();
    const bool second_half =
        last_slot_ == slot && now - last_click_at_ <= f_.platform.double_click_ms();
    last_slot_ = slot;
    last_click_at_ = now;
    // The second half of a double click is the same click while that click
    // runs or waits; once it has ended, another click is another handover.
    if (second_half && ((busy() && slot_ == slot) || waiting_ == slot)) {
        last_slot_.reset();
        return;
    }
    switch (phase_) {
        case Phase::Idle: start(slot, click); break;
        // Before the transfer goes out the latest click wins.
        case Phase::Asking: start(slot, click); break;
        // After it, the latest click waits for its echo.
        case Phase::Transferring:
            waiting_ = slot;
            waiting_click_ = click;
            break;
        // An older transfer only being confirmed ends quietly.
        case Phase::Confirming:
            finish(std::nullopt);
            start(slot, click);
            break;
    }
}

void AuroraClient::stop() {
    waiting_.reset();
    phase_ = Phase::Idle;
    ++attempt_;
    stop_timer();
}

void AuroraClient::start(int slot, ClickBalloons::Click click) {
    ++attempt_;
    stop_timer();
    slot_ = slot;
    click_ = click;
    phase_ = Phase::Asking;
    own_.clear();
    callsign_.clear();
    station_.clear();
    // Asked at every click: the controller may have changed station.
    ask(
        "#CONN", [this](const AuroraReply& r) { on_conn(r); }, true);
}

void AuroraClient::ask(std::string line, std::function<void(const AuroraReply&)> next,
                       bool refusal_ok) {
    const unsigned attempt = attempt_;
    f_.link.request(std::move(line),
                    [this, attempt, next = std::move(next), refusal_ok](const AuroraReply& r) {
                        if (attempt != attempt_ || phase_ == Phase::Idle) return;
                        if (ended()) {
                            stop();
                            return;
                        }
                        // The transfer and its confirmation judge every outcome themselves.
                        if (phase_ != Phase::Asking || r.outcome == O::Answered ||
                            (r.outcome == O::Refused && refusal_ok)) {
                            next(r);
                            return;
                        }
                        switch (r.outcome) {
                            case O::Refused: finish(refused_text(r.message())); break;
                            case O::NoAccess: finish(kNoAccess); break;
                            case O::NoAnswer: finish(kNoAnswer); break;
                            case O::Closed: finish(kClosed); break;
                            case O::Garbled: finish(kMalformed); break;
                            default: finish(std::nullopt); break;
                        }
                    });
}

void AuroraClient::on_conn(const AuroraReply& r) {
    // An empty field or a refusal: the own station is not known.
    if (r.outcome == O::Answered && !r.packet.fields.empty() &&
        valid_aurora_callsign(r.packet.fields[0])) {
        own_ = r.packet.fields[0];
    }
    ask("#SELTFC", [this](const AuroraReply& a) { on_selected(a); });
}

void AuroraClient::on_selected(const AuroraReply& r) {
    const std::string callsign = r.packet.fields.empty() ? std::string() : r.packet.fields[0];
    if (callsign.empty()) {
        finish(kNothingSelected);
        return;
    }
    if (!valid_aurora_callsign(callsign)) {
        finish(kMalformed);
        return;
    }
    callsign_ = callsign;
    ask(
        "#ATC", [this](const AuroraReply& a) { on_stations(a); }, true);
}

void AuroraClient::on_stations(const AuroraReply& r) {
    // An Aurora that refuses the list leaves the online check's record.
    std::vector<AuroraStation> stations;
    if (r.outcome == O::Answered) {
        std::optional<std::vector<AuroraStation>> list = parse_aurora_stations(r.packet);
        if (!list) {
            finish(kMalformed);
            return;
        }
        stations = std::move(*list);
    }
    std::string reason;
    std::optional<std::string> station = station_for(stations, reason);
    if (!station) {
        finish(reason);
        return;
    }
    station_ = std::move(*station);
    ask("#TRPOS;" + callsign_, [this](const AuroraReply& a) { on_record(a); });
}

std::optional<std::string> AuroraClient::station_for(const std::vector<AuroraStation>& stations,
                                                     std::string& reason) {
    const StationMatch m = resolve_station(f_.t1[slot_]->text(), stations);
    if (m.kind == StationMatch::Kind::Ambiguous) {
        reason = ambiguous_text(m.candidates);
        return std::nullopt;
    }
    // Not among Aurora's stations: the online check's record where its
    // callsign is the position's, else the position itself.
    std::string station = m.kind == StationMatch::Kind::Found ? ascii_upper(m.station)
                                                              : f_.monitor.station_for(slot_);
    if (!valid_aurora_station(station)) {
        reason = kBadStation;
        return std::nullopt;
    }
    if (!own_.empty() && same_ignoring_ascii_case(station, own_)) {
        reason = own_station_text(station);
        return std::nullopt;
    }
    return station;
}

void AuroraClient::on_record(const AuroraReply& r) {
    const Holders before = holders(r.packet);
    before12_ = before.assumed;
    before13_ = before.next;
    phase_ = Phase::Transferring;
    ask("#TRTR;" + callsign_ + ";" + station_ + ";",
        [this](const AuroraReply& a) { on_transfer(a); });
}

void AuroraClient::on_transfer(const AuroraReply& r) {
    switch (r.outcome) {
        case O::Answered: break;
        case O::Refused: finish(refused_text(r.message()), 2 * platform::kBalloonMs); return;
        case O::Cancelled: finish(std::nullopt); return;
        case O::NoAccess: finish(kNoAccess); return;
        // Once the line went out Aurora may have transferred: never "not sent".
        case O::NoAnswer: finish(r.sent ? kSentNoAnswer : kNoAnswer); return;
        case O::Closed: finish(r.sent ? kSentNoAnswer : kClosed); return;
        case O::Garbled: finish(r.sent ? kSentNoAnswer : kMalformed); return;
    }
    // Whether the echo names the station is not known: the callsign decides.
    if (r.packet.fields.empty() || !same_ignoring_ascii_case(r.packet.fields[0], callsign_)) {
        finish(kSentNoAnswer);
        return;
    }
    // Stands until the outcome of the confirmation replaces it.
    show(click_, slot_, confirming_text(callsign_, station_),
         kAuroraConfirmMs + 2 * kAuroraAnswerMs + kAuroraConfirmEveryMs);
    if (waiting_) {
        finish(std::nullopt);
        return;
    }
    phase_ = Phase::Confirming;
    echo_at_ = f_.platform.now_ms();
    poll_out_ = false;
    last_poll_ = false;
    f_.platform.start_timer(*this, static_cast<unsigned>(kAuroraConfirmEveryMs));
    timer_on_ = true;
}

void AuroraClient::on_timer_tick() {
    if (ended()) {
        stop();
        return;
    }
    if (phase_ != Phase::Confirming) {
        stop_timer();
        return;
    }
    if (f_.platform.now_ms() - echo_at_ >= kAuroraConfirmMs) {
        last_poll_ = true;
        stop_timer();
    }
    if (poll_out_) return;
    poll_out_ = true;
    ask("#TRPOS;" + callsign_, [this](const AuroraReply& a) { on_poll(a); });
}

void AuroraClient::on_poll(const AuroraReply& r) {
    poll_out_ = false;
    if (r.outcome == O::Cancelled) {
        finish(std::nullopt);
        return;
    }
    if (r.outcome == O::Answered) {
        const Holders now = holders(r.packet);
        if ((same_ignoring_ascii_case(now.assumed, station_) &&
             !same_ignoring_ascii_case(now.assumed, before12_)) ||
            (same_ignoring_ascii_case(now.next, station_) &&
             !same_ignoring_ascii_case(now.next, before13_))) {
            finish(transferred_text(callsign_, station_));
            return;
        }
    }
    if (last_poll_) finish(unconfirmed_text(callsign_, station_));
}

void AuroraClient::finish(std::optional<std::string> text, platform::Millis shown_ms) {
    const int slot = slot_;
    const ClickBalloons::Click click = click_;
    phase_ = Phase::Idle;
    ++attempt_;
    stop_timer();
    poll_out_ = false;
    last_poll_ = false;
    if (text && !ended()) show(click, slot, *text, shown_ms);
    run_waiting();
}

void AuroraClient::show(ClickBalloons::Click click, int slot, const std::string& text,
                        platform::Millis shown_ms) {
    f_.balloons.show(click, slot, text, shown_ms);
}

void AuroraClient::run_waiting() {
    if (!waiting_ || ended()) return;
    const int slot = *waiting_;
    waiting_.reset();
    start(slot, waiting_click_);
}

}  // namespace tovira
