#include "panel/aurora_panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "backends/sim/sim_aurora.h"
#include "monitor/status_servers.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using sim::Millis;
using sim::SimAurora;

// Slots: 0 TXL on EDDT_TWR, which the network lists; 1 BER on EDBB_CTR and
// 2 APP on DDT_APP, which only Aurora may list; 3 MUC on EDDM_GND, which
// nobody lists. The simulated Aurora lists nothing at first; the panel asks
// it every 15 s from the start.
class AuroraPanelTest : public SimTest {
protected:
    void SetUp() override {
        with_aurora_refresh = true;
        ConfigLines cfg;
        const char* slots[][2] = {
            {"TXL", "EDDT_TWR"}, {"BER", "EDBB_CTR"}, {"APP", "DDT_APP"}, {"MUC", "EDDM_GND"}};
        for (int i = 0; i < 4; ++i) {
            cfg.name(i) = slots[i][0];
            cfg.position(i) = slots[i][1];
        }
        cfg[66] = "60";  // no update unless a test asks
        write_config(cfg.text());
        serve(sim, status_file({client("EDDT_TWR", "Jo Doe", "118.700")}));
        aurora->stations.clear();
        aurora->transfer_list.clear();
        if (before_start) before_start(*aurora);
        install_aurora(sim, aurora);
        start();
        ASSERT_EQ(visible_slots(), (std::vector<int>{0}));
    }

    // Aurora lists `list` from now on; one refresh passes.
    void aurora_lists(const std::vector<AuroraStation>& list) {
        aurora_up();
        aurora->stations.clear();
        for (const AuroraStation& s : list)
            aurora->stations.push_back(s.callsign + ":" + s.frequency);
        sim.run_for(kAuroraRefreshMs);
    }
    // Aurora ends: its connection closes, a new one is refused; one
    // refresh passes.
    void aurora_closes() {
        aurora->access = SimAurora::Access::Refused;
        aurora->close_on = {"ATC", "CONN"};
        install_aurora(sim, aurora);  // the access is the listener's
        sim.run_for(kAuroraRefreshMs);
    }
    void aurora_up() {
        aurora->access = SimAurora::Access::On;
        aurora->close_on.clear();
        install_aurora(sim, aurora);
    }
    void update() { form->Command7->click(); }

    std::shared_ptr<SimAurora> aurora = std::make_shared<SimAurora>();
    std::function<void(SimAurora&)> before_start;
};

const AuroraStation kBerlin{"EDBB_CTR", "127.175"};
const AuroraStation kTegel{"EDDT_TWR", "120.505"};
const AuroraStation kApproach{"EDDT_APP", "119.620"};

