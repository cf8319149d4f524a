#include "aurora/aurora_stations.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tovira {
namespace {

std::vector<AuroraStation> stations(std::initializer_list<const char*> callsigns) {
    std::vector<AuroraStation> out;
    for (const char* c : callsigns) out.push_back({c, "120.505"});
    return out;
}

std::vector<std::string> callsigns(const std::vector<AuroraStation>& list) {
    std::vector<std::string> out;
    for (const AuroraStation& s : list) out.push_back(s.callsign);
    return out;
}

// Which station a position names is resolve_station's (its own table);
// here: the index of that station, and none where it names none or several.
TEST(AuroraStationsTest, ASlotsStationIsTheIndexOfTheOneThePositionNames) {
    const std::vector<AuroraStation> list =
        stations({"XEDDT_TWR", "EDDT_TWR", "EDDT_APP", "EDBB_CTR", "EDWW_CTR"});
    struct Case {
        const char* position;
        std::optional<std::size_t> index;
    } cases[] = {
        {"edbb_ctr", 3},
        {"EDDT_TWR", 1},
        {"DDT_APP", 2},
        {"DDT_TWR", std::nullopt},
        {"EDDM_GND", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_listed_station(list, c.position), c.index) << c.position;
}

TEST(AuroraStationsTest, TheCurrentListDropsAStationOnlyWhenTwoListsInARowMissIt) {
    enum Kind { List, Unanswered, Closed };
    struct Step {
        Kind kind;
        std::vector<AuroraStation> list;
        std::vector<std::string> after;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"kept for one list, gone at the second",
         {{List, stations({"A", "B"}), {"A", "B"}},
          {List, stations({"A"}), {"A", "B"}},
          {List, stations({"A"}), {"A"}}}},
        {"back within one list: missed anew from then on",
         {{List, stations({"A", "B"}), {"A", "B"}},
          {List, stations({"A"}), {"A", "B"}},
          {List, stations({"A", "B"}), {"A", "B"}},
          {List, stations({"A"}), {"A", "B"}},
          {List, stations({}), {"A"}},
          {List, stations({}), {}}}},
        {"one unanswered refresh keeps the list, an answer counts anew, two in a row empty it",
         {{List, stations({"A"}), {"A"}},
          {Unanswered, {}, {"A"}},
          {List, stations({"A"}), {"A"}},
          {Unanswered, {}, {"A"}},
          {Unanswered, {}, {}}}},
        {"the connection closing empties at once, keeping nothing missed",
         {{List, stations({"A", "B"}), {"A", "B"}},
          {Closed, {}, {}},
          {List, stations({"B"}), {"B"}}}},
        {"a station listed twice counts once", {{List, stations({"A", "a", "B"}), {"A", "B"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AuroraCurrentList current;
        int n = 0;
        for (const Step& s : c.steps) {
            SCOPED_TRACE(n++);
            if (s.kind == List) current.listed(s.list);
            if (s.kind == Unanswered) current.unanswered();
            if (s.kind == Closed) current.closed();
            EXPECT_EQ(callsigns(current.stations()), s.after);
        }
    }
}

TEST(AuroraStationsTest, AKeptStationKeepsItsFrequency) {
    AuroraCurrentList current;
    current.listed(std::vector<AuroraStation>{{"EDDT_TWR", "118.700"}});
    current.listed(std::vector<AuroraStation>{});
    ASSERT_NE(current.find("DDT_TWR"), nullptr);
    EXPECT_EQ(current.find("DDT_TWR")->frequency, "118.700");
}

// Lists are written as blank-separated callsigns; `taken` as "name:position"
// for slots 0.. in order ("*": every slot named), the rest of 30 empty; the
// result as "slot:callsign". Property: only empty slots are filled, in
// order, with new stations only, and the text says how many and from where.
TEST(AuroraStationsTest, FromAuroraFillsEmptySlotsInOrderWithNewStationsOnly) {
    const auto words = [](const char* text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string w; in >> w;) out.push_back(w);
        return out;
    };
    const auto list = [&](const char* text) {
        std::vector<AuroraStation> out;
        for (const std::string& w : words(text)) out.push_back({w, "120.505"});
        return out;
    };
    struct Case {
        const char* name;
        const char* taken;
        const char* transfer;
        const char* atc;
        const char* own;
        const char* added;
        const char* text;
    } cases[] = {
        {"an empty table takes the transfer list", "", "EDDT_TWR EDDT_APP EDBB_CTR", "EKCH_CTR", "",
         "0:EDDT_TWR 1:EDDT_APP 2:EDBB_CTR", "3 stations added from Aurora's transfer list"},
        {"a full table", "*", "EDDT_TWR", "", "", "", "no empty slot"},
        {"a slot DDT_TWR already covers EDDT_TWR", "TXL:DDT_TWR", "EDDT_TWR EDDT_APP", "", "",
         "1:EDDT_APP", "1 station added from Aurora's transfer list"},
        {"the own station is left out", "", "EDDT_APP EDDT_TWR", "", "eddt_app", "0:EDDT_TWR",
         "1 station added from Aurora's transfer list"},
        {"an empty transfer list: the station list", "", "", "EDDT_TWR EDDT_APP", "EDDT_APP",
         "0:EDDT_TWR", "1 station added from Aurora's station list"},
        {"a transfer list of known stations: nothing new, no fallback", "TXL:EDDT_TWR", "EDDT_TWR",
         "EDBB_CTR", "", "", "nothing new in Aurora's lists"},
        {"both lists empty", "", "", "", "", "", "nothing new in Aurora's lists"},
        {"a slot with a name or a position alone is not empty", "TXL: :EDDT_APP",
         "EDDT_APP EDBB_CTR", "", "", "2:EDBB_CTR", "1 station added from Aurora's transfer list"},
        {"repeats count once", "", "EDBB_CTR edbb_ctr", "", "", "0:EDBB_CTR",
         "1 station added from Aurora's transfer list"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> taken = words(c.taken);
        std::vector<FillSlot> slots(30, FillSlot{std::string_view(c.taken) == "*" ? "X" : "", ""});
        for (std::size_t i = 0; i < taken.size() && taken[0] != "*"; ++i) {
            const std::string_view t = taken[i];
            slots[i] = {t.substr(0, t.find(':')), t.substr(t.find(':') + 1)};
        }
        const AuroraFill fill = fill_from_aurora(slots, list(c.transfer), list(c.atc), c.own);
        std::string added;
        for (const AuroraFill::Added& a : fill.added)
            added += (added.empty() ? "" : " ") + std::to_string(a.slot) + ":" + a.callsign;
        EXPECT_EQ(added, c.added);
        EXPECT_EQ(fill_text(fill), c.text);
    }
}

TEST(AuroraStationsTest, MoreStationsThanEmptySlotsFillEverySlot) {
    std::vector<FillSlot> slots(30);
    slots[0] = {"A", "A"};
    std::vector<AuroraStation> many;
    for (int k = 0; k < 40; ++k) many.push_back({"S" + std::to_string(k), "121.500"});
    const AuroraFill fill = fill_from_aurora(slots, many, {}, "");
    ASSERT_EQ(fill.added.size(), 29u);
    EXPECT_EQ(fill.added.front().slot, 1);
    EXPECT_EQ(fill.added.back().slot, 29);
    EXPECT_EQ(fill.added.back().callsign, "S28");
}

}  // namespace
}  // namespace tovira
