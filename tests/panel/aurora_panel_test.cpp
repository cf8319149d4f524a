#include "panel/aurora_panel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/status_servers.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

// Slots: 0 TXL on EDDT_TWR, which the network lists; 1 BER on EDBB_CTR and
// 2 APP on DDT_APP, which only Aurora may list; 3 MUC on EDDM_GND, which
// nobody lists.
class AuroraPanelTest : public SimTest {
protected:
    void SetUp() override {
        ConfigLines cfg;
        const char* slots[][2] = {
            {"TXL", "EDDT_TWR"}, {"BER", "EDBB_CTR"}, {"APP", "DDT_APP"}, {"MUC", "EDDM_GND"}};
        for (int i = 0; i < 4; ++i) {
            cfg.name(i) = slots[i][0];
            cfg.position(i) = slots[i][1];
        }
        write_config(cfg.text());
        serve(sim, status_file({client("EDDT_TWR", "Jo Doe", "118.700")}));
        start();
        ASSERT_EQ(visible_slots(), (std::vector<int>{0}));
    }

    // One refresh in which Aurora answers `list`.
    void aurora_lists(const std::vector<AuroraStation>& list) {
        form->aurora_list.listed(list);
        form->aurora_panel.list_changed();
    }
    // One refresh that finds the connection closed.
    void aurora_closes() {
        form->aurora_list.closed();
        form->aurora_panel.list_changed();
    }
    void update() { form->Command7->click(); }

    struct Seen {
        std::vector<int> visible;
        std::string label1, tip1, label0, tip0;
    };
    Seen seen() const {
        return {visible_slots(), form->l1[1]->caption(), form->c1[1]->tooltip(),
                form->l1[0]->caption(), form->c1[0]->tooltip()};
    }
};

const AuroraStation kBerlin{"EDBB_CTR", "127.175"};
const AuroraStation kTegel{"EDDT_TWR", "120.505"};
const AuroraStation kApproach{"EDDT_APP", "119.620"};

void expect_seen(const std::vector<int>& visible, const std::string& label1,
                 const std::string& tip1, const std::vector<int>& got_visible,
                 const std::string& got_label1, const std::string& got_tip1) {
    EXPECT_EQ(got_visible, visible);
    EXPECT_EQ(got_label1, label1);
    EXPECT_EQ(got_tip1, tip1);
}

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
        {"a station only Aurora lists shows within one refresh, labelled from Aurora",
         {{Lists, {kBerlin, kApproach}, {0, 1, 2}, "127.175", "EDBB_CTR (Aurora)"}}},
        {"dropped only when two lists in a row miss it",
         {{Lists, {kBerlin}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"},
          {Lists, {}, {0, 1}, "127.175", "EDBB_CTR (Aurora)"},
          {Lists, {}, {0}, "", "EDBB_CTR (Aurora)"}}},
        {"the network's station stays when Aurora stops listing it",
         {{Lists, {kTegel}, {0}, "", ""}, {Lists, {}, {0}, "", ""}, {Lists, {}, {0}, "", ""}}},
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
            form.reset();  // a new run of the program
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
            const Seen now = seen();
            expect_seen(s.visible, s.label1, s.tip1, now.visible, now.label1, now.tip1);
            // The network's slot keeps the network's label and tool tip.
            EXPECT_EQ(now.label0, "118.7");
            EXPECT_EQ(now.tip0, "Jo Doe");
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

TEST_F(AuroraPanelTest, WithoutAuroraTheSpecifiedPathDecidesAlone) {
    // A position edited after the update: its button stays until the next
    // update, whatever the refresh finds.
    form->t1[0]->set_text("EDDM_GND");
    aurora_closes();
    aurora_lists({});
    EXPECT_EQ(visible_slots(), (std::vector<int>{0}));
    update();
    EXPECT_TRUE(visible_slots().empty());
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

}  // namespace
}  // namespace tovira::testing