TEST_F(AuroraPanelTest, EachRefreshShowsWhatAuroraAndTheNetworkSayTogether) {
    enum Act { Lists, Closes, Update, UntickBox1, TickShowAll };
    struct Step {
        Act act;
        std::vector<AuroraStation> list;
        std::vector<int> visible;
        std::string label1, tip1;  // slot 1, Aurora's only
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"a station only Aurora lists shows within one refresh, labelled from Aurora, and goes "
         "only "
         "when two lists in a row miss it; the network's station stays",
         {{Lists, {kBerlin, kApproach, kTegel}, {0, 1, 2}, "127.175", "EDBB_CTR (Aurora)"},
          {Lists, {}, {0, 1, 2}, "127.175", "EDBB_CTR (Aurora)"},
          {Lists, {}, {0}, "", "EDBB_CTR (Aurora)"}}},
        {"the connection closing: Aurora's only go at once, the network's stay",
         {{Lists, {kBerlin, kTegel}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"},
          {Closes, {}, {0}, "", "EDBB_CTR (Aurora)"}}},
        {"a box unticked by hand holds until the slot's online state changes",
         {{Lists, {kBerlin}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"},
          {UntickBox1, {}, {0}, "127.175", "EDBB_CTR (Aurora)"},
          {Lists, {kBerlin}, {0}, "127.175", "EDBB_CTR (Aurora)"},
          {Lists, {kBerlin, kApproach}, {0, 2}, "127.175", "EDBB_CTR (Aurora)"},
          {Closes, {}, {0}, "", "EDBB_CTR (Aurora)"},
          {Lists, {kBerlin}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"}}},
        {"while show-all is ticked no refresh changes a flag",
         {{TickShowAll, {}, {0, 1, 2, 3}, "", ""},
          {Lists, {kBerlin}, {0, 1, 2, 3}, "", ""},
          {Closes, {}, {0, 1, 2, 3}, "", ""}}},
        {"an update between refreshes keeps Aurora's only slots",
         {{Lists, {kBerlin}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"},
          {Update, {}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"},
          {Lists, {kBerlin}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (&c != &cases[0]) {
            form.reset();  // a new run of the program, with a new Aurora
            aurora = std::make_shared<SimAurora>();
            SetUp();
        }
        int n = 0;
        for (const Step& s : c.steps) {
            SCOPED_TRACE(n++);
            switch (s.act) {
                case Lists: aurora_lists(s.list); break;
                case Closes: aurora_closes(); break;
                case Update: update(); break;
                case UntickBox1: form->Check2[1]->user_click(); break;
                case TickShowAll: form->Check3->user_click(); break;
            }
            EXPECT_EQ(visible_slots(), s.visible);
            EXPECT_EQ(form->l1[1]->caption(), s.label1);
            EXPECT_EQ(form->c1[1]->tooltip(), s.tip1);
            // The network's slot keeps the network's label and tool tip.
            EXPECT_EQ(form->l1[0]->caption(), "118.7");
            EXPECT_EQ(form->c1[0]->tooltip(), "Jo Doe");
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(form->Check2[i]->value(), form->slotactive.get(i)) << "slot " << i;
            }
        }
    }
}

TEST_F(AuroraPanelTest, ARefreshThatChangesNothingTouchesNothingOnScreen) {
    aurora_lists({kBerlin});
    const auto changes = sim.control_changes;
    aurora_lists({kBerlin});
    aurora_lists({kBerlin, kTegel});
    aurora_lists({kBerlin});
    EXPECT_EQ(sim.control_changes, changes);
    // Nor does Aurora's silence where it listed nothing the panel shows.
    aurora_closes();
    const auto after_close = sim.control_changes;
    aurora_closes();
    aurora_lists({{"EKCH_CTR", "136.485"}});
    EXPECT_EQ(sim.control_changes, after_close);
}

TEST_F(AuroraPanelTest, WithoutAuroraTheNetworkDecidesAlone) {
    // Aurora's access off from the start: the panel is the network's.
    EXPECT_TRUE(form->aurora_list.stations().empty());
    // A position edited after the update: its button stays until the next
    // update, whatever the refresh finds.
    form->t1[0]->set_text("EDDM_GND");
    aurora_closes();
    aurora_closes();
    EXPECT_EQ(visible_slots(), (std::vector<int>{0}));
    update();
    EXPECT_TRUE(visible_slots().empty());
}

// While connected a refresh asks only for the stations; an Aurora that ends
// is tried again silently, and once back asked anew who the controller is.
TEST_F(AuroraPanelTest, ARefreshAsksOnlyTheStationsAndAuroraIsAskedAnewAfterARestart) {
    aurora_lists({kBerlin});
    const std::size_t asked = aurora->received.size();
    sim.run_for(2 * kAuroraRefreshMs);
    const std::vector<std::string> lines(
        aurora->received.begin() + static_cast<std::ptrdiff_t>(asked), aurora->received.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"#ATC", "#ATC"}));

    aurora_closes();
    aurora_closes();
    EXPECT_TRUE(sim.balloons.empty());
    aurora_lists({kBerlin});
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 1}));
    ASSERT_GE(aurora->received.size(), 2u);
    EXPECT_EQ(aurora->received[aurora->received.size() - 2], "#CONN");
    EXPECT_EQ(aurora->received.back(), "#ATC");
}

TEST_F(AuroraPanelTest, FromAuroraFillsTheEmptySlotsAsTypedAndSaysWhatHappened) {
    const std::string saved = saved_config();
    struct Case {
        const char* name;
        std::function<void(SimAurora&)> setup;
        std::string filled;  // the positions of slots 4, 5, ..., blank-separated
        std::string said;
    } cases[] = {
        {"the transfer list, without covered stations and the own",
         [](auto& a) {
             a.transfer_list = {"EDDT_TWR:120.505", "EDDT_APP:119.625", "EDWW_CTR:134.100",
                                "EDDB_TWR:118.975"};
             a.stations = {"EDWW_CTR:134.100"};
         },
         "EDWW_CTR EDDB_TWR", "2 stations added from Aurora's transfer list"},
        {"no transfer list: the station list",
         [](auto& a) {
             a.own = "EKCH_CTR";
             a.stations = {"EDWW_CTR:134.100", "EKCH_CTR:136.485"};
         },
         "EDWW_CTR", "1 station added from Aurora's station list"},
        {"a transfer list Aurora refuses: the station list",
         [](auto& a) {
             a.answer_for["ATCT"] = "@ERR;#ATCT;;Unknown command\r\n";
             a.stations = {"EDWW_CTR:134.100"};
         },
         "EDWW_CTR", "1 station added from Aurora's station list"},
        {"access off", [](auto& a) { a.access = SimAurora::Access::Refused; }, "",
         AuroraPanel::kNoAccess},
        {"silent", [](auto& a) { a.answer_for["CONN"] = ""; }, "", AuroraPanel::kNoAnswer},
        {"a garbled list", [](auto& a) { a.answer_for["ATCT"] = "#ATCT\x80;EDDT_TWR\r\n"; }, "",
         AuroraPanel::kNotUnderstood},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.reset();
        aurora = std::make_shared<SimAurora>();
        before_start = c.setup;
        SetUp();
        sim.balloons.clear();
        form->Command2->click();
        form->Command9->click();
        sim.run_for(3 * kAuroraAnswerMs);
        ASSERT_EQ(sim.balloons.size(), 1u);
        EXPECT_EQ(sim.balloons[0].text, c.said);
        EXPECT_EQ(sim.balloons[0].control_id, form->Command9->id());
        // Each column as typed, blank-separated: a gap shows as two blanks.
        const auto column = [&](auto text) {
            std::string out;
            for (int i = 4; i < kSlotCount; ++i) out += (i == 4 ? "" : " ") + text(i);
            return out.erase(out.find_last_not_of(' ') + 1);
        };
        EXPECT_EQ(column([&](int i) { return form->t0[i]->text(); }), c.filled);
        EXPECT_EQ(column([&](int i) { return form->t1[i]->text(); }), c.filled);
        EXPECT_EQ(column([&](int i) { return form->c1[i]->caption(); }), c.filled);
        EXPECT_EQ(saved_config(), saved);  // nothing saved before the user saves
    }
}

TEST_F(AuroraPanelTest, AFilledSlotAuroraListsIsOnlineAtOnceAndTheSaveWritesIt) {
    aurora->transfer_list = {"EDWW_CTR:134.100", "EKCH_CTR:136.485"};
    aurora->stations = {"EDWW_CTR:134.100"};
    form->Command2->click();
    form->Command9->click();
    sim.run_for(3 * kAuroraAnswerMs);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 4}));
    EXPECT_EQ(form->l1[4]->caption(), "134.1");
    EXPECT_EQ(form->c1[4]->tooltip(), "EDWW_CTR (Aurora)");
    EXPECT_EQ(form->Check2[4]->value(), 1);
    form->Command5->click();
    EXPECT_TRUE(saved_config().starts_with(
        "TXL\r\nEDDT_TWR\r\nBER\r\nEDBB_CTR\r\nAPP\r\nDDT_APP\r\nMUC\r\nEDDM_GND\r\n"
        "EDWW_CTR\r\nEDWW_CTR\r\nEKCH_CTR\r\nEKCH_CTR\r\n\r\n"));
}

