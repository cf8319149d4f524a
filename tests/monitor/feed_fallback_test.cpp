// The current feed standing in for the status file: when it is fetched,
// what it shows, and that an update whose feed fails ends exactly as the
// index path alone would have ended it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "monitor/feed.h"
#include "monitor/status_servers.h"
#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using sim::Millis;
using sim::SimPlatform;

constexpr Millis kMinute = 60000;

// Slots as a user near Berlin might set them: exact, lower case, a tail, the
// alias, an observer, a pilot, and two stations the sample has not.
const std::vector<std::pair<std::string, std::string>> kSlots = {
    {"TXL", "EDDT_TWR"}, {"FRA", "EDDF_APP"},  {"MUC", "EDDM_TWR"},
    {"HAM", "eddh_twr"}, {"BRE", "DWW_B_CTR"}, {"BER", "EDBB_N_CTR"},
    {"OBS", "EDGG_OBS"}, {"DLH", "DLH4AB"},    {"X", "XXXX_CTR"}};

std::string config_text() {
    ConfigLines cfg;
    for (std::size_t i = 0; i < kSlots.size(); ++i) {
        cfg.name(static_cast<int>(i)) = kSlots[i].first;
        cfg.position(static_cast<int>(i)) = kSlots[i].second;
    }
    return cfg.text();
}

std::size_t fetches_of(const SimPlatform& sim, std::string_view url) {
    return static_cast<std::size_t>(
        std::count(sim.url_fetches.begin(), sim.url_fetches.end(), url));
}

// ---- the ways the index path can end without a client record ------------------------

enum class PathEnd {
    IndexFails,
    IndexTimesOut,
    NoUrlLine,
    HostWithoutAero,
    HostRejected,
    StatusUnreachable,
    StatusTimesOut,
    StatusErrorPage,
};
constexpr PathEnd kPathEnds[] = {PathEnd::IndexFails,     PathEnd::IndexTimesOut,
                                 PathEnd::NoUrlLine,      PathEnd::HostWithoutAero,
                                 PathEnd::HostRejected,   PathEnd::StatusUnreachable,
                                 PathEnd::StatusTimesOut, PathEnd::StatusErrorPage};

const char* name_of(PathEnd e) {
    switch (e) {
        case PathEnd::IndexFails: return "index fails";
        case PathEnd::IndexTimesOut: return "index times out";
        case PathEnd::NoUrlLine: return "no url line";
        case PathEnd::HostWithoutAero: return "host without aero";
        case PathEnd::HostRejected: return "host rejected";
        case PathEnd::StatusUnreachable: return "status server unreachable";
        case PathEnd::StatusTimesOut: return "status server times out";
        case PathEnd::StatusErrorPage: return "status server error page";
    }
    return "?";
}

std::string online_status_file() {
    return status_file({client("EDDF_APP", "Al Tower", "120.800")});
}

void set_path_end(SimPlatform& sim, PathEnd end) {
    serve(sim, online_status_file());
    std::string& index = sim.urls[std::string(status_index_url())].body;
    switch (end) {
        case PathEnd::IndexFails:
            sim.urls[std::string(status_index_url())] = sim::UrlScript{10, false, "", false, 0};
            break;
        case PathEnd::IndexTimesOut:
            sim.urls[std::string(status_index_url())] = sim::UrlScript{0, true, "", true, 0};
            break;
        case PathEnd::NoUrlLine: index = "!general\r\nmsg0=Welcome\r\n"; break;
        case PathEnd::HostWithoutAero:
            index = index_text("url0=http://status.ivao.org/whazzup.txt");
            break;
        case PathEnd::HostRejected:
            index = index_text("url10=http://status.ivao.aero/whazzup.txt");
            break;
        case PathEnd::StatusUnreachable: sim.peers.clear(); break;
        case PathEnd::StatusTimesOut: sim.peers[kStatusHost].close_after = std::nullopt; break;
        case PathEnd::StatusErrorPage:
            sim.peers[kStatusHost].chunks = {
                {200, http_response("<html><body>Not Found</body></html>", "404 Not Found")}};
            break;
    }
}

