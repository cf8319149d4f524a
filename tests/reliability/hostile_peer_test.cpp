// Updates against servers that misbehave: silent, dripping, endless, broken
// off, absent, or sending nonsense. Each update ends within the fetch
// time-outs, holds a bounded amount of memory, leaves the outcome a failed
// or empty fetch gives, and the panel keeps serving clicks meanwhile.
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

using platform::Millis;
using sim::Chunk;
using sim::PeerScript;

constexpr char kStatusHost[] = "status.test.aero";
constexpr char kIndex[] = "!status\r\nurl0=http://status.test.aero/whazzup.txt\r\n";
constexpr char kStatusFile[] =
    "!CLIENTS\r\nEDDT_TWR:1:Jo Doe:ATC:118.700:x:\r\nEDWW_CTR:2:Al Bee:ATC:129.050:x:\r\n";
constexpr Millis kIndexMs = 10;

std::string response(const std::string& body) {
    return "HTTP/1.0 200 OK\r\n\r\n" + body;
}

PeerScript good_peer() {
    PeerScript p;
    p.chunks = {{5, response(kStatusFile)}};
    p.close_after = 6;
    return p;
}

class HostilePeerTest : public SimTest {
protected:
    // The panel after a good first update: slots 0 and 1 online, IvAc
    // running, no minute tick in the way.
    void SetUp() override {
        sim.windows = {"IvAc"};
        sim.urls[std::string(status_index_url())] = {kIndexMs, true, kIndex, false};
        sim.peers[kStatusHost] = good_peer();
        ConfigLines c;
        c.name(0) = "TEG";
        c.position(0) = "EDDT_TWR";
        c.name(1) = "BREMEN";
        c.position(1) = "EDWW_CTR";
        c.name(2) = "LEIPZIG";
        c.position(2) = "EDDP_TWR";
        write_config(c.text());
        start();
        form->Timer6->set_enabled(false);
        ASSERT_EQ(visible_slots(), (std::vector<int>{0, 1}));
        ASSERT_EQ(form->monitor.updatenr, 1u);
    }

    struct Outcome {
        Millis took = 0;
        std::uint64_t updates = 0;  // update numbers added
        std::size_t connections = 0;
    };

    // One manual update; a click on slot 0 lands `click_after` into it when
    // given, and is checked to have typed on time by the end of the update.
    Outcome update(std::optional<Millis> click_after = 1000) {
        const Millis t = sim.now();
        const std::uint64_t nr = form->monitor.updatenr;
        const std::size_t conns = sim.connections.size();
        const std::size_t sends = sim.sends.size();
        if (click_after) sim.at(t + *click_after, [this] { form->c1[0]->click(); });
        form->scheduler.Command7_Click();
        Outcome o{sim.now() - t, form->monitor.updatenr - nr, sim.connections.size() - conns};
        if (click_after) {
            // Typed during the wait, one step every 50 ms after the delay.
            EXPECT_GE(o.took, *click_after + 300);
            std::vector<Millis> at;
            for (std::size_t k = sends; k < sim.sends.size(); ++k) {
                EXPECT_EQ(sim.sends[k].target, "IvAc");
                at.push_back(sim.sends[k].at - t - *click_after);
            }
            EXPECT_EQ(at, (std::vector<Millis>{150, 200, 250, 300}));
        }
        EXPECT_FALSE(form->monitor.fetching());
        EXPECT_FALSE(form->scheduler.update_running());
        return o;
    }

    // The status server did not deliver: nothing online, the update counted.
    void expect_empty_status(const Outcome& o) {
        EXPECT_EQ(o.updates, 1u);
        EXPECT_EQ(form->monitor.whazztext, "");
        EXPECT_TRUE(visible_slots().empty());
        EXPECT_EQ(form->l1[0]->caption(), "");
        EXPECT_EQ(form->Label5->caption(), "2");
    }

    // The client's time-out: more than two, at most three seconds.
    static void expect_client_timeout(const Outcome& o) {
        EXPECT_GT(o.took, kIndexMs + 2000);
        EXPECT_LE(o.took, kIndexMs + 3000);
    }

    // No buffer of the client still holds a large answer.
    void expect_small_buffers() {
        EXPECT_LE(form->my_inet().fetchbuf.capacity(), std::size_t{1} << 16);
        EXPECT_LE(form->monitor.whazztext.capacity(), std::size_t{2} << 20);
    }

    // A good update afterwards finds the stations again.
    void expect_recovers() {
        sim.peers[kStatusHost] = good_peer();
        sim.urls[std::string(status_index_url())] = {kIndexMs, true, kIndex, false};
        sim.run_for(10000);
        update(std::nullopt);
        EXPECT_EQ(visible_slots(), (std::vector<int>{0, 1}));
        EXPECT_EQ(form->l1[0]->caption(), "118.7");
        EXPECT_EQ(form->l1[1]->caption(), "129.050");
    }
};

