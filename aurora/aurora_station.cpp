#include "aurora/aurora_station.h"

#include <algorithm>

#include "platform/text_encoding.h"

namespace tovira {

namespace {

using platform::same_ignoring_ascii_case;

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() &&
           same_ignoring_ascii_case(s.substr(s.size() - tail.size()), tail);
}

}  // namespace

StationMatch resolve_station(std::string_view position, std::span<const AuroraStation> stations) {
    StationMatch m;
    if (position.empty()) return m;
    for (const AuroraStation& s : stations) {
        if (same_ignoring_ascii_case(s.callsign, position)) {
            m.kind = StationMatch::Kind::Found;
            m.station = s.callsign;
            return m;
        }
    }
    for (const AuroraStation& s : stations) {
        // A station listed twice is one station.
        const bool listed = std::any_of(
            m.candidates.begin(), m.candidates.end(),
            [&](const std::string& c) { return same_ignoring_ascii_case(c, s.callsign); });
        if (!listed && ends_with(s.callsign, position)) m.candidates.push_back(s.callsign);
    }
    if (m.candidates.size() == 1) {
        m.kind = StationMatch::Kind::Found;
        m.station = std::move(m.candidates.front());
        m.candidates.clear();
    } else if (m.candidates.size() > 1) {
        m.kind = StationMatch::Kind::Ambiguous;
    }
    return m;
}

std::string join_candidates(std::span<const std::string> candidates) {
    std::string out;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (i > 0) out += i + 1 == candidates.size() ? " or " : ", ";
        out += candidates[i];
    }
    return out;
}

}  // namespace tovira