TEST_F(AuroraPanelTest, AFullTableIsSaidAtOnceWithoutAskingAurora) {
    for (int i = 4; i < kSlotCount; ++i) form->t1[i]->set_text(numbered("P", i));
    const std::size_t asked = aurora->received.size();
    form->Command9->click();
    ASSERT_EQ(sim.balloons.size(), 1u);
    EXPECT_EQ(sim.balloons[0].text, "no empty slot");
    sim.run_for(1000);
    EXPECT_EQ(aurora->received.size(), asked);
}

TEST_F(AuroraPanelTest, AHandoverClickDuringARefreshStillTransfersOnce) {
    aurora->stations = {"EDDT_TWR:120.505", "EDBB_CTR:127.175"};
    aurora->delay = 400;  // the refresh's #ATC is still awaited at the click
    sim.run_for(kAuroraRefreshMs - 100);
    sim.run_for(150);
    ASSERT_EQ(aurora->received.back(), "#ATC");
    form->c1[0]->click();
    sim.run_for(10000);
    EXPECT_EQ(aurora->transfers(), 1);
    EXPECT_NE(std::find(aurora->received.begin(), aurora->received.end(), "#TRTR;DLH4CW;EDDT_TWR;"),
              aurora->received.end());
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 1}));
}

TEST_F(AuroraPanelTest, AClickWhileAuroraIsDownConnectsAtOnceNotAtTheNextTry) {
    form.reset();
    aurora = std::make_shared<SimAurora>();
    before_start = [](auto& a) {
        a.access = SimAurora::Access::Refused;
        a.transfer_list = {"EDWW_CTR:134.100"};
    };
    SetUp();
    sim.run_for(kAuroraRefreshMs + 1000);  // tried twice, silently
    EXPECT_TRUE(sim.balloons.empty());
    aurora_up();
    const Millis clicked = sim.now();
    form->Command9->click();
    while (sim.balloons.empty() && sim.now() - clicked < kAuroraRefreshMs) sim.run_for(10);
    ASSERT_EQ(sim.balloons.size(), 1u);
    EXPECT_EQ(sim.balloons[0].text, "1 station added from Aurora's transfer list");
    EXPECT_LT(sim.balloons[0].at - clicked, 100);
}