TEST_F(HostilePeerTest, ServerThatNeverClosesTimesOut) {
    PeerScript p;
    p.chunks = {{5, response(kStatusFile)}};
    p.close_after = std::nullopt;
    sim.peers[kStatusHost] = p;
    const Outcome o = update();
    expect_client_timeout(o);
    expect_empty_status(o);
    expect_recovers();
}

TEST_F(HostilePeerTest, RequestsDuringAHangAreSkippedAndQuitEndsTheWait) {
    PeerScript p;
    p.chunks = {{5, response(kStatusFile)}};
    p.close_after = std::nullopt;
    sim.peers[kStatusHost] = p;
    const Millis t = sim.now();
    // More requests while the first one waits: none starts a second fetch.
    sim.at(t + 500, [this] { form->Command7->click(); });
    sim.at(t + 600, [this] { form->Label9->click(); });
    sim.at(t + 700, [this] { form->scheduler.Timer6_Timer(); });
    sim.at(t + 1500, [this] { form->Command5->click(); });  // "Quit + Save"
    form->scheduler.Command7_Click();
    EXPECT_EQ(sim.connections.size(), 2u);  // the start-up's and this one
    EXPECT_TRUE(form->unloaded());
    EXPECT_TRUE(sim.quit_requested);
    // The wait ended with the quit, not with the time-out.
    EXPECT_LT(sim.now() - t, 1600);
    EXPECT_TRUE(saved_config().starts_with("TEG\r\nEDDT_TWR\r\nBREMEN\r\n"));
    const std::string saved = saved_config();
    sim.run_for(600000);
    EXPECT_EQ(saved_config(), saved);
}

TEST_F(HostilePeerTest, ServerThatDripsAByteASecondTimesOut) {
    PeerScript p;
    p.close_after = std::nullopt;
    const std::string answer = response(kStatusFile);
    std::size_t asked = 0;
    p.stream = [&](std::size_t n) -> std::optional<Chunk> {
        asked = n + 1;
        return Chunk{static_cast<Millis>(1000 * n), std::string(1, answer[n % answer.size()])};
    };
    sim.peers[kStatusHost] = p;
    const Outcome o = update();
    expect_client_timeout(o);
    expect_empty_status(o);
    // The time-out leaves the connection to the next fetch, which ends it:
    // no byte of it arrives after that.
    expect_recovers();
    const std::size_t asked_then = asked;
    sim.run_for(600000);
    EXPECT_EQ(asked, asked_then);
}

TEST_F(HostilePeerTest, HugeBodyIsDroppedAtTheCapWithoutWaiting) {
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    constexpr std::size_t kChunks = 200;  // 200 MiB in all
    PeerScript p;
    p.close_after = static_cast<Millis>(kChunks + 10);
    std::size_t asked = 0;
    p.stream = [&](std::size_t n) -> std::optional<Chunk> {
        if (n >= kChunks) return std::nullopt;
        asked = n + 1;
        std::string bytes(kChunk, 'x');
        if (n == 0) bytes.replace(0, 19, "HTTP/1.0 200 OK\r\n\r\n");
        return Chunk{static_cast<Millis>(1 + n), std::move(bytes)};
    };
    sim.peers[kStatusHost] = p;
    const Outcome o = update(std::nullopt);
    // Dropped as soon as the answer passed the cap, not at the time-out.
    EXPECT_LT(o.took, 1000);
    EXPECT_LE(asked, kMaxStatusBytes / kChunk + 2);
    expect_empty_status(o);
    expect_small_buffers();
    expect_recovers();
}

TEST_F(HostilePeerTest, AnswerWithoutEmptyLineGivesEmptyText) {
    PeerScript p;
    p.chunks = {{5, std::string("HTTP/1.0 200 OK\r\n") + kStatusFile}};
    p.close_after = 6;
    sim.peers[kStatusHost] = p;
    const Outcome o = update(std::nullopt);
    EXPECT_LT(o.took, 100);
    expect_empty_status(o);
    expect_recovers();
}

TEST_F(HostilePeerTest, ResetInTheMiddleTimesOut) {
    const std::string answer = response(kStatusFile);
    PeerScript p;
    p.chunks = {{5, answer.substr(0, answer.size() / 2)}};
    p.close_after = 500;
    p.reset = true;
    sim.peers[kStatusHost] = p;
    const Outcome o = update();
    expect_client_timeout(o);
    expect_empty_status(o);
    expect_recovers();
}