// ---- the ways the feed can fail ------------------------------------------------------------

enum class FeedFailure { NetworkError, HttpError, NotJson, NoClients, TimesOut };
constexpr FeedFailure kFeedFailures[] = {FeedFailure::NetworkError, FeedFailure::HttpError,
                                         FeedFailure::NotJson, FeedFailure::NoClients,
                                         FeedFailure::TimesOut};

void set_feed_failure(SimPlatform& sim, FeedFailure failure) {
    switch (failure) {
        case FeedFailure::NetworkError:
            sim.urls[std::string(feed_url())] = sim::UrlScript{50, false, "", false, 0};
            break;
        case FeedFailure::HttpError: serve_feed(sim, feed_sample(), 50, 503); break;
        case FeedFailure::NotJson: serve_feed(sim, "<html>Service Unavailable</html>"); break;
        case FeedFailure::NoClients: serve_feed(sim, R"({"updatedAt":"x","servers":[]})"); break;
        case FeedFailure::TimesOut:
            sim.urls[std::string(feed_url())] = sim::UrlScript{0, true, "", true, 0};
            break;
    }
}

// ---- what an update leaves -------------------------------------------------------------------

struct Outcome {
    std::string whazztext;
    std::uint64_t updatenr = 0;
    std::string label5, label8;
    std::vector<int> flags;
    std::vector<std::string> labels, tips;
    std::vector<bool> shown;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

Outcome outcome_of(Form1& form) {
    Outcome o;
    o.whazztext = form.monitor.whazztext;
    o.updatenr = form.monitor.updatenr;
    o.label5 = form.Label5->caption();
    o.label8 = form.Label8->caption();
    for (int i = 0; i < kSlotCount; ++i) {
        o.flags.push_back(form.slotactive[i]);
        o.labels.push_back(form.l1[i]->caption());
        o.tips.push_back(form.c1[i]->tooltip());
        o.shown.push_back(form.c1[i]->visible());
    }
    return o;
}

// A start-up, and with `earlier_update` first an update whose index path
// worked, then one update whose index path ends as `end` says; `feed` sets up
// the current feed, and `fallback` false leaves it out altogether.
Outcome run(PathEnd end, const std::function<void(SimPlatform&)>& feed, bool fallback,
            bool earlier_update) {
    SimPlatform sim;
    sim.fs.files["tq.cfg"] = config_text();
    sim.urls[std::string(feed_url())] = sim::UrlScript{0, false, "", false, 0};
    if (earlier_update) serve(sim, online_status_file());
    Form1 form(sim);
    form.monitor.addresses.feed_fallback = fallback;
    form.Form_Load();
    auto started = [&] { return form.visible() && !form.Timer5->enabled(); };
    if (earlier_update) {
        while (!started() || form.monitor.fetching()) sim.run_for(1000);
        set_path_end(sim, end);
        feed(sim);
        form.Command7->click();
    } else {
        set_path_end(sim, end);
        feed(sim);
        sim.run_for(100);
        while (!started() || form.monitor.fetching()) sim.run_for(1000);
    }
    return outcome_of(form);
}

TEST(FeedFallbackTest, WhenTheFeedFailsTooTheUpdateEndsExactlyAsTheIndexPathEndedIt) {
    for (PathEnd end : kPathEnds) {
        for (FeedFailure failure : kFeedFailures) {
            for (bool earlier : {false, true}) {
                const Outcome alone = run(
                    end, [](SimPlatform&) {}, false, earlier);
                const Outcome failed = run(
                    end, [&](SimPlatform& sim) { set_feed_failure(sim, failure); }, true, earlier);
                EXPECT_EQ(failed, alone) << name_of(end) << ", feed failure "
                                         << static_cast<int>(failure) << ", earlier " << earlier;
                // None of these index paths shows a station of its own.
                if (!earlier) {
                    EXPECT_TRUE(std::none_of(failed.flags.begin(), failed.flags.end(), [](int v) {
                        return v == 1;
                    })) << name_of(end);
                }
            }
        }
    }
}

TEST(FeedFallbackTest, OverTheSizeCapOrCutShortDeepInItsNestingTheFeedFailsLikeAnyOther) {
    const std::size_t depth = 200'000;
    const std::string too_big(kMaxFeedBytes + 1, ' ');
    const std::string too_deep = R"({"clients":{"atcs":[{"callsign":"EDDT_TWR","userId":1,"x":)" +
                                 std::string(depth, '[') + "}]}}";
    for (const std::string* body : {&too_big, &too_deep}) {
        const Outcome alone = run(
            PathEnd::IndexFails, [](SimPlatform&) {}, false, true);
        const Outcome failed = run(
            PathEnd::IndexFails, [&](SimPlatform& sim) { serve_feed(sim, *body); }, true, true);
        EXPECT_EQ(failed, alone) << body->size();
    }
}

// ---- the feed standing in ----------------------------------------------------------------------

class FeedStandInTest : public SimTest {
protected:
    void SetUp() override {
        with_feed = true;
        write_config(config_text());
    }
    void expect_sample_shown() {
        EXPECT_EQ(visible_slots(), (std::vector<int>{0, 2, 3, 4, 5, 6, 7}));
        EXPECT_EQ(form->l1[0]->caption(), "124.525");
        EXPECT_EQ(form->c1[0]->tooltip(), "400101");
        EXPECT_EQ(form->l1[2]->caption(), "118.7");  // 118.700: the sixth character decides
        EXPECT_EQ(form->l1[3]->caption(), "126.855");
        EXPECT_EQ(form->l1[4]->caption(), "125.750");  // a tail of EDWW_B_CTR
        EXPECT_EQ(form->l1[5]->caption(), "127.2");    // the alias: EDBB_CTR
        EXPECT_EQ(form->c1[5]->tooltip(), "400106");
        EXPECT_EQ(form->l1[6]->caption(), "");  // an observer: online, no channel
        EXPECT_EQ(form->l1[7]->caption(), "");  // a pilot: online, no frequency
        EXPECT_EQ(form->c1[7]->tooltip(), "400301");
    }
    std::size_t feed_fetches() const { return fetches_of(sim, feed_url()); }
};

TEST_F(FeedStandInTest, EachWayTheIndexPathEndsEmptyFetchesTheFeedAndGoesOnAsAfterAStatusFile) {
    for (PathEnd end : kPathEnds) {
        sim.url_fetches.clear();
        form.reset();
        set_path_end(sim, end);
        serve_feed(sim, feed_sample());
        start();
        SCOPED_TRACE(name_of(end));
        expect_sample_shown();
        EXPECT_EQ(feed_fetches(), 1u);
        EXPECT_EQ(form->monitor.whazztext, *convert_feed(feed_sample(), sim.loc));
        EXPECT_EQ(form->monitor.updatenr, 1u);
        EXPECT_EQ(form->Label5->caption(), "1");
        EXPECT_EQ(form->Label8->caption(), "");
    }
}

TEST_F(FeedStandInTest, AnIndexPathThatYieldsStationsNeverAsksTheFeed) {
    serve(sim, status_file({client("EDDT_TWR", "Jo Doe", "118.700"),
                            client("DLH123", "Pi Lot", "", "PILOT")}));
    serve_feed(sim, feed_sample());
    start();
    form->Command7->click();
    EXPECT_EQ(feed_fetches(), 0u);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0}));
    EXPECT_EQ(form->l1[0]->caption(), "118.7");
    EXPECT_EQ(form->c1[0]->tooltip(), "Jo Doe");
    EXPECT_EQ(form->monitor.updatenr, 2u);

    // Records of no configured station still count: the index path worked.
    serve(sim, status_file({client("LFPG_TWR", "Al", "118.650")}));
    form->Command7->click();
    EXPECT_EQ(feed_fetches(), 0u);
    EXPECT_TRUE(visible_slots().empty());
}

