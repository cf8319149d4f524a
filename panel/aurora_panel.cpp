#include "panel/aurora_panel.h"

#include <array>
#include <optional>
#include <string_view>

#include "config/command_line.h"
#include "monitor/status_parser.h"
#include "panel/panel_layout.h"

namespace tovira {

unsigned aurora_refresh_ms_from_command_line(std::span<const std::string> args) {
    return static_cast<unsigned>(
        number_option(args, "--aurora-refresh-ms", 0, 65535).value_or(kAuroraRefreshMs));
}

const char AuroraPanel::kNoAccess[] =
    "Aurora does not answer: set Settings (F7) > Other > \"3rd Party Software Access\" to YES; "
    "if it is, apply it again";
const char AuroraPanel::kNoAnswer[] = "Aurora gave no answer in time";
const char AuroraPanel::kClosed[] = "Aurora closed the connection";
const char AuroraPanel::kNotUnderstood[] = "Aurora's answer was not understood";

namespace {
using Outcome = AuroraReply::Outcome;
}

AuroraPanel::AuroraPanel(const Uses& uses)
    : f_(uses), timer_(uses.platform, "aurora", kAuroraRefreshMs) {
    timer_.on_tick = [this] { refresh(); };
    uses.link.on_close([this] { link_closed(); });
}

void AuroraPanel::start() {
    if (refresh_ms == 0) return;
    timer_.set_interval(refresh_ms);
    timer_.set_enabled(true);
    refresh();
}

void AuroraPanel::stop() {
    timer_.set_enabled(false);
}

void AuroraPanel::refresh() {
    if (refreshing_) return;  // the last one is still awaited
    refreshing_ = true;
    if (f_.link.connected()) {
        ask_stations();
        return;
    }
    // A connection Tovira dropped (no answer, a garbled line) counted as one
    // unanswered refresh already; only Aurora's close empties the list.
    f_.link.request("#CONN", [this](const AuroraReply& reply) {
        if (reply.outcome == Outcome::Answered || reply.outcome == Outcome::Refused) {
            take_own(reply);
            ask_stations();
            return;
        }
        // Nobody to ask for stations: one try per interval, silently.
        take_list(reply);
        refreshing_ = false;
    });
}

void AuroraPanel::link_closed() {
    // Nothing Aurora said holds once its connection is gone.
    if (f_.list.stations().empty()) return;
    f_.list.closed();
    list_changed();
}

void AuroraPanel::ask_stations() {
    f_.link.request("#ATC", [this](const AuroraReply& reply) {
        refreshing_ = false;
        take_list(reply);
    });
}

void AuroraPanel::take_own(const AuroraReply& reply) {
    // An empty field, one that is no station or an error: the controller's
    // station is unknown.
    own_ = reply.outcome == Outcome::Answered && !reply.packet.fields.empty() &&
                   valid_aurora_station_callsign(reply.packet.fields[0])
               ? reply.packet.fields[0]
               : std::string();
}

std::optional<std::vector<AuroraStation>> AuroraPanel::take_list(const AuroraReply& reply) {
    std::optional<std::vector<AuroraStation>> stations;
    switch (reply.outcome) {
        case Outcome::Answered:
            stations = parse_aurora_stations(reply.packet);
            if (stations) {
                f_.list.listed(*stations, f_.platform.now_ms());
            } else {
                f_.list.unanswered();
            }
            break;
        case Outcome::Refused:
        case Outcome::NoAnswer:
        case Outcome::Garbled: f_.list.unanswered(); break;
        case Outcome::NoAccess:
        case Outcome::Closed: f_.list.closed(); break;
        case Outcome::Cancelled: return stations;  // Quit
    }
    list_changed();
    return stations;
}

void AuroraPanel::Command9_Click() {
    if (filling_) return;  // the click before is still asking
    if (!has_empty_slot()) {
        say(fill_text({AuroraFill::Outcome::NoEmptySlot, true, {}}));
        return;
    }
    filling_ = true;
    // The controller may have changed station since the last refresh.
    f_.link.request("#CONN", [this](const AuroraReply& conn) {
        if (conn.outcome != Outcome::Answered && conn.outcome != Outcome::Refused) {
            return fill_failed(conn);
        }
        take_own(conn);
        f_.link.request("#ATCT", [this](const AuroraReply& atct) {
            transfer_.clear();
            if (atct.outcome == Outcome::Answered) {
                std::optional<std::vector<AuroraStation>> list = parse_aurora_stations(atct.packet);
                if (!list) return fill_failed(atct);
                transfer_ = std::move(*list);
            } else if (atct.outcome != Outcome::Refused) {
                // A refusal is an Aurora without a transfer list: the
                // station list stands in.
                return fill_failed(atct);
            }
            f_.link.request("#ATC", [this](const AuroraReply& atc) {
                filling_ = false;
                if (atc.outcome == Outcome::Cancelled) return;  // Quit: nothing more
                const std::optional<std::vector<AuroraStation>> stations = take_list(atc);
                if (transfer_.empty() && !stations) {
                    // Nothing to fill from: say why.
                    return fill_failed(atc);
                }
                std::vector<FillSlot> slots;
                for (int i = 0; i < kSlotCount; ++i) {
                    slots.push_back({f_.t0[i]->text(), f_.t1[i]->text()});
                }
                const std::vector<AuroraStation> none;
                const AuroraFill fill =
                    fill_from_aurora(slots, transfer_, stations ? *stations : none, own_);
                apply_fill(fill);
            });
        });
    });
}

void AuroraPanel::fill_failed(const AuroraReply& reply) {
    filling_ = false;
    switch (reply.outcome) {
        case Outcome::NoAccess: say(kNoAccess); break;
        case Outcome::NoAnswer: say(kNoAnswer); break;
        case Outcome::Closed: say(kClosed); break;
        case Outcome::Refused: say("Aurora: " + reply.message()); break;
        case Outcome::Answered:
        case Outcome::Garbled: say(kNotUnderstood); break;
        case Outcome::Cancelled: break;  // Quit
    }
}

void AuroraPanel::list_changed() {
    const Uses& f = f_;
    // Every flag is the user's while the show-all box is ticked; what each
    // slot's state is counts all the same, so that no slot seems to change
    // once it is unticked.
    if (f.Check3.value() == 1) {
        f.monitor.aurora_refreshed(false);
        return;
    }
    if (f.monitor.aurora_refreshed()) f.layout.collapse();
}

bool AuroraPanel::has_empty_slot() const {
    for (int i = 0; i < kSlotCount; ++i) {
        if (f_.t0[i]->text().empty() && f_.t1[i]->text().empty()) return true;
    }
    return false;
}

void AuroraPanel::apply_fill(const AuroraFill& fill) {
    const Uses& f = f_;
    AuroraFill done = fill;
    done.added.clear();
    for (const AuroraFill::Added& a : fill.added) {
        // The name's reaction lets events run: a slot typed into meanwhile
        // is the user's.
        if (!f.t0[a.slot]->text().empty() || !f.t1[a.slot]->text().empty()) continue;
        // Each set runs the field's reactions: the name becomes the
        // button's caption and the layout runs. Nothing is saved until
        // the user saves.
        f.t0[a.slot]->set_text(a.callsign);
        f.t1[a.slot]->set_text(a.callsign);
        done.added.push_back(a);
    }
    if (fill.outcome == AuroraFill::Outcome::Added && done.added.empty()) {
        done.outcome = AuroraFill::Outcome::NothingNew;
    }
    if (!done.added.empty()) list_changed();
    say(fill_text(done));
}

void AuroraPanel::say(const std::string& text) {
    f_.platform.show_balloon(f_.Command9.id(), text);
}

}  // namespace tovira
