// Which of the stations Aurora knows a slot's position names: the one
// equal to it (ignoring case), else the only one whose callsign ends with
// it ("DDT_TWR" names "EDDT_TWR", as the online check finds it). Two or
// more that end with it name none for sure.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "aurora/aurora_link.h"

namespace tovira {

struct StationMatch {
    enum class Kind { Found, Ambiguous, None };
    Kind kind = Kind::None;
    std::string station;                  // Found: the callsign as Aurora spells it
    std::vector<std::string> candidates;  // Ambiguous: every callsign that fits, in list order
};

StationMatch resolve_station(std::string_view position, std::span<const AuroraStation> stations);

// "A or B", "A, B or C": the candidates of an ambiguous match.
std::string join_candidates(std::span<const std::string> candidates);

}  // namespace tovira
