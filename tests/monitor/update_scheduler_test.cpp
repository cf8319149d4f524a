#include "monitor/update_scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "monitor/status_servers.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using sim::Millis;

constexpr Millis kMinute = 60000;

class MonitorTest : public SimTest {
protected:
    // Slots 0 to 2: TXL on EDDT_TWR, FRA on EDDF_APP, MUC on EDDM_GND.
    void configure(const std::string& interval = "1") {
        ConfigLines cfg;
        const std::pair<const char*, const char*> slots[] = {
            {"TXL", "EDDT_TWR"}, {"FRA", "EDDF_APP"}, {"MUC", "EDDM_GND"}};
        for (int i = 0; i < 3; ++i) {
            cfg.name(i) = slots[i].first;
            cfg.position(i) = slots[i].second;
        }
        cfg[66] = interval;
        write_config(cfg.text());
    }
    std::string two_online() {
        return status_file({client("EDDT_TWR", "Jo Doe", "118.700"),
                            client("DLH123", "Pi Lot", "", "PILOT"),
                            client("EDDM_GND", "Max", "121.975")});
    }
    std::size_t index_fetches() const {
        return static_cast<std::size_t>(
            std::count(sim.url_fetches.begin(), sim.url_fetches.end(), status_index_url()));
    }
    // Index fetches in each of the next `minutes` minutes after `from`.
    std::vector<std::size_t> updates_per_minute(Millis from, int minutes) {
        std::vector<std::size_t> out;
        for (int k = 1; k <= minutes; ++k) {
            const std::size_t before = index_fetches();
            sim.run_until(from + k * kMinute + 5000);
            out.push_back(index_fetches() - before);
        }
        return out;
    }
};

TEST_F(MonitorTest, StartUpShowsTheOnlineStationsAtItsFirstDisplay) {
    configure();
    serve(sim, two_online());
    start();
    EXPECT_TRUE(form->visible());
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 2}));
    EXPECT_EQ(form->l1[0]->caption(), "118.7");
    EXPECT_EQ(form->l1[2]->caption(), "121.975");
    EXPECT_EQ(form->c1[2]->tooltip(), "Max");
    EXPECT_EQ(form->Label5->caption(), "1");
    EXPECT_EQ(form->Label8->caption(), "");
    ASSERT_EQ(sim.url_fetches.size(), 1u);
    EXPECT_EQ(sim.url_fetches[0], status_index_url());
    ASSERT_EQ(sim.connections.size(), 1u);
    EXPECT_EQ(sim.connections[0].sent,
              "GET /whazzup.txt HTTP/1.0\r\nHost: status.ivao.aero\r\nAccept: */*\r\n"
              "Connection: close\r\n\r\n");
}

TEST_F(MonitorTest, AWholeUpdateRunsFromIndexToPanelAndAStationCanGoOffline) {
    configure();
    start();  // the index server is unreachable at start-up
    EXPECT_TRUE(visible_slots().empty());
    EXPECT_EQ(form->Label5->caption(), "Loading...");
    EXPECT_EQ(form->Label8->caption(), " Loading ...");
    EXPECT_EQ(form->monitor.updatenr, 0u);

    serve(sim, two_online());
    form->Command7->click();
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 2}));
    EXPECT_EQ(form->Label5->caption(), "1");
    EXPECT_EQ(form->Label8->caption(), "");

    serve(sim, status_file({client("EDDF_APP", "Al", "120.800")}));
    form->Command7->click();
    EXPECT_EQ(visible_slots(), (std::vector<int>{1}));
    EXPECT_EQ(form->c1[0]->tooltip(), "Jo Doe");
    EXPECT_EQ(form->l1[0]->caption(), "");
    EXPECT_EQ(form->Label5->caption(), "2");
}