TEST_F(FeedStandInTest, AnIndexFromTheCommandLineNeverFallsBackOnThePublicFeed) {
    const std::vector<std::string> args = {"--status-index", std::string(status_index_url())};
    create();
    form->monitor.addresses = addresses_from_command_line(args);
    set_path_end(sim, PathEnd::IndexFails);
    serve_feed(sim, feed_sample());
    sim.run_for(100);
    form->Command7->click();
    set_path_end(sim, PathEnd::StatusErrorPage);
    form->Command7->click();
    EXPECT_EQ(feed_fetches(), 0u);
    EXPECT_TRUE(visible_slots().empty());
    EXPECT_EQ(form->monitor.updatenr, 1u);

    // With a feed named beside it, that feed stands in.
    const std::string own_feed = "http://127.0.0.1:8080/feed.json";
    const std::vector<std::string> both = {"--status-index", std::string(status_index_url()),
                                           "--feed", own_feed};
    form->monitor.addresses = addresses_from_command_line(both);
    sim.urls[own_feed] = sim::UrlScript{100, true, feed_sample(), false, 200};
    form->Command7->click();
    EXPECT_EQ(feed_fetches(), 0u);
    EXPECT_EQ(fetches_of(sim, own_feed), 1u);
    expect_sample_shown();
}

