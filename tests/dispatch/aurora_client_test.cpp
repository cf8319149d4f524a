#include "dispatch/aurora_client.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backends/sim/sim_aurora.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::Millis;
using sim::SimAurora;
using Lines = std::vector<std::string>;

// A click's conversation before the transfer, and the transfer.
const Lines kAsked = {"#CONN", "#SELTFC", "#ATC", "#TRPOS;DLH4CW"};
const char kTransfer[] = "#TRTR;DLH4CW;EDDT_TWR;";

Lines asked_then(const Lines& more) {
    Lines out = kAsked;
    out.insert(out.end(), more.begin(), more.end());
    return out;
}
// The conversation up to the transfer, then `polls` position records.
Lines transferred_after(int polls) {
    Lines out = asked_then({kTransfer});
    for (int i = 0; i < polls; ++i) out.push_back("#TRPOS;DLH4CW");
    return out;
}

std::string station_list(int n) {
    std::string line = "#ATC";
    for (int i = 0; i < n; ++i) line += ";S" + std::to_string(i) + "_CTR:120.505";
    return line + "\r\n";
}

class AuroraTest : public SimTest {
protected:
    // No IvAc window; Aurora answering; no start-up download or minute tick
    // in the way; slot 3 holds EDDT_TWR, unmatched.
    void ready() {
        install_aurora(sim, aurora);
        create();
        form->Timer5->set_enabled(false);
        form->Timer6->set_enabled(false);
        for (int i = 0; i < 6; ++i) form->t1[i]->set_text(numbered("POS", i));
        form->t1[3]->set_text("EDDT_TWR");
    }
    void again() {
        form.reset();
        sim.balloons.clear();
        sim.connections.clear();
        ready();
    }
    Millis click(int slot) {
        const Millis t = sim.now();
        form->c1[slot]->click();
        return t;
    }
    Lines balloon_texts() const {
        Lines out;
        for (const auto& b : sim.balloons) out.push_back(b.text);
        return out;
    }

    std::shared_ptr<SimAurora> aurora = std::make_shared<SimAurora>();
};

