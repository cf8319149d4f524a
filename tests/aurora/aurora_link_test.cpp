#include "aurora/aurora_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "aurora/aurora_station.h"
#include "backends/sim/sim_aurora.h"
#include "backends/sim/sim_platform.h"

namespace tovira::testing {
namespace {

using platform::Millis;
using sim::SimAurora;
using Lines = std::vector<std::string>;
using O = AuroraReply::Outcome;

TEST(AuroraLines, SplitsLinesAcrossReadsAndBoundsThem) {
    struct Case {
        std::vector<std::string> reads;
        Lines lines;
        bool fits;
        std::size_t max = kAuroraMaxLine;
    };
    const std::string max(kAuroraMaxLine, 'A');
    const std::string list(kAuroraMaxListLine, 'L');
    const Case cases[] = {
        {{"#SELTFC;DLH4CW\r\n"}, {"#SELTFC;DLH4CW"}, true},
        {{"#SEL", "TFC;DL", "H4CW;\r", "\n"}, {"#SELTFC;DLH4CW;"}, true},
        {{"#A;1\r\n#B;2\n\r\n#C"}, {"#A;1", "#B;2", ""}, true},
        {{"#A;1\r#B;2\r", "\n#C\r"}, {"#A;1", "#B;2", "#C"}, true},
        {{max + "\r", "\n"}, {max}, true},
        {{max + "A\r\n"}, {}, false},
        {{max, "A"}, {}, false},
        {{"#X\r\n", std::string(5000, 'B')}, {"#X"}, false},
        {{list.substr(0, 30000), list.substr(30000) + "\r\n"}, {list}, true, kAuroraMaxListLine},
        {{list + "L\r\n"}, {}, false, kAuroraMaxListLine},
    };
    for (const Case& c : cases) {
        AuroraLineSplitter splitter;
        Lines lines;
        bool fits = true;
        for (const std::string& r : c.reads) fits = fits && splitter.feed(r, lines, c.max);
        EXPECT_EQ(lines, c.lines) << c.reads.front().substr(0, 20);
        EXPECT_EQ(fits, c.fits) << c.reads.front().substr(0, 20);
    }
}

TEST(AuroraLines, ParsesPacketsAndRefusesMalformedOnes) {
    struct Case {
        std::string line;
        bool ok;
        std::string command;
        Lines fields;
    };
    const Case cases[] = {
        {"#SELTFC;DLH4CW;", true, "SELTFC", {"DLH4CW"}},
        {"#SELTFC;DLH4CW", true, "SELTFC", {"DLH4CW"}},
        {"#SELTFC;", true, "SELTFC", {}},
        {"#SELTFC", true, "SELTFC", {}},
        {"#TRTR;DLH4CW;EDDT_APP;", true, "TRTR", {"DLH4CW", "EDDT_APP"}},
        {"#TRTR;;EDDT_APP", true, "TRTR", {"", "EDDT_APP"}},
        {"$ERR;No", true, "ERR", {"No"}},
        {"@ERR;#TRTR;DLH4CW;EDDT_TWR;Traffic not assumed.",
         true,
         "ERR",
         {"#TRTR", "DLH4CW", "EDDT_TWR", "Traffic not assumed."}},
        {"#INTERCOMPHONESTATUS;PHONE_RECEIVING", true, "INTERCOMPHONESTATUS", {"PHONE_RECEIVING"}},
        {"@BAY;No data in bay", true, "BAY", {"No data in bay"}},
        {"#S;X", false, "", {}},
        {"#ABCDEFGHIJKLMNOPQRSTUVWXY;X", false, "", {}},
        {"#TRTR;A;B;;", true, "TRTR", {"A", "B", ""}},
        {"SELTFC;X", false, "", {}},
        {"#SEL1;X", false, "", {}},
        // Each reader checks the bytes of the fields it uses.
        {std::string("#SELTFC;DLH\x80;"), true, "SELTFC", {"DLH\x80"}},
        {std::string("#SELTFC;DL\tH;"), true, "SELTFC", {"DL\tH"}},
        {std::string("#SELT\x80;DLH"), false, "", {}},
    };
    for (const Case& c : cases) {
        const auto p = parse_aurora_line(c.line);
        ASSERT_EQ(p.has_value(), c.ok) << c.line;
        if (!p) continue;
        EXPECT_EQ(p->command, c.command) << c.line;
        EXPECT_EQ(p->fields, c.fields) << c.line;
    }
}

TEST(AuroraLines, PortFromTheCommandLine) {
    struct Case {
        std::vector<std::string> args;
        std::uint16_t port;
    };
    const Case cases[] = {
        {{}, 1130},
        {{"--aurora-port", "21130"}, 21130},
        {{"--aurora-port=4000", "--status-index", "http://x.aero/"}, 4000},
        {{"--aurora-port", "0"}, 1130},
        {{"--aurora-port", "65536"}, 1130},
        {{"--aurora-port", "12a"}, 1130},
        {{"--aurora-port", "--feed"}, 1130},
        {{"--aurora-port=5", "--aurora-port=6"}, 6},
    };
    for (const Case& c : cases) EXPECT_EQ(aurora_port_from_command_line(c.args), c.port);
}

std::string station_list(int n) {
    std::string line = "#ATC";
    for (int i = 0; i < n; ++i)
        line += ";ST" + std::to_string(i) + "_CTR:12" + std::to_string(i % 10) + ".505";
    return line;
}

TEST(AuroraLines, StationListsAreReadEntryByEntry) {
    struct Case {
        const char* name;
        std::string line;
        std::optional<std::size_t> count;  // nothing: refused
        AuroraStation first = {};
    };
    const Case cases[] = {
        {"two", "#ATC;EDDT_TWR:120.505;EDBB_CTR:127.175", 2, {"EDDT_TWR", "120.505"}},
        {"transfer list, final ;", "#ATCT;EDDT_TWR:120.505;", 1, {"EDDT_TWR", "120.505"}},
        {"none", "#ATC", 0},
        {"no frequency", "#ATC;EDDT_TWR", 1, {"EDDT_TWR", ""}},
        {"500", station_list(500), 500, {"ST0_CTR", "120.505"}},
        {"501", station_list(501), 501, {"ST0_CTR", "120.505"}},
        {"a blank in a callsign: skipped", "#ATC;EDDT TWR:120.505;EDBB_CTR", 1, {"EDBB_CTR", ""}},
        {"no callsign", "#ATC;:120.505", 0},
        {"a frequency not ASCII", "#ATC;EDDT_TWR:120\x80;EDBB_CTR:1", 1, {"EDBB_CTR", "1"}},
        {"a long callsign", "#ATC;EDGG_DKB_N_CTR:133.955", 1, {"EDGG_DKB_N_CTR", "133.955"}},
        {"one too long", "#ATC;" + std::string(kAuroraMaxStationCallsign + 1, 'E'), 0},
        {"another answer", "#SELTFC;DLH4CW", std::nullopt},
        {"a refusal", "@ERR;#ATC;Unknown command", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto packet = parse_aurora_line(c.line);
        ASSERT_TRUE(packet);
        const auto stations = parse_aurora_stations(*packet);
        ASSERT_EQ(stations.has_value(), c.count.has_value());
        if (!stations) continue;
        EXPECT_EQ(stations->size(), *c.count);
        if (!stations->empty()) {
            EXPECT_EQ(stations->front(), c.first);
        }
    }
}

TEST(AuroraStations, APositionNamesOneStationOrSaysWhichFit) {
    const std::vector<AuroraStation> list = {
        {"XEDDT_TWR", ""}, {"EDDT_TWR", ""},  {"EDDT_APP", ""}, {"EDBB_CTR", ""},
        {"EDDT_GND", ""},  {"XEDDT_GND", ""}, {"EDDT_GND", ""}, {"LKPR_APP", ""},
    };
    struct Case {
        std::string position;
        StationMatch::Kind kind;
        std::string station;
        std::string candidates;
    };
    using K = StationMatch::Kind;
    const Case cases[] = {
        {"EDDT_TWR", K::Found, "EDDT_TWR", ""},
        {"eddt_twr", K::Found, "EDDT_TWR", ""},
        {"DDT_TWR", K::Ambiguous, "", "XEDDT_TWR or EDDT_TWR"},
        {"DT_APP", K::Found, "EDDT_APP", ""},
        {"_APP", K::Ambiguous, "", "EDDT_APP or LKPR_APP"},
        {"GND", K::Ambiguous, "", "EDDT_GND or XEDDT_GND"},
        {"EDDT", K::None, "", ""},
        {"EDDT_TWR ", K::None, "", ""},
        {"", K::None, "", ""},
        {"XXEDDT_TWR", K::None, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        const StationMatch m = resolve_station(c.position, list);
        EXPECT_EQ(m.kind, c.kind);
        EXPECT_EQ(m.station, c.station);
        EXPECT_EQ(join_candidates(m.candidates), c.candidates);
    }
    EXPECT_EQ(join_candidates(std::vector<std::string>{"A", "B", "C"}), "A, B or C");
}

// The link alone, on the simulated platform, against the simulated Aurora.
class AuroraLinkTest : public ::testing::Test {
protected:
    struct Got {
        std::string line;
        AuroraReply reply;
        Millis at = 0;
    };
    void install() { sim::install_aurora(sim, aurora); }
    // Queues `line`; its reply lands in `got`.
    void ask(const std::string& line) {
        inside_request = true;
        link.request(line, [this, line](const AuroraReply& r) {
            EXPECT_FALSE(inside_request) << line << ": done ran inside request()";
            got.push_back({line, r, sim.now()});
        });
        inside_request = false;
    }

    sim::SimPlatform sim;
    FormWindow window{sim};
    AuroraLink link{{sim, window}};
    std::shared_ptr<SimAurora> aurora = std::make_shared<SimAurora>();
    std::vector<Got> got;
    bool inside_request = false;
};

TEST_F(AuroraLinkTest, EveryConversationEndsEachRequestOnceWithItsOutcome) {
    const std::string noise = "#INTERCOMPHONESTATUS;PHONE_RECEIVING\r\n@BAY;No data in bay\r\n";
    std::string sixteen, seventeen;
    for (int i = 0; i < kAuroraMaxSkipped; ++i)
        sixteen += i % 2 ? "@BAY;No data in bay\r\n" : "\r\n";
    seventeen = sixteen + "#INTERCOMPHONESTATUS;PHONE_IDLE\r\n";
    // Requests are blank-separated ("later:" first waits, and Aurora answers
    // as usual again); replies are "|"-separated: the outcome, "(unsent)"
    // where the line never went out, and the answer or refusal's message.
    struct Case {
        const char* name;
        std::function<void(SimAurora&)> setup;
        const char* requests;
        std::string replies;
        std::size_t connections = 1;
    };
    const std::string list =
        "ATC;EDDT_TWR:120.505;EDDT_APP:119.625;EDBB_CTR:127.175;EDDT_GND:121.855";
    const std::string record =
        "TRPOS;DLH4CW;52.5597;13.2877;3500;250;180;2000;A320;EDDF;EDDT;IFR;1234;EDDT_APP;;FL100;;;;"
        ";;;0";
    const Case cases[] = {
        {"the real shapes, with lines nobody asked for between them",
         [&](auto& a) { a.before = a.after = noise; },
         "#CONN #SELTFC #ATC #TRPOS;DLH4CW #TRTR;DLH4CW;EDDT_TWR;",
         "Answered CONN;EDDT_APP|Answered SELTFC;DLH4CW|Answered " + list + "|Answered " + record +
             "|Answered TRTR;DLH4CW;EDDT_TWR"},
        {"answers split in two", [](auto& a) { a.split = true; }, "#CONN #SELTFC",
         "Answered CONN;EDDT_APP|Answered SELTFC;DLH4CW"},
        {"Aurora's refusals, each with its message",
         [](auto& a) {
             a.traffic["AFR12"] = {"EDBB_CTR", "", "", 0};
         },
         "#TRTR;AFR12;EDDT_TWR; #TRPOS;XYZ #FOO;1",
         "Refused Traffic not assumed.|Refused Incomplete data in command|Refused Unknown command"},
        {"another command's refusal is skipped",
         [](auto& a) { a.before = "@ERR;#LBALT;RYR90RC;250;Traffic not assumed.\r\n"; }, "#CONN",
         "Answered CONN;EDDT_APP"},
        {"a refusal that names no command is ours",
         [](auto& a) { a.answer_for["CONN"] = "@ERR;Unknown command\r\n"; }, "#CONN",
         "Refused Unknown command"},
        {"16 lines nobody asked for", [&](auto& a) { a.before = sixteen; }, "#CONN",
         "Answered CONN;EDDT_APP"},
        {"17 lines nobody asked for: the connection goes, the next opens anew",
         [&](auto& a) { a.answer_for["CONN"] = seventeen + "#CONN;EDDT_APP\r\n"; },
         "#CONN #SELTFC later:#SELTFC", "Garbled|Answered SELTFC;DLH4CW|Answered SELTFC;DLH4CW", 2},
        {"silence: the request behind goes out on a connection anew",
         [](auto& a) { a.answer_for["SELTFC"] = ""; }, "#SELTFC #CONN later:#CONN",
         "NoAnswer|Answered CONN;EDDT_APP|Answered CONN;EDDT_APP", 2},
        {"closed while awaited: the one queued goes out anew",
         [](auto& a) { a.close_on = {"TRTR"}; }, "#TRTR;DLH4CW;EDDT_TWR; #TRPOS;DLH4CW",
         "Closed|Answered " + record, 2},
        {"the awaited command's line unreadable, at once",
         [](auto& a) { a.answer_for["SELTFC"] = "#SELTFC\x80;DLH4CW\r\n"; }, "#SELTFC #CONN",
         "Garbled|Answered CONN;EDDT_APP"},
        {"a refusal under $", [](auto& a) { a.answer_for["TRTR"] = "$ERR;#TRTR;A;B;No\x01pe\r\n"; },
         "#TRTR;A;B;", "Refused No?pe"},
        {"access off", [](auto& a) { a.access = SimAurora::Access::Refused; }, "#CONN #SELTFC",
         "NoAccess (unsent)|NoAccess (unsent)", 0},
        {"a list of 500 stations",
         [](auto& a) { a.answer_for["ATC"] = station_list(500) + "\r\n"; }, "#ATC #CONN",
         "Answered " + station_list(500).substr(1) + "|Answered CONN;EDDT_APP"},
        {"a list line over 64 KiB",
         [](auto& a) {
             a.answer_for["ATC"] = "#ATC;" + std::string(kAuroraMaxListLine, 'A') + "\r\n";
         },
         "#ATC", "Garbled"},
        {"any other line over 1 KiB",
         [](auto& a) {
             a.answer_for["CONN"] = "#CONN;" + std::string(kAuroraMaxLine, 'A') + "\r\n";
         },
         "#CONN", "Garbled"},
    };
    const auto told = [](const AuroraReply& r) {
        static const char* const kNames[] = {"Answered", "Refused", "NoAccess", "NoAnswer",
                                             "Closed",   "Garbled", "Cancelled"};
        std::string out = kNames[static_cast<int>(r.outcome)];
        if (!r.sent) out += " (unsent)";
        if (r.outcome == O::Refused) out += " " + r.message();
        if (r.outcome != O::Answered) return out;
        out += " " + r.packet.command;
        for (const std::string& f : r.packet.fields) out += ";" + f;
        return out;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *aurora = SimAurora{};
        c.setup(*aurora);
        install();
        sim.connections.clear();
        got.clear();
        std::istringstream requests(c.requests);
        for (std::string r; requests >> r;) {
            if (r.starts_with("later:")) {
                sim.run_for(3 * kAuroraAnswerMs);
                aurora->answer_for.clear();
                aurora->close_on.clear();
                r = r.substr(6);
            }
            ask(r);
        }
        sim.run_for(3 * kAuroraAnswerMs);
        std::string replies;
        for (const Got& g : got) replies += (replies.empty() ? "" : "|") + told(g.reply);
        EXPECT_EQ(replies, c.replies);
        EXPECT_EQ(sim.connections.size(), c.connections);
        link.cancel_all();
    }
}

TEST_F(AuroraLinkTest, EachAnswerWithinItsBoundAndTheConnectionKept) {
    aurora->delay = kAuroraAnswerMs;  // at the bound: still in time
    install();
    ask("#CONN");
    sim.run_for(kAuroraAnswerMs + 10);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].reply.outcome, O::Answered);
    EXPECT_TRUE(link.connected());
    aurora->delay = kAuroraAnswerMs + 1;
    const Millis t = sim.now();
    ask("#SELTFC");
    sim.run_for(kAuroraAnswerMs + 10);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].reply.outcome, O::NoAnswer);
    EXPECT_EQ(got[1].at - t, kAuroraAnswerMs);
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(sim.connections.size(), 1u);
}