TEST_F(FeedStandInTest, AFailedFeedIsAskedAgainAtTheNextUpdate) {
    set_path_end(sim, PathEnd::IndexFails);
    set_feed_failure(sim, FeedFailure::NetworkError);
    start();
    EXPECT_TRUE(visible_slots().empty());
    EXPECT_EQ(form->Label5->caption(), "Loading...");
    EXPECT_EQ(form->Label8->caption(), " Loading ...");

    // A fetch with no HTTP status at all (not an HTTP URL) counts as an answer.
    serve_feed(sim, feed_sample(), 300, 0);
    sim.run_for(kMinute);
    expect_sample_shown();
    EXPECT_EQ(feed_fetches(), 2u);
    EXPECT_EQ(form->Label5->caption(), "1");

    // The feed goes away again: the update ends as the index path ends it.
    // The failed index leaves the last text in place, which is matched again.
    set_feed_failure(sim, FeedFailure::HttpError);
    const std::string last = form->monitor.whazztext;
    sim.run_for(kMinute);
    EXPECT_EQ(feed_fetches(), 3u);
    EXPECT_EQ(form->Label5->caption(), "2");
    EXPECT_EQ(form->monitor.whazztext, last);
    expect_sample_shown();
}

TEST_F(FeedStandInTest, WithNoNetworkThePanelShowsAfterTheIndexAndFeedTimeOuts) {
    set_path_end(sim, PathEnd::IndexTimesOut);
    set_feed_failure(sim, FeedFailure::TimesOut);
    create();
    const Millis t0 = sim.now();
    const Millis shown_at = t0 + 100 + kInetTimeoutMs + kFeedTimeoutMs;
    bool feed_waited = false;
    sim.at(shown_at - 1, [&] {
        feed_waited = form->monitor.fetching() && sim.live_url_fetches == 1 &&
                      form->width() == 1200;  // not yet the panel
    });
    sim.run_for(100);  // the start-up sequence runs to its end
    EXPECT_TRUE(feed_waited);
    EXPECT_EQ(sim.now(), shown_at);
    EXPECT_EQ(sim.live_url_fetches, 0);
    EXPECT_TRUE(form->visible());
    EXPECT_EQ(form->width(), 1290);
    EXPECT_TRUE(visible_slots().empty());
    EXPECT_TRUE(form->Command2->visible());  // "Menu"
    EXPECT_EQ(form->Label5->caption(), "Loading...");
}

