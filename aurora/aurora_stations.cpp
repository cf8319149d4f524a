#include "aurora/aurora_stations.h"

#include <algorithm>

#include "aurora/aurora_station.h"
#include "platform/text_encoding.h"

namespace tovira {

namespace {

using platform::same_ignoring_ascii_case;

}  // namespace

std::optional<std::size_t> find_listed_station(std::span<const AuroraStation> stations,
                                               std::string_view position) {
    const StationMatch m = resolve_station(position, stations);
    if (m.kind != StationMatch::Kind::Found) return std::nullopt;
    for (std::size_t k = 0; k < stations.size(); ++k) {
        if (stations[k].callsign == m.station) return k;
    }
    return std::nullopt;
}

void AuroraCurrentList::listed(std::span<const AuroraStation> stations, std::int64_t at) {
    unanswered_ = 0;
    listed_at_ = at;
    std::vector<AuroraStation> next;
    std::vector<bool> missed;
    auto held = [&next](std::string_view callsign) {
        return std::any_of(next.begin(), next.end(), [&](const AuroraStation& s) {
            return same_ignoring_ascii_case(s.callsign, callsign);
        });
    };
    for (const AuroraStation& s : stations) {
        if (s.callsign.empty() || held(s.callsign)) continue;
        next.push_back(s);
        missed.push_back(false);
    }
    // Missed once: kept, with the frequency it had.
    for (std::size_t k = 0; k < stations_.size(); ++k) {
        if (missed_[k] || held(stations_[k].callsign)) continue;
        next.push_back(stations_[k]);
        missed.push_back(true);
    }
    stations_ = std::move(next);
    missed_ = std::move(missed);
}

void AuroraCurrentList::unanswered() {
    if (++unanswered_ >= 2) closed();
}

void AuroraCurrentList::closed() {
    stations_.clear();
    missed_.clear();
    unanswered_ = 0;
    listed_at_.reset();
}

const AuroraStation* AuroraCurrentList::find(std::string_view position) const {
    const std::optional<std::size_t> k = find_listed_station(stations_, position);
    return k ? &stations_[*k] : nullptr;
}

AuroraFill fill_from_aurora(std::span<const FillSlot> slots,
                            std::span<const AuroraStation> transfer_list,
                            std::span<const AuroraStation> station_list, std::string_view own) {
    AuroraFill fill;
    std::vector<int> empty;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].name.empty() && slots[i].position.empty())
            empty.push_back(static_cast<int>(i));
    }
    if (empty.empty()) {
        fill.outcome = AuroraFill::Outcome::NoEmptySlot;
        return fill;
    }
    fill.from_transfer_list = !transfer_list.empty();
    const std::span<const AuroraStation> list =
        fill.from_transfer_list ? transfer_list : station_list;
    std::vector<bool> taken(list.size(), false);
    for (const FillSlot& slot : slots) {
        if (const std::optional<std::size_t> k = find_listed_station(list, slot.position)) {
            taken[*k] = true;
        }
    }
    std::size_t next_empty = 0;
    for (std::size_t k = 0; k < list.size() && next_empty < empty.size(); ++k) {
        const std::string& callsign = list[k].callsign;
        if (taken[k] || callsign.empty() || same_ignoring_ascii_case(callsign, own)) continue;
        const bool repeat =
            std::any_of(fill.added.begin(), fill.added.end(), [&](const AuroraFill::Added& a) {
                return same_ignoring_ascii_case(a.callsign, callsign);
            });
        if (repeat) continue;
        fill.added.push_back({empty[next_empty++], callsign});
    }
    fill.outcome =
        fill.added.empty() ? AuroraFill::Outcome::NothingNew : AuroraFill::Outcome::Added;
    return fill;
}

std::string fill_text(const AuroraFill& fill) {
    switch (fill.outcome) {
        case AuroraFill::Outcome::NoEmptySlot: return "no empty slot";
        case AuroraFill::Outcome::NothingNew: return "nothing new in Aurora's lists";
        case AuroraFill::Outcome::Added: break;
    }
    std::string text = std::to_string(fill.added.size());
    text +=
        fill.added.size() == 1 ? " station added from Aurora's " : " stations added from Aurora's ";
    text += fill.from_transfer_list ? "transfer list" : "station list";
    return text;
}

}  // namespace tovira