TEST_F(AuroraLinkTest, AfterQuitNothingMoreIsSentAndEveryRequestEnds) {
    aurora->delay = 30;
    install();
    ask("#CONN");
    ask("#SELTFC");
    sim.run_for(10);  // #CONN is out, its answer not in
    window.set_unloaded();
    link.cancel_all();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].reply.outcome, O::Cancelled);
    EXPECT_TRUE(got[0].reply.sent);
    EXPECT_FALSE(got[1].reply.sent);
    ask("#ATC");  // too late: ends without a word to Aurora
    sim.run_for(3000);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2].reply.outcome, O::Cancelled);
    EXPECT_EQ(aurora->received, Lines{"#CONN"});
}

TEST_F(AuroraLinkTest, ARequestMadeInsideDoneWaitsForTheLinesAlreadyRead) {
    // The #CONN answer and a stale "#SELTFC" line arrive together: the
    // request made on the first must not take the second.
    aurora->answer_for["CONN"] = "#CONN;EDDT_APP\r\n#SELTFC;OLD1\r\n";
    install();
    link.request("#CONN", [&](const AuroraReply&) { ask("#SELTFC"); });
    sim.run_for(100);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].reply.outcome, O::Answered);
    EXPECT_EQ(got[0].reply.packet.fields, Lines{"DLH4CW"});
}

}  // namespace
}  // namespace tovira::testing