std::string big_feed(int clients);

// ---- the feed reused, the retired index skipped
// --------------------------------------------------

class FeedRouteTest : public FeedStandInTest {
protected:
    // Started with the index failing and the feed served, the minute timer
    // stopped so that only clicks update.
    void SetUp() override {
        FeedStandInTest::SetUp();
        set_path_end(sim, PathEnd::IndexFails);
        serve_feed(sim, feed_sample());
        start();
        form->Command8->click();
    }
    void update_at(Millis t) {
        sim.run_for(t - sim.now());
        form->Command7->click();
    }
    std::size_t index_fetches() const { return fetches_of(sim, status_index_url()); }
};

TEST_F(FeedRouteTest, ADocumentReadAnswersEveryUpdateStartingWithin15SecondsOfItsRequest) {
    const Millis a = sim.now() + kMinute;
    update_at(a);  // straight to the feed: the request starts with the update
    ASSERT_EQ(feed_fetches(), 2u);
    serve_feed(sim, big_feed(1));  // a new document, to tell reuse from a request
    // Offset from the last successful request's start, and whether it asks.
    const std::pair<Millis, bool> kUpdates[] = {
        {2000, false}, {kFeedReuseMs - 1, false}, {kFeedReuseMs, true}, {kFeedReuseMs - 1, false}};
    std::size_t fetches = 2;
    std::uint64_t nr = form->monitor.updatenr;
    Millis read_at = a;
    for (const auto& [offset, asks] : kUpdates) {
        update_at(read_at + offset);
        if (asks) ++fetches;
        EXPECT_EQ(feed_fetches(), fetches) << offset;
        EXPECT_EQ(form->monitor.updatenr, ++nr) << offset;
        EXPECT_EQ(form->Label5->caption(), std::to_string(nr));
        if (asks) read_at += offset;
        if (fetches == 2) expect_sample_shown();
    }
    EXPECT_EQ(visible_slots(), (std::vector<int>{0}));
    // A failed request does not count: the next update asks again.
    set_feed_failure(sim, FeedFailure::HttpError);
    update_at(read_at + kFeedReuseMs);
    update_at(read_at + kFeedReuseMs + 1000);
    EXPECT_EQ(feed_fetches(), fetches + 2);
    EXPECT_EQ(index_fetches(), 1u);
}

TEST_F(FeedRouteTest, TheRetiredIndexIsTriedHourlyAndTakesOverAgainWhenItYieldsClients) {
    const Millis r = sim.now() + kIndexRetryMs;
    update_at(r);  // more than an hour after start-up: the index is tried, fails
    EXPECT_EQ(index_fetches(), 2u);
    serve(sim, online_status_file());
    update_at(r + kIndexRetryMs - 1);
    EXPECT_EQ(index_fetches(), 2u);
    EXPECT_EQ(feed_fetches(), 3u);
    expect_sample_shown();
    update_at(r + kIndexRetryMs);
    update_at(r + kIndexRetryMs + 1000);
    EXPECT_EQ(index_fetches(), 4u);
    EXPECT_EQ(feed_fetches(), 3u);
    EXPECT_EQ(visible_slots(), (std::vector<int>{1}));
    EXPECT_EQ(form->l1[1]->caption(), "120.8");
}

TEST_F(FeedRouteTest, AStraightUpdateWhoseFeedFailsEndsAsOneWhoseIndexFailed) {
    for (FeedFailure failure : kFeedFailures) {
        // From the start-up's last text: one index try an hour later, and a
        // straight update within the hour.
        Outcome ends[2];
        for (bool straight : {false, true}) {
            SetUp();
            sim.url_fetches.clear();
            set_feed_failure(sim, failure);
            update_at(sim.now() + (straight ? kIndexRetryMs / 2 : kIndexRetryMs));
            EXPECT_EQ(index_fetches(), straight ? 0u : 1u);
            EXPECT_EQ(feed_fetches(), 1u);
            ends[straight] = outcome_of(*form);
        }
        EXPECT_EQ(ends[1], ends[0]) << static_cast<int>(failure);
    }
}