TEST_F(HostilePeerTest, RefusedAndUnresolvedHostsTimeOut) {
    PeerScript refused;
    refused.refuses = true;
    sim.peers[kStatusHost] = refused;
    Outcome o = update();
    expect_client_timeout(o);
    expect_empty_status(o);
    EXPECT_EQ(o.connections, 0u);

    sim.peers.erase(kStatusHost);
    sim.run_for(10000);
    const std::size_t sends = sim.sends.size();
    o = update();
    expect_client_timeout(o);
    EXPECT_EQ(o.updates, 1u);
    EXPECT_EQ(form->monitor.whazztext, "");
    EXPECT_EQ(sim.sends.size(), sends + 4);
    expect_recovers();
}

TEST_F(HostilePeerTest, IndexServerThatNeverAnswersEndsAfterSixtySeconds) {
    sim.urls[std::string(status_index_url())] = {0, true, "", true};
    const Outcome o = update(30000);
    EXPECT_GE(o.took, kInetTimeoutMs);
    EXPECT_LE(o.took, kInetTimeoutMs + 100);
    // The index step failed; the text kept is the last status file, which
    // names no status server, so the stations stay as they were.
    EXPECT_EQ(o.connections, 0u);
    EXPECT_EQ(form->monitor.whazztext, kStatusFile);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 1}));
    EXPECT_EQ(sim.live_url_fetches, 0);
    expect_recovers();
}

TEST_F(HostilePeerTest, IndexOfAMillionLines) {
    // Past the index cap: the index fetch fails and the update goes on with
    // the text it held.
    std::string index;
    for (int i = 0; i < 1'000'000; ++i) index += "x\r\n";
    index += "url0=http://status.test.aero/whazzup.txt\r\n";
    sim.urls[std::string(status_index_url())] = {kIndexMs, true, index, false};
    Outcome o = update(std::nullopt);
    EXPECT_EQ(o.connections, 0u);
    EXPECT_EQ(form->monitor.whazztext, kStatusFile);
    EXPECT_EQ(visible_slots(), (std::vector<int>{0, 1}));

    // Half a million empty lines fit: the url line at the end is found.
    index.clear();
    for (int i = 0; i < 500'000; ++i) index += "\r\n";
    index += "url0=http://status.test.aero/whazzup.txt\r\n";
    ASSERT_LE(index.size(), kMaxIndexBytes);
    sim.urls[std::string(status_index_url())] = {kIndexMs, true, index, false};
    sim.peers[kStatusHost].chunks = {{5, response("EDWW_CTR:2:Al Bee:ATC:129.050:x:\r\n")}};
    o = update(std::nullopt);
    EXPECT_EQ(o.connections, 1u);
    EXPECT_EQ(visible_slots(), (std::vector<int>{1}));
    expect_small_buffers();
    expect_recovers();
}

TEST_F(HostilePeerTest, UrlLineWithoutAeroFetchesNoStatusFile) {
    const std::string index = "!status\r\nurl0=http://status.test.net/whazzup.txt\r\n";
    sim.urls[std::string(status_index_url())] = {kIndexMs, true, index, false};
    const Outcome o = update(std::nullopt);
    EXPECT_EQ(o.connections, 0u);
    EXPECT_LT(o.took, 100);
    // The index is the text the stations are looked for in: none is there.
    EXPECT_EQ(o.updates, 1u);
    EXPECT_EQ(form->monitor.whazztext, index);
    EXPECT_TRUE(visible_slots().empty());
    expect_recovers();
}

TEST_F(HostilePeerTest, BinaryGarbageAsIndexAndAsStatusFile) {
    std::mt19937 rng(20261207);
    auto garbage = [&](std::size_t n) {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(rng());
        return s;
    };
    // As the index: no url line, so no status file is fetched.
    const std::string index = garbage(100000);
    sim.urls[std::string(status_index_url())] = {kIndexMs, true, index, false};
    Outcome o = update(std::nullopt);
    EXPECT_EQ(o.connections, 0u);
    EXPECT_EQ(form->monitor.whazztext, index);
    EXPECT_TRUE(visible_slots().empty());

    // As the status file, with a station record somewhere in the middle and
    // another cut short at the very end.
    const std::string body =
        garbage(500000) + "\r\nEDWW_CTR:2:Al Bee:ATC:129.050:" + garbage(500000) + "EDDT_TWR:1:Jo";
    sim.urls[std::string(status_index_url())] = {kIndexMs, true, kIndex, false};
    sim.peers[kStatusHost].chunks = {{5, response(body)}};
    o = update(std::nullopt);
    EXPECT_EQ(o.connections, 1u);
    EXPECT_EQ(form->monitor.whazztext, body);
    EXPECT_EQ(form->slotactive[1], 1);
    EXPECT_EQ(form->c1[1]->tooltip(), "Al Bee");
    EXPECT_EQ(form->slotactive[0], 1);  // found, though its fields are missing
    EXPECT_EQ(form->l1[0]->caption(), "");
    expect_recovers();
}

}  // namespace
}  // namespace tovira::testing