TEST_F(MonitorTest, AnIndexUnreachableFromTheStartIsAskedAgainEveryMinute) {
    configure();
    start();
    const Millis started = sim.now();
    EXPECT_EQ(updates_per_minute(started, 3), (std::vector<std::size_t>{1, 1, 1}));
    EXPECT_EQ(form->Label5->caption(), "Loading...");
    EXPECT_EQ(form->monitor.updatenr, 0u);

    // Once it answers, the next tick shows the stations.
    serve(sim, two_online());
    sim.run_for(kMinute);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 2}));
    EXPECT_EQ(form->Label5->caption(), "1");
}

TEST_F(MonitorTest, FailedStepsAreSkippedAndTheUpdateGoesOn) {
    configure();
    // An index over 1 MiB is a failed fetch: the first update ends there.
    sim.urls[std::string(status_index_url())] =
        sim::UrlScript{10, true, std::string((1 << 20) + 1, 'x'), false};
    start();
    EXPECT_EQ(form->monitor.whazztext, "");
    EXPECT_EQ(form->monitor.updatenr, 0u);
    EXPECT_EQ(form->Label5->caption(), "Loading...");
    EXPECT_TRUE(sim.connections.empty());

    // A status server that never closes: empty text, the number advances.
    serve(sim, two_online());
    sim.peers[kStatusHost].close_after = std::nullopt;
    form->Check3->set_value(1);
    form->Command7->click();
    EXPECT_EQ(form->monitor.whazztext, "");
    EXPECT_EQ(form->monitor.updatenr, 1u);
    EXPECT_TRUE(visible_slots().empty());

    // A url line whose host the socket rejects: the index text stays, and
    // the number still advances.
    sim.urls[std::string(status_index_url())].body =
        index_text("url10=http://status.ivao.aero/whazzup.txt");
    const std::size_t connections = sim.connections.size();
    form->Command7->click();
    EXPECT_EQ(sim.connections.size(), connections);
    EXPECT_TRUE(form->monitor.whazztext.starts_with("!general"));
    EXPECT_EQ(form->monitor.updatenr, 2u);
    EXPECT_EQ(form->Label5->caption(), "2");
}

TEST_F(MonitorTest, IntervalFiveThenOneAfterTheThirdTick) {
    configure("5");
    serve(sim, two_online());
    start();
    const Millis t = sim.now();
    form->Command6->click();
    EXPECT_EQ(form->Label6->caption(), "Timer was started");
    EXPECT_EQ(updates_per_minute(t, 10), (std::vector<std::size_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));

    const Millis t2 = sim.now();
    form->Command6->click();
    EXPECT_EQ(updates_per_minute(t2, 3), (std::vector<std::size_t>{0, 0, 0}));
    form->Text2->set_text("1");
    EXPECT_EQ(updates_per_minute(t2 + 3 * kMinute, 3), (std::vector<std::size_t>{1, 1, 1}));
}

TEST_F(MonitorTest, AnEmptiedIntervalUpdatesEveryMinute) {
    configure("4");
    serve(sim, two_online());
    start();
    form->Text2->dbl_click();
    EXPECT_EQ(form->Text2->text(), "");
    EXPECT_EQ(form->scheduler.updatemins, 0);
    const Millis t = sim.now();
    form->Command6->click();
    EXPECT_EQ(updates_per_minute(t, 3), (std::vector<std::size_t>{1, 1, 1}));
}

TEST_F(MonitorTest, StopAndStart) {
    configure("1");
    serve(sim, two_online());
    start();
    form->Command8->click();
    EXPECT_EQ(form->Label6->caption(), "Timer has been stopped");
    const std::size_t before = index_fetches();
    sim.run_for(5 * kMinute);
    EXPECT_EQ(index_fetches(), before);
    form->Command7->click();  // the manual request still works
    EXPECT_EQ(index_fetches(), before + 1);
    sim.run_for(3 * kMinute);
    EXPECT_EQ(index_fetches(), before + 1);

    form->Text2->set_text("3");
    const Millis t = sim.now();
    form->Command6->click();
    EXPECT_EQ(index_fetches(), before + 1);  // nothing at the click
    EXPECT_EQ(updates_per_minute(t, 3), (std::vector<std::size_t>{0, 0, 1}));
}

