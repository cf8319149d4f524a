#include "dispatch/aurora_client.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_aurora.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::Millis;
using sim::SimAurora;
using Lines = std::vector<std::string>;

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
    const std::string sent = AuroraClient::sent_text("DLH4CW", "EDDT_TWR");
    const Lines both = {"#SELTFC", "#TRTR;DLH4CW;EDDT_TWR;"};
    const Lines ask = {"#SELTFC"};
    std::string others;
    for (int i = 1; i < kAuroraMaxSkipped; ++i) others += "#METAR;EDDT;x\r\n";
    struct Case {
        const char* name;
        std::function<void(SimAurora&)> setup;
        Lines received;
        std::string shown;
        Millis shown_after;  // from the click; -1: not checked
    };
    const Case cases[] = {
        {"answers", [](SimAurora&) {}, both, sent, 5},
        {"no final ;", [](SimAurora& a) { a.answer_for["SELTFC"] = "#SELTFC;DLH4CW\r\n"; }, both,
         sent, -1},
        {"split", [](SimAurora& a) { a.split = true; }, both, sent, 7},
        {"others' lines", [&](SimAurora& a) { a.before = others + "\r\n"; }, both, sent, -1},
        {"too many others' lines", [&](SimAurora& a) { a.before = others + "\r\n#WX;EDDT\r\n"; },
         ask, AuroraClient::kTooManyLines, -1},
        {"nothing selected", [](SimAurora& a) { a.selected.clear(); }, ask,
         AuroraClient::kNothingSelected, -1},
        {"no field", [](SimAurora& a) { a.answer_for["SELTFC"] = "#SELTFC\r\n"; }, ask,
         AuroraClient::kNothingSelected, -1},
        {"error",
         [](SimAurora& a) {
             a.answer_for["TRTR"] = "$TRTR;Traffic not under your control here\r\n";
         },
         both, "Aurora: $TRTR;Traffic not under your control her", -1},
        {"unknown", [](SimAurora& a) { a.answer_for["SELTFC"] = "@ERR;Unknown command\r\n"; }, ask,
         "Aurora: @ERR;Unknown command", -1},
        {"silent", [](SimAurora& a) { a.answer_for["SELTFC"] = ""; }, ask, AuroraClient::kNoAnswer,
         1 + kAuroraAnswerMs},
        {"answer at the bound", [](SimAurora& a) { a.delay = kAuroraAnswerMs; }, both, sent, -1},
        {"answer past the bound", [](SimAurora& a) { a.delay = kAuroraAnswerMs + 1; }, ask,
         AuroraClient::kNoAnswer, -1},
        {"silent echo", [](SimAurora& a) { a.answer_for["TRTR"] = ""; }, both,
         AuroraClient::kNoAnswer, 3 + kAuroraAnswerMs},
        {"refused",
         [](SimAurora& a) { a.access = SimAurora::Access::Refused; },
         {},
         AuroraClient::kNoAccess,
         1},
        {"never accepted",
         [](SimAurora& a) { a.access = SimAurora::Access::NeverAccepted; },
         {},
         AuroraClient::kNoAccess,
         kAuroraAnswerMs},
        {"closed", [](SimAurora& a) { a.close_on = {"SELTFC"}; }, ask, AuroraClient::kClosed, -1},
        {"callsign with a blank", [](SimAurora& a) { a.selected = "DLH 4CW"; }, ask,
         AuroraClient::kMalformed, -1},
        {"callsign too long", [](SimAurora& a) { a.selected = "DLH4CWDLH4CWX"; }, ask,
         AuroraClient::kMalformed, -1},
        {"not ASCII", [](SimAurora& a) { a.selected = "DLH\xC4"; }, ask, AuroraClient::kMalformed,
         -1},
        {"line too long", [](SimAurora& a) { a.before = std::string(kAuroraMaxLine + 1, '#'); },
         ask, AuroraClient::kMalformed, -1},
        {"flood without a line end",
         [](SimAurora& a) { a.answer_for["SELTFC"] = std::string(1 << 20, 'X'); }, ask,
         AuroraClient::kMalformed, -1},
        {"echo differs", [](SimAurora& a) { a.answer_for["TRTR"] = "#TRTR;DLH4CW;EDDT_APP;\r\n"; },
         both, AuroraClient::kMalformed, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        *aurora = SimAurora{};
        c.setup(*aurora);
        form.reset();
        sim.balloons.clear();
        sim.connections.clear();
        ready();
        const Millis t = click(3);
        sim.run_for(3 * kAuroraMaxLine + 2 * kAuroraAnswerMs);
        EXPECT_EQ(aurora->received, c.received);
        ASSERT_EQ(balloon_texts(), Lines{c.shown});
        EXPECT_EQ(sim.balloons[0].control_id, control_id::c1 + 3);
        if (c.shown_after >= 0) {
            EXPECT_EQ(sim.balloons[0].at - t, c.shown_after);
        }
        for (const auto& conn : sim.connections) {
            EXPECT_EQ(conn.host, "127.0.0.1");
            EXPECT_EQ(conn.port, kAuroraPort);
        }
        EXPECT_TRUE(sim.sends.empty());
        EXPECT_FALSE(form->dispatch.state() != Dispatch::State::Idle);
    }
}

