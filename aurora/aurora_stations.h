// What Aurora sees, for the panel: its current list of staffed stations
// (kept steady at the edge of its range), the rule that finds a slot's
// station in a list (the handover's), and the rule by which "From Aurora" fills the empty
// slots of the station table. Pure: no platform, no controls used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "aurora/aurora_link.h"

namespace tovira {

// The station of `stations` that `position` names, by the handover's rule
// (`resolve_station`): the one equal to it (ignoring ASCII case), else the
// only one whose callsign ends with it ("DDT_TWR" names "EDDT_TWR"). None
// for an empty position, for none, and where two or more end with it.
std::optional<std::size_t> find_listed_station(std::span<const AuroraStation> stations,
                                               std::string_view position);

// Aurora's current list: the latest one answered, except that a station is
// dropped only when two lists in a row miss it (a station at the edge of
// Aurora's range does not come and go with each radar cycle). Empty once
// the connection closes or two refreshes in a row go unanswered.
class AuroraCurrentList {
public:
    // A list Aurora answered, at `at` (the platform's clock).
    void listed(std::span<const AuroraStation> stations, std::int64_t at = 0);
    // A refresh that got no list (no answer, a refusal, a garbled line).
    void unanswered();
    // The connection closed, or none could be opened.
    void closed();

    const std::vector<AuroraStation>& stations() const { return stations_; }
    const AuroraStation* find(std::string_view position) const;
    // When the latest list was answered; nothing once emptied.
    std::optional<std::int64_t> listed_at() const { return listed_at_; }

private:
    std::vector<AuroraStation> stations_;
    std::optional<std::int64_t> listed_at_;
    std::vector<bool> missed_;  // per station: the latest list missed it
    int unanswered_ = 0;
};

// "From Aurora": which empty slots take which stations.
struct AuroraFill {
    enum class Outcome { Added, NothingNew, NoEmptySlot };
    struct Added {
        int slot;
        std::string callsign;
    };
    Outcome outcome = Outcome::NothingNew;
    bool from_transfer_list = true;  // else from the station list (#ATC)
    std::vector<Added> added;
};

struct FillSlot {
    std::string_view name;
    std::string_view position;
};

// Fills the empty slots (name and position both empty), in slot order,
// with the stations of the transfer list, or of the station list where the
// transfer list is empty, leaving out any station a slot's position
// already names (by `find_listed_station`), the controller's own station
// and repeats.
AuroraFill fill_from_aurora(std::span<const FillSlot> slots,
                            std::span<const AuroraStation> transfer_list,
                            std::span<const AuroraStation> station_list, std::string_view own);

// The balloon's text: "7 stations added from Aurora's transfer list",
// "nothing new in Aurora's lists", "no empty slot".
std::string fill_text(const AuroraFill& fill);

}  // namespace tovira