// A feed of about `clients` clients, the sample's EDDT_TWR among the last.
std::string big_feed(int clients) {
    std::string json = R"({"updatedAt":"2026-11-30T17:32:15Z","clients":{"pilots":[)";
    for (int k = 0; k < clients; ++k) {
        if (k) json += ',';
        json += R"({"time":3600,"id":)" + std::to_string(8000000 + k) + R"(,"userId":)" +
                std::to_string(500000 + k) + R"(,"callsign":"PX)" + std::to_string(k) +
                R"(","lastTrack":{"altitude":35000,"groundSpeed":451,"heading":271},)"
                R"("flightPlan":{"departureId":"EDDF","arrivalId":"EDDT","route":"ANEKI UL607 )"
                R"(TOBAK UN850 RASVO KERAX UNOKO","remarks":"PBN/A1B1 RMK/TCAS"}})";
    }
    json +=
        R"(],"atcs":[{"callsign":"EDDT_TWR","userId":400101,"atcSession":{"frequency":124.525}}]}})";
    return json;
}

TEST_F(FeedStandInTest, TheWindowIsServedThroughoutTheConversionOfABigFeed) {
    set_path_end(sim, PathEnd::IndexFails);
    start();
    const std::string feed = big_feed(15000);
    ASSERT_GT(feed.size(), std::size_t{3} << 20);
    serve_feed(sim, feed);
    sim.windows = {"IvAc"};

    // The user clicks a station and asks for an update while the feed is
    // being read.
    std::size_t passes = 0;
    sim.on_do_events = [&] {
        ++passes;
        if (passes == 5) form->c1[0]->click();
        if (passes == 6) form->Command7->click();
    };
    const std::size_t calls = sim.do_events_calls;
    form->Command7->click();
    sim.on_do_events = nullptr;
    // One pass per 64 KiB slice at least, with nothing else in the core
    // between two passes.
    EXPECT_GE(sim.do_events_calls - calls, feed.size() / kFeedSliceBytes);
    EXPECT_EQ(feed_fetches(), 2u);  // the click in the middle was skipped
    EXPECT_EQ(visible_slots(), (std::vector<int>{0}));
    EXPECT_EQ(form->l1[0]->caption(), "124.525");
    EXPECT_EQ(std::count(form->monitor.whazztext.begin(), form->monitor.whazztext.end(), '\n'),
              15001);
    sim.run_for(1000);
    ASSERT_EQ(sim.sends.size(), 4u);  // the click's keys went out
    EXPECT_EQ(sim.sends[2].text, "EDDT_TWR");
}

TEST_F(FeedStandInTest, QuittingDuringTheConversionStopsItAndNothingOfTheFeedIsKept) {
    serve(sim, online_status_file());
    start();
    const std::string before = form->monitor.whazztext;
    set_path_end(sim, PathEnd::StatusErrorPage);
    serve_feed(sim, big_feed(3000));
    std::size_t passes = 0;
    sim.on_do_events = [&] {
        if (++passes == 3) form->Command5->click();  // "Quit + Save"
    };
    form->Command7->click();
    sim.on_do_events = nullptr;
    EXPECT_TRUE(form->unloaded());
    EXPECT_TRUE(sim.quit_requested);
    EXPECT_EQ(passes, 4u);  // the quit at the third slice, then the update's own pass
    EXPECT_NE(form->monitor.whazztext, before);
    EXPECT_TRUE(form->monitor.whazztext.find("Not Found") != std::string::npos);
    EXPECT_NE(saved_config(), "<none>");
}

}  // namespace
}  // namespace tovira::testing