TEST_F(MonitorTest, AManualRequestUnticksTheShowAllBoxFirst) {
    configure();
    serve(sim, two_online());
    start();
    form->Check3->set_value(1);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 1, 2}));
    form->Command7->click();
    EXPECT_EQ(form->Check3->value(), 0);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 2}));
}

TEST_F(MonitorTest, RequestsDuringAnUpdateAreSkippedButStillUntickAndRestartTheCount) {
    configure("2");
    serve(sim, two_online(), 10, 1800);  // the status server takes 1.8 s
    start();
    const Millis t = sim.now();
    const std::size_t fetches = index_fetches();
    const std::size_t connections = sim.connections.size();
    std::uint32_t patch_colour = 0;
    sim.windows = {"IvAc"};
    sim.at(t + 100, [&] { form->c1[0]->click(); });  // while the status server works
    sim.at(t + 300, [&] { form->Check3->set_value(1); });
    sim.at(t + 600, [&] { form->Command7->click(); });
    sim.at(t + 900, [&] {
        form->Label9->click();
        patch_colour = form->Label9->back_color();
    });
    sim.at(t + 1200, [&] {
        form->scheduler.updatemins = 1;
        form->scheduler.Timer6_Timer();
    });
    form->Command7->click();
    EXPECT_GE(sim.now(), t + 1800);
    EXPECT_EQ(index_fetches(), fetches + 1);
    EXPECT_EQ(sim.connections.size(), connections + 1);
    EXPECT_EQ(form->Check3->value(), 0);
    EXPECT_EQ(form->scheduler.updatemins, 2);
    EXPECT_EQ(patch_colour, 0x000040u);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 2}));
    ASSERT_EQ(sim.sends.size(), 4u);
    EXPECT_EQ(sim.sends[0].at, t + 250);
    EXPECT_EQ(sim.sends[3].at, t + 400);
}

TEST_F(MonitorTest, TheUserInterfaceIsServedDuringTheIndexFetch) {
    configure();
    serve(sim, two_online());
    start();
    sim.windows = {"IvAc"};
    sim.urls[std::string(status_index_url())].duration = 20000;
    const Millis t = sim.now();
    bool busy_seen = false;
    std::uint32_t patch_colour = 0;
    sim.at(t + 1000, [&] { form->c1[0]->click(); });
    sim.at(t + 2000, [&] {
        busy_seen = form->Inet1.StillExecuting();
        form->Command7->click();
    });
    const std::size_t fetches = index_fetches();
    sim.at(t + 5, [&] { patch_colour = form->Label9->back_color(); });
    form->Label9->click();
    EXPECT_EQ(patch_colour, 0x0000A0u);
    EXPECT_EQ(form->Label9->back_color(), 0x000040u);
    EXPECT_TRUE(busy_seen);
    EXPECT_EQ(index_fetches(), fetches + 1);
    EXPECT_GE(sim.now(), t + 20000);
    ASSERT_EQ(sim.sends.size(), 4u);
    EXPECT_EQ(sim.sends[0].at, t + 1150);  // typing delay 100 ms, then 50 ms steps
    EXPECT_EQ(sim.sends[2].text, "EDDT_TWR");
    EXPECT_EQ(sim.sends[3].at, t + 1300);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 2}));
}

TEST_F(MonitorTest, AnIndexThatNeverAnswersGivesUpAfterSixtySeconds) {
    configure();
    start();
    sim.urls[std::string(status_index_url())] = sim::UrlScript{0, true, "", true};
    const Millis t = sim.now();
    form->Command7->click();
    EXPECT_EQ(sim.now() - t, 60000);
    EXPECT_EQ(sim.live_url_fetches, 0);
    EXPECT_FALSE(form->Inet1.StillExecuting());
}

}  // namespace
}  // namespace tovira::testing
