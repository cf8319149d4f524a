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

std::string AuroraClient::cannot_confirm_text(std::string_view callsign, std::string_view station) {
    return "sent to Aurora: " + arrow(callsign, station) + ", cannot confirm";
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
    stop();
}

bool AuroraClient::ended() {
    return f_.platform.quitting() || f_.window.unloaded();
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
    const bool confirming = !confirmations_.empty() && confirmations_.back().slot == slot;
    if (second_half &&
        ((phase_ != Phase::Idle && slot_ == slot) || waiting_ == slot || confirming)) {
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
    }
}

void AuroraClient::stop() {
    waiting_.reset();
    phase_ = Phase::Idle;
    ++attempt_;
    for (Confirmation& c : confirmations_) stop_confirmation(c);
    confirmations_.clear();
}

void AuroraClient::start(int slot, ClickBalloons::Click click) {
    ++attempt_;
    slot_ = slot;
    click_ = click;
    phase_ = Phase::Asking;
    own_.clear();
    callsign_.clear();
    station_.clear();
    before_.reset();
    // Asked at every click: the controller may have changed station.
    ask(
        "#CONN", [this](const AuroraReply& r) { on_conn(r); }, Takes::AnswerOrRefusal);
}

void AuroraClient::ask(std::string line, std::function<void(const AuroraReply&)> next,
                       Takes takes) {
    const unsigned attempt = attempt_;
    f_.link.request(
        std::move(line), [this, attempt, next = std::move(next), takes](const AuroraReply& r) {
            if (attempt != attempt_ || phase_ == Phase::Idle) return;
            if (ended()) {
                stop();
                return;
            }
            // The transfer judges every outcome itself.
            if (phase_ != Phase::Asking || takes == Takes::Any || r.outcome == O::Answered ||
                (r.outcome == O::Refused && takes == Takes::AnswerOrRefusal)) {
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
    // An empty field or a refusal: the own station is not known. It is a
    // station as Aurora lists them, up to 24 characters.
    if (r.outcome == O::Answered && !r.packet.fields.empty() &&
        valid_aurora_station_callsign(r.packet.fields[0])) {
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
    // The panel's list where it is fresh: its refresh may be awaiting a
    // slow #ATC right now, and the click need not wait for another.
    const std::optional<std::int64_t> at = f_.list.listed_at();
    if (at && f_.platform.now_ms() - *at <= kAuroraListFreshMs) {
        with_stations(f_.list.stations());
        return;
    }
    ask(
        "#ATC", [this](const AuroraReply& a) { on_stations(a); }, Takes::AnswerOrRefusal);
}

void AuroraClient::on_stations(const AuroraReply& r) {
    // An Aurora that refuses the list leaves the online check's record.
    std::vector<AuroraStation> stations;
    if (r.outcome == O::Answered) stations = parse_aurora_stations(r.packet).value_or(stations);
    with_stations(stations);
}

void AuroraClient::with_stations(const std::vector<AuroraStation>& stations) {
    std::string reason;
    std::optional<std::string> station = station_for(stations, reason);
    if (!station) {
        finish(reason);
        return;
    }
    station_ = std::move(*station);
    // Only the confirmation needs the record: the transfer goes without it.
    ask(
        "#TRPOS;" + callsign_, [this](const AuroraReply& a) { on_record(a); }, Takes::Any);
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
    std::string station =
        m.kind == StationMatch::Kind::Found ? ascii_upper(m.station) : f_.recorded_station(slot_);
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
    if (r.outcome == O::Cancelled) {
        finish(std::nullopt);
        return;
    }
    if (r.outcome == O::Answered) before_ = r.packet;
    phase_ = Phase::Transferring;
    ask("#TRTR;" + callsign_ + ";" + station_ + ";",
        [this](const AuroraReply& a) { on_transfer(a); });
}

void AuroraClient::on_transfer(const AuroraReply& r) {
    // Once the line went out Aurora may have transferred: never "not sent",
    // and told even beside a newer click's balloon.
    switch (r.outcome) {
        case O::Answered: break;
        case O::Refused: finish(refused_text(r.message()), 2 * platform::kBalloonMs, true); return;
        case O::Cancelled: finish(std::nullopt); return;
        case O::NoAccess: finish(kNoAccess); return;
        case O::NoAnswer:
            finish(r.sent ? kSentNoAnswer : kNoAnswer, platform::kBalloonMs, r.sent);
            return;
        case O::Closed:
            finish(r.sent ? kSentNoAnswer : kClosed, platform::kBalloonMs, r.sent);
            return;
        case O::Garbled:
            finish(r.sent ? kSentNoAnswer : kMalformed, platform::kBalloonMs, r.sent);
            return;
    }
    // Whether the echo names the station is not known: the callsign decides.
    if (r.packet.fields.empty() || !same_ignoring_ascii_case(r.packet.fields[0], callsign_)) {
        finish(kSentNoAnswer, platform::kBalloonMs, true);
        return;
    }
    if (!before_) {
        finish(cannot_confirm_text(callsign_, station_), platform::kBalloonMs, true);
        return;
    }
    const Holders before = holders(*before_);
    confirm(before.assumed, before.next);
    finish(std::nullopt);
}

void AuroraClient::finish(std::optional<std::string> text, platform::Millis shown_ms, bool must) {
    const int slot = slot_;
    const ClickBalloons::Click click = click_;
    phase_ = Phase::Idle;
    ++attempt_;
    if (text && !ended()) {
        if (must) {
            f_.balloons.tell(click, slot, *text, shown_ms);
        } else {
            f_.balloons.show(click, slot, *text, shown_ms);
        }
    }
    run_waiting();
}

void AuroraClient::run_waiting() {
    if (!waiting_ || ended()) return;
    const int slot = *waiting_;
    waiting_.reset();
    start(slot, waiting_click_);
}

// ---- confirmations ----------------------------------------------------------------------

void AuroraClient::confirm(const std::string& before12, const std::string& before13) {
    Confirmation& c = confirmations_.emplace_back();
    c.client = this;
    c.id = ++next_confirmation_;
    c.click = click_;
    c.slot = slot_;
    c.callsign = callsign_;
    c.station = station_;
    c.before12 = before12;
    c.before13 = before13;
    c.echo_at = f_.platform.now_ms();
    // Stands until the outcome of the confirmation replaces it.
    f_.balloons.show(c.click, c.slot, confirming_text(c.callsign, c.station),
                     kAuroraConfirmMs + 2 * kAuroraAnswerMs + kAuroraConfirmEveryMs);
    f_.platform.start_timer(c, static_cast<unsigned>(kAuroraConfirmEveryMs));
    c.timer_on = true;
}

AuroraClient::Confirmation* AuroraClient::confirmation(unsigned id) {
    for (Confirmation& c : confirmations_) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

void AuroraClient::stop_confirmation(Confirmation& c) {
    if (c.timer_on) f_.platform.stop_timer(c);
    c.timer_on = false;
}

void AuroraClient::confirm_tick(Confirmation& c) {
    if (ended()) {
        stop();
        return;
    }
    if (f_.platform.now_ms() - c.echo_at >= kAuroraConfirmMs) {
        c.last_poll = true;
        stop_confirmation(c);
    }
    if (c.poll_out) return;
    c.poll_out = true;
    const unsigned id = c.id;
    f_.link.request("#TRPOS;" + c.callsign, [this, id](const AuroraReply& r) { on_poll(id, r); });
}

void AuroraClient::on_poll(unsigned id, const AuroraReply& r) {
    Confirmation* c = confirmation(id);
    if (c == nullptr) return;
    c->poll_out = false;
    if (r.outcome == O::Cancelled || ended()) {
        confirmed(id, std::nullopt, false);
        return;
    }
    if (r.outcome == O::Answered) {
        const Holders now = holders(r.packet);
        if ((same_ignoring_ascii_case(now.assumed, c->station) &&
             !same_ignoring_ascii_case(now.assumed, c->before12)) ||
            (same_ignoring_ascii_case(now.next, c->station) &&
             !same_ignoring_ascii_case(now.next, c->before13))) {
            confirmed(id, transferred_text(c->callsign, c->station), false);
            return;
        }
    }
    if (c->last_poll) confirmed(id, unconfirmed_text(c->callsign, c->station), true);
}

void AuroraClient::confirmed(unsigned id, std::optional<std::string> text, bool must) {
    for (auto it = confirmations_.begin(); it != confirmations_.end(); ++it) {
        if (it->id != id) continue;
        const ClickBalloons::Click click = it->click;
        const int slot = it->slot;
        stop_confirmation(*it);
        confirmations_.erase(it);
        if (!text || ended()) return;
        // "transferred" of an older click may stay quiet; the rest is told.
        if (must) {
            f_.balloons.tell(click, slot, *text);
        } else {
            f_.balloons.show(click, slot, *text);
        }
        return;
    }
}

}  // namespace tovira