TEST(AuroraRefreshOptionTest, OnlyAWholeNumberUpTo65535Counts) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        unsigned ms;
    } cases[] = {
        {"none", {}, kAuroraRefreshMs},
        {"separate", {"--aurora-refresh-ms", "500"}, 500},
        {"joined", {"--aurora-refresh-ms=250"}, 250},
        {"the last holds", {"--aurora-refresh-ms=250", "--aurora-refresh-ms", "300"}, 300},
        {"zero: none", {"--aurora-refresh-ms", "0"}, 0},
        {"too large", {"--aurora-refresh-ms", "65536"}, kAuroraRefreshMs},
        {"not a number", {"--aurora-refresh-ms", "1s"}, kAuroraRefreshMs},
        {"no value", {"--aurora-refresh-ms", "--aurora-port", "1131"}, kAuroraRefreshMs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(aurora_refresh_ms_from_command_line(c.args), c.ms);
    }
}

// Aurora closing a connection between two refreshes, with nothing asked on
// it: its only slots go off at once, not at the next refresh.
TEST_F(AuroraPanelTest, AConnectionAuroraClosesWhileIdleEmptiesItsListAtOnce) {
    aurora_lists({kBerlin});
    ASSERT_EQ(visible_slots(), (std::vector<int>{0, 1}));
    // The next list is answered, and a second later the connection closes.
    aurora->close_after["ATC"] = 1000;
    const int lists = aurora->count("ATC");
    for (int i = 0; i < 200 && aurora->count("ATC") == lists; ++i) sim.run_for(100);
    sim.run_for(1100);
    EXPECT_EQ(aurora->count("ATC"), lists + 1);  // no refresh since that list
    EXPECT_EQ(visible_slots(), (std::vector<int>{0}));
    EXPECT_EQ(form->l1[1]->caption(), "");
    EXPECT_EQ(form->l1[0]->caption(), "118.7");  // the network's, untouched
}

}  // namespace
}  // namespace tovira::testing
