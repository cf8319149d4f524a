// What one odd thing on Aurora's access costs: the click's handover and the
// panel's stations, with the panel's refresh running as in the product.
// Property of every row: the user sees what that one thing warrants, and
// nothing that another request's fault would cause.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backends/sim/sim_aurora.h"
#include "monitor/status_servers.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using sim::Millis;
using sim::SimAurora;
using Lines = std::vector<std::string>;
using C = AuroraClient;

// Slots: 0 TXL on EDDT_TWR, which the network lists; 1 BER on EDBB_CTR and
// 2 APP on DDT_APP, which only Aurora may list; 3 on EDGG_DKB_N_CTR.
class AuroraFaultsTest : public SimTest {
protected:
    void run(const std::function<void(SimAurora&)>& setup) {
        with_aurora_refresh = true;
        ConfigLines cfg;
        const char* slots[][2] = {{"TXL", "EDDT_TWR"},
                                  {"BER", "EDBB_CTR"},
                                  {"APP", "DDT_APP"},
                                  {"DKB", "EDGG_DKB_N_CTR"}};
        for (int i = 0; i < 4; ++i) {
            cfg.name(i) = slots[i][0];
            cfg.position(i) = slots[i][1];
        }
        cfg[66] = "60";  // no update in the way
        write_config(cfg.text());
        serve(sim, status_file({client("EDDT_TWR", "Jo Doe", "118.700")}));
        aurora->stations = {"EDDT_TWR:120.505", "EDBB_CTR:127.175"};
        setup(*aurora);
        install_aurora(sim, aurora);
        start();
        sim.run_for(1000);  // the first refresh is in
        sim.balloons.clear();
    }
    // Runs until the next refresh has asked for the stations.
    void until_refresh_asks() {
        const int lists = aurora->count("ATC");
        while (aurora->count("ATC") == lists) sim.run_for(10);
    }
    Lines balloon_texts() const {
        Lines out;
        for (const auto& b : sim.balloons) out.push_back(b.text);
        return out;
    }

    std::shared_ptr<SimAurora> aurora = std::make_shared<SimAurora>();
};

std::string list_of(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += ";S" + std::to_string(i) + "_CTR:120.505";
    return out;
}