TEST_F(AuroraTest, EveryAnswerAndFaultHasItsOutcome) {
    using C = AuroraClient;
    const std::string confirming = C::confirming_text("DLH4CW", "EDDT_TWR");
    const std::string transferred = C::transferred_text("DLH4CW", "EDDT_TWR");
    const std::string unconfirmed = C::unconfirmed_text("DLH4CW", "EDDT_TWR");
    const std::string long_message(120, 'm');
    std::string seventeen;
    for (int i = 0; i <= kAuroraMaxSkipped; ++i) seventeen += "@BAY;No data in bay\r\n";
    // What Aurora received and what the user was told.
    struct Told {
        Lines received;
        Lines shown;
    };
    const Told done{transferred_after(2), {confirming, transferred}};
    const Told unsure{transferred_after(5), {confirming, unconfirmed}};
    const auto after_transfer = [](const std::string& shown) {
        return Told{asked_then({kTransfer}), {shown}};
    };
    const auto before_transfer = [](Lines received, const std::string& shown) {
        return Told{std::move(received), {shown}};
    };
    const Lines selecting = {"#CONN", "#SELTFC"};
    struct Case {
        const char* name;
        std::function<void(SimAurora&)> setup;
        Told told;
        Millis last_shown_after;  // from the click; -1: not checked
    };
    const Case cases[] = {
        {"confirmed one radar cycle (2 s) later", [](auto&) {}, done, 2013},
        {"confirmed at 2.5 s",
         [](auto& a) { a.radar_cycle = 2500; },
         {transferred_after(3), {confirming, transferred}},
         3013},
        {"confirmed by field 12", [](auto& a) { a.writes = SimAurora::Writes::Assumed; }, done, -1},
        {"never confirmed", [](auto& a) { a.writes = SimAurora::Writes::Nothing; }, unsure,
         11 + kAuroraConfirmMs + 2},
        {"field 13 held the station before the transfer",
         [](auto& a) { a.traffic["DLH4CW"].next = "EDDT_TWR"; }, unsure, -1},
        {"an echo of the callsign only", [](auto& a) { a.echo_station = false; }, done, -1},
        {"own station unknown: #CONN refused",
         [](auto& a) { a.answer_for["CONN"] = "@ERR;#CONN;Unknown command\r\n"; }, done, -1},
        {"own station unknown: #CONN empty", [](auto& a) { a.answer_for["CONN"] = "#CONN\r\n"; },
         done, -1},
        {"#ATC refused: the position",
         [](auto& a) { a.answer_for["ATC"] = "@ERR;#ATC;Unknown command\r\n"; }, done, -1},
        {"Traffic not assumed.", [](auto& a) { a.traffic["DLH4CW"].assumed = "EDBB_CTR"; },
         after_transfer("Aurora: Traffic not assumed."), 11},
        {"a long refusal",
         [&](auto& a) {
             a.answer_for["TRTR"] = "@ERR;#TRTR;DLH4CW;EDDT_TWR;" + long_message + "\r\n";
         },
         after_transfer("Aurora: " + long_message.substr(0, 100) + "\u2026"), -1},
        {"a close after #TRTR", [](auto& a) { a.close_on = {"TRTR"}; },
         after_transfer(C::kSentNoAnswer), 11},
        {"silence after #TRTR", [](auto& a) { a.answer_for["TRTR"] = ""; },
         after_transfer(C::kSentNoAnswer), 9 + kAuroraAnswerMs},
        {"too many lines after #TRTR", [&](auto& a) { a.answer_for["TRTR"] = seventeen; },
         after_transfer(C::kSentNoAnswer), -1},
        {"the echo names other traffic",
         [](auto& a) { a.answer_for["TRTR"] = "#TRTR;AFR12;EDDT_TWR\r\n"; },
         after_transfer(C::kSentNoAnswer), -1},
        {"nothing selected", [](auto& a) { a.selected.clear(); },
         before_transfer(selecting, C::kNothingSelected), 5},
        {"access off", [](auto& a) { a.access = SimAurora::Access::Refused; },
         before_transfer({}, C::kNoAccess), 1},
        {"never accepted", [](auto& a) { a.access = SimAurora::Access::NeverAccepted; },
         before_transfer({}, C::kNoAccess), kAuroraAnswerMs},
        {"#SELTFC unanswered", [](auto& a) { a.answer_for["SELTFC"] = ""; },
         before_transfer(selecting, C::kNoAnswer), 3 + kAuroraAnswerMs},
        {"closed at #SELTFC", [](auto& a) { a.close_on = {"SELTFC"}; },
         before_transfer(selecting, C::kClosed), -1},
        {"a callsign with a blank", [](auto& a) { a.selected = "DLH 4CW"; },
         before_transfer(selecting, C::kMalformed), -1},
        {"a callsign Aurora does not know: the record is no answer, the transfer is refused",
         [](auto& a) { a.selected = "XYZ12"; },
         {{"#CONN", "#SELTFC", "#ATC", "#TRPOS;XYZ12", "#TRTR;XYZ12;EDDT_TWR;"},
          {"Aurora: Incomplete data in command"}},
         -1},
        {"a list of 501 stations", [](auto& a) { a.answer_for["ATC"] = station_list(501); }, done,
         -1},
        {"too many lines before #SELTFC's answer",
         [&](auto& a) { a.answer_for["SELTFC"] = seventeen + "#SELTFC;DLH4CW\r\n"; },
         before_transfer(selecting, C::kMalformed), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *aurora = SimAurora{};
        c.setup(*aurora);
        again();
        const Millis t = click(3);
        sim.run_for(3 * kAuroraAnswerMs + 2 * kAuroraConfirmMs);
        EXPECT_EQ(aurora->received, c.told.received);
        ASSERT_EQ(balloon_texts(), c.told.shown);
        for (const auto& b : sim.balloons) EXPECT_EQ(b.control_id, control_id::c1 + 3);
        if (c.last_shown_after >= 0) {
            EXPECT_EQ(sim.balloons.back().at - t, c.last_shown_after);
        }
        // Nothing sent says "Not sent" only while #TRTR has not gone out.
        const bool transfer_out = aurora->transfers() > 0;
        for (const std::string& s : balloon_texts()) {
            EXPECT_FALSE(transfer_out && s.starts_with("Not sent")) << s;
        }
        for (const auto& conn : sim.connections) {
            EXPECT_EQ(conn.host, "127.0.0.1");
            EXPECT_EQ(conn.port, kAuroraPort);
        }
        EXPECT_LE(sim.connections.size(), 1u);
        EXPECT_TRUE(sim.sends.empty());
        EXPECT_FALSE(form->aurora.busy());
    }
}

TEST_F(AuroraTest, TheStationIsAurorasElseTheRecordsElseThePositionAndNeverAmbiguousOrOwn) {
    const Lines listed = {"EDDT_TWR:120.505", "XEDDT_TWR:118.105", "EDDT_APP:119.625",
                          "XEDDT_GND:121.9", "EDBB_CTR:127.175"};
    const std::string whazz =
        "!CLIENTS\r\nXEDDT_APP:1:Somebody:ATC:119.000:x\r\nEDDT_APP:1:Approach:ATC:119.625:x\r\n"
        "EDBB_CTR:2:Radar:ATC:127.750:y\r\nDLH4CW:3:Hans:PILOT:EDDF:EDDT:z\r\n"
        "EDDT_TWR:4:Tower:ATC:120.505:w\r\n";
    struct Case {
        const char* name;
        std::string position;
        Lines stations;  // #ATC
        std::string own;
        std::string sent;   // empty: nothing may be sent
        std::string shown;  // when nothing is sent
    };
    const Case cases[] = {
        {"equal beats the record listed earlier", "EDDT_APP", listed, "EDBB_CTR", "EDDT_APP", ""},
        {"the only one ending with it", "DDT_GND", listed, "EDBB_CTR", "XEDDT_GND", ""},
        {"two ending with it", "DDT_TWR", listed, "EDBB_CTR", "",
         "EDDT_TWR or XEDDT_TWR? Name the station in full in Menu"},
        {"the own station", "EDDT_APP", listed, "EDDT_APP", "", "EDDT_APP is your own station"},
        {"the own station by its tail", "DT_APP", listed, "eddt_app", "",
         "EDDT_APP is your own station"},
        {"the alias from the record", "EDBB_N_CTR", {}, "EDDT_APP", "EDBB_CTR", ""},
        {"a record whose callsign ends with it", "DDT_TWR", {}, "EDDT_APP", "EDDT_TWR", ""},
        {"a departure field is no record", "DDT", {}, "EDDT_APP", "DDT", ""},
        {"neither: the position upper-cased", "edww_ctr", {}, "EDDT_APP", "EDWW_CTR", ""},
        {"no callsign", "ED DT", {}, "EDDT_APP", "", AuroraClient::kBadStation},
        {"not ASCII", "X\xC3\xA9", {}, "EDDT_APP", "", AuroraClient::kBadStation},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *aurora = SimAurora{};
        aurora->stations = c.stations;
        aurora->own = c.own;
        aurora->traffic["DLH4CW"].assumed = c.own;
        again();
        form->t1[3]->set_text(c.position);
        form->monitor.whazztext = whazz;
        form->checkwhazz();
        click(3);
        sim.run_for(100);
        if (c.sent.empty()) {
            EXPECT_EQ(aurora->transfers(), 0);
            EXPECT_EQ(balloon_texts(), Lines{c.shown});
        } else {
            EXPECT_EQ(aurora->received.back(), "#TRTR;DLH4CW;" + c.sent + ";");
            EXPECT_EQ(balloon_texts(), Lines{AuroraClient::confirming_text("DLH4CW", c.sent)});
        }
    }
}

TEST_F(AuroraTest, LatestClickBeforeTheTransferWinsOneClickAfterItWaits) {
    aurora->delay = 50;
    ready();
    click(3);
    sim.run_for(20);
    click(4);  // before the transfer: this click runs instead
    sim.run_for(255);
    ASSERT_EQ(aurora->transfers(), 1);
    EXPECT_EQ(aurora->received.back(), "#TRTR;DLH4CW;POS4;");
    click(1);  // after it: waits for the echo, then only the latest runs
    click(2);
    sim.run_for(10000);
    Lines transfers;
    for (const std::string& l : aurora->received)
        if (l.starts_with("#TRTR")) {
            transfers.push_back(l);
        }
    EXPECT_EQ(transfers, (Lines{"#TRTR;DLH4CW;POS4;", "#TRTR;DLH4CW;POS2;"}));
    // The older confirmation runs on: the newer transfer overtook it on
    // Aurora's radar, and that is told beside the newer balloon.
    const std::string pos2 = AuroraClient::transferred_text("DLH4CW", "POS2");
    EXPECT_EQ(balloon_texts(),
              (Lines{AuroraClient::confirming_text("DLH4CW", "POS4"),
                     AuroraClient::confirming_text("DLH4CW", "POS2"), pos2,
                     pos2 + "\n" + AuroraClient::unconfirmed_text("DLH4CW", "POS4")}));
    ASSERT_EQ(sim.balloons.size(), 4u);
    EXPECT_EQ(sim.balloons[0].control_id, control_id::c1 + 4);
    EXPECT_EQ(sim.balloons[1].control_id, control_id::c1 + 2);
    // "(confirming)" stands until its outcome replaces it.
    EXPECT_GT(sim.balloons[1].shown_ms, sim.balloons[2].at - sim.balloons[1].at);
}

TEST_F(AuroraTest, AClickWhileAnotherIsConfirmedLetsThatConfirmationRunToItsEnd) {
    ready();
    click(3);
    sim.run_for(1500);  // echoed, not yet on the radar
    click(1);
    sim.run_for(10000);
    const std::string pos1 = AuroraClient::transferred_text("DLH4CW", "POS1");
    EXPECT_EQ(balloon_texts(),
              (Lines{AuroraClient::confirming_text("DLH4CW", "EDDT_TWR"),
                     AuroraClient::confirming_text("DLH4CW", "POS1"), pos1,
                     pos1 + "\n" + AuroraClient::unconfirmed_text("DLH4CW", "EDDT_TWR")}));
}

TEST_F(AuroraTest, ADoubleClickIsOneClickOnlyWhileTheFirstRuns) {
    struct Case {
        const char* name;
        std::string selected;
        Millis gap;  // between the two clicks
        int balloons;
        int transfers;
    };
    const Case cases[] = {
        {"while the first runs", "DLH4CW", 5, 2, 1},
        {"while the first is confirmed", "DLH4CW", 400, 2, 1},
        {"after the first ended: nothing selected", "", 50, 2, 0},
        {"later than a double click", "DLH4CW", 600, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *aurora = SimAurora{};
        aurora->selected = c.selected;
        again();
        sim.double_click = 500;
        click(3);
        sim.run_for(c.gap);
        click(3);
        sim.run_for(10000);
        EXPECT_EQ(aurora->transfers(), c.transfers);
        EXPECT_EQ(static_cast<int>(sim.balloons.size()), c.balloons);
    }
}

TEST_F(AuroraTest, TheTypingDelayAndIvacWindowsDecideNothingButWhetherAuroraIsAsked) {
    struct Case {
        const char* name;
        std::string delay;
        std::vector<std::string> windows;
        bool ivac_comes_forward;
        int transfers;
    };
    const Case cases[] = {
        {"delay 0", "0", {}, true, 1},
        {"delay abc", "abc", {}, true, 1},
        {"IvAc running", "100", {"IvAc"}, true, 0},
        {"IvAc stays behind", "100", {"IvAc - EDDT"}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *aurora = SimAurora{};
        form.reset();
        sim.connections.clear();
        sim.windows = c.windows;
        sim.foreground.clear();
        if (!c.ivac_comes_forward) sim.activation["IvAc - EDDT"] = {0, true};
        ready();
        form->Text3->set_text(c.delay);
        form->dispatch.Text3_KeyPress(13);
        click(3);
        sim.run_for(3000);
        EXPECT_EQ(aurora->transfers(), c.transfers);
        EXPECT_EQ(sim.connections.empty(), c.transfers == 0);
        EXPECT_EQ(sim.sends.empty(), c.transfers > 0);
    }
}

TEST_F(AuroraTest, AnAnswerKeptWithTheBoundsTickStillCounts) {
    aurora->delay = kAuroraAnswerMs - 100;
    ready();
    click(3);
    sim.run_for(kAuroraAnswerMs - 200);
    {
        // The window is busy past the bound: the answer and the tick wait.
        platform::EventGate::Hold hold(sim.gate());
        sim.run_for(500);
    }
    sim.run_for(10 * kAuroraAnswerMs);  // the rest, as slow
    EXPECT_EQ(aurora->transfers(), 1);
    ASSERT_FALSE(sim.balloons.empty());
    EXPECT_EQ(sim.balloons[0].text, AuroraClient::confirming_text("DLH4CW", "EDDT_TWR"));
}

TEST_F(AuroraTest, QuitEndsEverythingAndNothingIsSentAfterIt) {
    struct Case {
        const char* name;
        Millis quit_after;  // from the click
        Lines received;
        std::size_t balloons;
    };
    const Case cases[] = {
        {"#CONN out, its answer not in", 10, {"#CONN"}, 0},
        {"#TRTR out, its echo not in", 130, asked_then({kTransfer}), 0},
        {"while confirming", 1300, transferred_after(1), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *aurora = SimAurora{};
        aurora->delay = 30;
        again();
        click(3);
        sim.run_for(c.quit_after);
        form->unload();
        click(3);
        sim.run_for(10000);
        EXPECT_EQ(aurora->received, c.received);
        EXPECT_EQ(sim.balloons.size(), c.balloons);
        EXPECT_FALSE(form->aurora.busy());
    }
}

TEST_F(AuroraTest, AfterAuroraComesUpTheNextClickWorks) {
    aurora->access = SimAurora::Access::NeverAccepted;
    ready();
    click(3);
    sim.run_for(1000);
    aurora->access = SimAurora::Access::On;  // restarted with its access on
    install_aurora(sim, aurora);
    sim.run_for(1500);
    EXPECT_EQ(balloon_texts(), Lines{AuroraClient::kNoAccess});
    click(4);
    sim.run_for(100);
    EXPECT_EQ(balloon_texts(),
              (Lines{AuroraClient::kNoAccess, AuroraClient::confirming_text("DLH4CW", "POS4")}));
}

}  // namespace
}  // namespace tovira::testing