TEST_F(AuroraTest, TheStationIsTheMatchedRecordsCallsignElseThePositionUpperCased) {
    struct Case {
        std::string position;
        std::string sent;  // empty: nothing may be sent
    };
    const Case cases[] = {
        {"DDT_TWR", "EDDT_TWR"},
        {"EDBB_N_CTR", "EDBB_CTR"},
        {"eddt_gnd", "EDDT_GND"},
        {"edbb_ctr", "EDBB_CTR"},
        {"ED DT", ""},
        {"EDDT:TWR", ""},
        {"X\xC3\xA9", ""},  // upper-cased it is still no callsign
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        *aurora = SimAurora{};
        form.reset();
        sim.balloons.clear();
        ready();
        form->t1[3]->set_text(c.position);
        form->monitor.whazztext =
            "!CLIENTS\r\nEDDT_TWR:1:Tower Name:ATC:118.700:x\r\nEDBB_CTR:2:Radar:ATC:127.750:y\r\n";
        form->checkwhazz();
        click(3);
        sim.run_for(100);
        if (c.sent.empty()) {
            EXPECT_EQ(aurora->transfers(), 0);
            EXPECT_EQ(balloon_texts(), Lines{AuroraClient::kBadStation});
        } else {
            EXPECT_EQ(aurora->received.back(), "#TRTR;DLH4CW;" + c.sent + ";");
            EXPECT_EQ(balloon_texts(), Lines{AuroraClient::sent_text("DLH4CW", c.sent)});
        }
    }
}

TEST_F(AuroraTest, LatestClickBeforeTheTransferWinsOneClickAfterItWaits) {
    aurora->delay = 50;
    ready();
    click(3);
    sim.run_for(20);
    click(4);  // before the transfer: names the station instead
    sim.run_for(40);
    ASSERT_EQ(aurora->transfers(), 1);
    EXPECT_EQ(aurora->received.back(), "#TRTR;DLH4CW;POS4;");
    click(1);  // after it: waits for the echo, then only the latest runs
    click(2);
    sim.run_for(3000);
    EXPECT_EQ(aurora->received,
              (Lines{"#SELTFC", "#TRTR;DLH4CW;POS4;", "#SELTFC", "#TRTR;DLH4CW;POS2;"}));
    ASSERT_EQ(sim.balloons.size(), 2u);
    EXPECT_EQ(sim.balloons[0].control_id, control_id::c1 + 4);
    EXPECT_EQ(sim.balloons[1].control_id, control_id::c1 + 2);
}

TEST_F(AuroraTest, ADoubleClickIsOneClickALaterOneIsAnother) {
    ready();
    click(3);
    sim.run_for(sim.double_click);  // its second half
    click(3);
    sim.run_for(100);
    EXPECT_EQ(aurora->transfers(), 1);
    sim.run_for(sim.double_click);
    click(3);
    sim.run_for(100);
    EXPECT_EQ(aurora->transfers(), 2);
    EXPECT_EQ(sim.balloons.size(), 2u);
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
    sim.run_for(kAuroraAnswerMs);  // the echo, as slow
    EXPECT_EQ(aurora->transfers(), 1);
    EXPECT_EQ(balloon_texts(), Lines{AuroraClient::sent_text("DLH4CW", "EDDT_TWR")});
}

TEST_F(AuroraTest, QuitDuringATransferSendsNothingMore) {
    aurora->delay = 30;
    ready();
    click(3);
    sim.run_for(10);  // #SELTFC is out, its answer not in
    form->unload();
    sim.run_for(3000);
    EXPECT_EQ(aurora->received, Lines{"#SELTFC"});
    EXPECT_TRUE(sim.balloons.empty());
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
              (Lines{AuroraClient::kNoAccess, AuroraClient::sent_text("DLH4CW", "POS4")}));
}

}  // namespace
}  // namespace tovira::testing