TEST_F(AuroraFaultsTest, OneOddThingCostsOnlyItselfAndEveryClickIsTold) {
    const std::string confirming = C::confirming_text("DLH4CW", "EDDT_TWR");
    const Lines transferred = {confirming, C::transferred_text("DLH4CW", "EDDT_TWR")};
    struct Row {
        const char* fault;
        std::function<void(SimAurora&)> setup;  // before start
        // The user's acts after the first refresh, and the last click's time.
        std::function<Millis(SimAurora&)> act;
        Lines shown;
        std::vector<int> visible;
        Millis first_within = -1;  // from the last click to the first balloon
    };
    const auto click = [this](int slot) {
        return [this, slot](SimAurora&) {
            const Millis at = sim.now();
            form->c1[slot]->click();
            return at;
        };
    };
    const Row rows[] = {
        {"1. a click while the refresh awaits a slow list (1.8 s): the panel's list serves",
         [](auto& a) { a.delay_for["ATC"] = 1800; },
         [&](SimAurora& a) {
             until_refresh_asks();
             return click(0)(a);
         },
         transferred,
         {0, 1},
         100},
        {"2. a click behind a refresh Aurora leaves unanswered is not refused for it",
         {},
         [&](SimAurora& a) {
             a.answer_for["ATC"] = "";
             until_refresh_asks();
             return click(0)(a);
         },
         transferred,
         {0, 1},
         100},
        {"3. one entry with a blank, one too long and 501 stations: the good ones count",
         [](auto& a) {
             a.answer_for["ATC"] =
                 "#ATC;EDDT TWR:1;" + std::string(25, 'E') + list_of(501) + ";EDBB_CTR:127.175\r\n";
         },
         click(1),
         {C::confirming_text("DLH4CW", "EDBB_CTR"), C::transferred_text("DLH4CW", "EDBB_CTR")},
         {0, 1}},
        {"4. a stray byte in a field Tovira does not read",
         [](auto& a) { a.answer_for["SELTFC"] = "#SELTFC;DLH4CW;\xE4\r\n"; },
         click(0),
         transferred,
         {0, 1}},
        {"4. lines ended by CR alone",
         [](auto& a) { a.answer_for["CONN"] = "#CONN;EDDT_APP\r"; },
         click(0),
         transferred,
         {0, 1}},
        {"4. the awaited answer unreadable: not understood at once",
         [](auto& a) { a.answer_for["SELTFC"] = "#SELTFC\x80;DLH4CW\r\n"; },
         click(0),
         {C::kMalformed},
         {0, 1},
         100},
        {"5. a refusal under $",
         [](auto& a) {
             a.answer_for["TRTR"] = "$ERR;#TRTR;DLH4CW;EDDT_TWR;Traffic not assumed.\r\n";
         },
         click(0),
         {"Aurora: Traffic not assumed."},
         {0, 1}},
        {"6. an own station of 14 characters is never the target",
         [](auto& a) {
             a.own = "EDGG_DKB_N_CTR";
             a.traffic["DLH4CW"].assumed = a.own;
         },
         click(3),
         {"EDGG_DKB_N_CTR is your own station"},
         {0, 1}},
        {"7. the record before refused: the transfer goes, unconfirmable",
         [](auto& a) { a.answer_for["TRPOS"] = "@ERR;#TRPOS;DLH4CW;Unknown command\r\n"; },
         click(0),
         {C::cannot_confirm_text("DLH4CW", "EDDT_TWR")},
         {0, 1}},
        {"8. two handovers 2 s apart: the first one's outcome is told too",
         [](auto& a) { a.writes = SimAurora::Writes::Nothing; },
         [&](SimAurora& a) {
             click(0)(a);
             sim.run_for(2000);
             return click(1)(a);
         },
         {confirming, C::confirming_text("DLH4CW", "EDBB_CTR"),
          C::confirming_text("DLH4CW", "EDBB_CTR") + "\n" +
              C::unconfirmed_text("DLH4CW", "EDDT_TWR"),
          C::unconfirmed_text("DLH4CW", "EDBB_CTR")},
         {0, 1}},
        {"9. one unanswered refresh keeps Aurora's list, and a box unticked by hand",
         {},
         [this](SimAurora& a) {
             form->Check2[1]->user_click();
             a.answer_for["ATC"] = "";
             sim.run_for(kAuroraRefreshMs + kAuroraAnswerMs);
             a.answer_for.clear();
             sim.run_for(kAuroraRefreshMs);
             return Millis{-1};
         },
         {},
         {0}},
        {"10. a station listed while show-all is ticked counts as one listed before",
         [](auto&) {},
         [this](SimAurora& a) {
             form->Check3->user_click();
             a.stations.push_back("EDDT_APP:119.625");
             sim.run_for(kAuroraRefreshMs);
             form->Check3->user_click();  // every flag off
             sim.run_for(kAuroraRefreshMs);
             return Millis{-1};
         },
         {},
         {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fault);
        form.reset();
        aurora = std::make_shared<SimAurora>();
        run(r.setup ? r.setup : [](SimAurora&) {});
        const Millis clicked = r.act(*aurora);
        sim.run_for(3 * kAuroraAnswerMs + 2 * kAuroraConfirmMs);
        EXPECT_EQ(balloon_texts(), r.shown);
        EXPECT_EQ(visible_slots(), r.visible);
        if (r.first_within >= 0 && !sim.balloons.empty()) {
            EXPECT_LE(sim.balloons.front().at - clicked, r.first_within);
        }
        for (const std::string& s : balloon_texts()) EXPECT_EQ(s.find("closed"), std::string::npos);
    }
}

}  // namespace
}  // namespace tovira::testing
