#include "monitor/http_client.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backends/sim/sim_platform.h"

namespace tovira {
namespace {

using sim::Chunk;
using sim::Millis;
using sim::PeerScript;
using sim::SimPlatform;

PeerScript answering(std::string response, Millis at, std::optional<Millis> close_after) {
    PeerScript p;
    p.chunks = {{at, std::move(response)}};
    p.close_after = close_after;
    return p;
}

TEST(MyInetTest, ReturnsTheWholeBodyOfAQuickAnswerAndSendsTheExactRequest) {
    SimPlatform sim;
    sim.peers["h.aero"] =
        answering("HTTP/1.0 200 OK\r\nServer: x\r\n\r\nline 1\r\n\r\nline 3\r\n\r\nend", 300, 300);
    MyInet inet(sim);
    const Millis t0 = sim.now();
    EXPECT_EQ(inet.OpenURL("h.aero", "/a"), "line 1\r\n\r\nline 3\r\n\r\nend");
    EXPECT_EQ(sim.now() - t0, 305);  // returns at the close, not at the time-out
    ASSERT_EQ(sim.connections.size(), 1u);
    EXPECT_EQ(sim.connections[0].port, 80);
    EXPECT_EQ(sim.connections[0].sent,
              "GET /a HTTP/1.0\r\nHost: h.aero\r\nAccept: */*\r\nConnection: close\r\n\r\n");
    EXPECT_FALSE(inet.fetchdone);
}

TEST(MyInetTest, SendsThePathUnchangedAndReturnsAnErrorPageBody) {
    SimPlatform sim;
    sim.peers["h.aero"] = answering("HTTP/1.0 404 Not Found\r\n\r\n<html>not here</html>", 50, 60);
    MyInet inet(sim);
    EXPECT_EQ(inet.OpenURL("h.aero", "status.txt?a b"), "<html>not here</html>");
    EXPECT_TRUE(sim.connections[0].sent.starts_with("GET status.txt?a b HTTP/1.0\r\n"));
}

TEST(MyInetTest, GivesUpAfterMoreThanTwoAndAtMostThreeSecondsWhateverTheStartTime) {
    // 86'399'000 is 23:59:59 on a time-of-day clock.
    for (Millis start : {Millis{86'399'000}, Millis{86'399'999}, Millis{1'000'500}}) {
        SimPlatform sim(start);
        // Data arrives, but the server never closes.
        sim.peers["h.aero"] = answering("HTTP/1.0 200 OK\r\n\r\nbody", 100, std::nullopt);
        MyInet inet(sim);
        EXPECT_EQ(inet.OpenURL("h.aero", "/"), "") << start;
        const Millis waited = sim.now() - start;
        EXPECT_GT(waited, 2000) << start;
        EXPECT_LE(waited, 3000) << start;
    }
}

TEST(MyInetTest, ALateBodyIsKeptWhileTheNextCallWaitsForItsOwnAnswer) {
    SimPlatform sim;
    sim.peers["slow.aero"] = answering("HTTP/1.0 200 OK\r\n\r\nlate body", 3900, 4000);
    sim.peers["quick.aero"] = answering("HTTP/1.0 200 OK\r\n\r\nquick body", 10, 20);
    MyInet inet(sim);
    const Millis t0 = sim.now();
    EXPECT_EQ(inet.OpenURL("slow.aero", "/"), "");
    EXPECT_EQ(sim.now() - t0, 3000);
    sim.run_until(t0 + 5000);  // the slow server has closed meanwhile
    EXPECT_TRUE(inet.fetchdone);
    // The next call's own answer comes in time: it wins over the late body.
    const Millis t1 = sim.now();
    EXPECT_EQ(inet.OpenURL("quick.aero", "/"), "quick body");
    EXPECT_EQ(sim.now() - t1, 25);
    EXPECT_FALSE(inet.fetchdone);
    EXPECT_EQ(inet.OpenURL("quick.aero", "/"), "quick body");

    // Its own answer does not come in time: the late body, after the time-out.
    EXPECT_EQ(inet.OpenURL("slow.aero", "/"), "");
    sim.run_for(2000);
    PeerScript silent;
    silent.close_after = std::nullopt;
    sim.peers["silent.aero"] = silent;
    const Millis t2 = sim.now();
    EXPECT_EQ(inet.OpenURL("silent.aero", "/"), "late body");
    EXPECT_GT(sim.now() - t2, 2000);
}

// Calls a minute apart against a server whose answers are numbered and that
// takes `delay(n)` ms for answer n.
std::vector<std::string> minute_calls(int calls, const std::function<Millis(int)>& delay) {
    SimPlatform sim;
    int served = 0;
    PeerScript p;
    p.respond = [&](const std::string&) {
        ++served;
        const Millis at = delay(served);
        return std::vector<Chunk>{{at, "HTTP/1.0 200 OK\r\n\r\nbody" + std::to_string(served)}};
    };
    // The close follows the answer: scripted per call below.
    std::vector<std::string> out;
    MyInet inet(sim);
    for (int k = 0; k < calls; ++k) {
        p.close_after = delay(served + 1);
        sim.peers["h.aero"] = p;
        const Millis t = sim.now();
        out.push_back(inet.OpenURL("h.aero", "/"));
        sim.run_until(t + 60000);
    }
    return out;
}

TEST(MyInetTest, AOnceSlowServerCostsOneBlankAndAnAlwaysSlowOneShowsItsNewestBody) {
    // Before the mend: "", body1, body2, body3, body4 - every update one behind.
    EXPECT_EQ(minute_calls(5, [](int n) { return n == 1 ? Millis{4000} : Millis{300}; }),
              (std::vector<std::string>{"", "body2", "body3", "body4", "body5"}));
    EXPECT_EQ(minute_calls(5, [](int) { return Millis{4000}; }),
              (std::vector<std::string>{"", "body1", "body2", "body3", "body4"}));
}

TEST(MyInetTest, UnreachableServersEndInTheTimeOutAndRejectedHostsInAnError) {
    SimPlatform sim;
    PeerScript refusing;
    refusing.refuses = true;
    sim.peers["refusing.aero"] = refusing;
    MyInet inet(sim);
    for (const char* host : {"refusing.aero", "unknown.aero"}) {
        const Millis t0 = sim.now();
        EXPECT_EQ(inet.OpenURL(host, "/"), "") << host;
        EXPECT_GT(sim.now() - t0, 2000) << host;
    }
    const Millis t0 = sim.now();
    EXPECT_THROW(inet.OpenURL("", "/"), SocketSetupError);
    EXPECT_THROW(inet.OpenURL("/www.ivao.aero", "/"), SocketSetupError);
    EXPECT_EQ(sim.now(), t0);
}

TEST(MyInetTest, AResponseWithoutHeaderEndOrWithoutDataHasAnEmptyBody) {
    SimPlatform sim;
    sim.peers["noend.aero"] = answering("HTTP/1.0 200 OK\r\nbody", 10, 20);
    PeerScript silent;
    silent.close_after = 20;
    sim.peers["silent.aero"] = silent;
    MyInet inet(sim);
    const Millis t0 = sim.now();
    EXPECT_EQ(inet.OpenURL("noend.aero", "/"), "");
    EXPECT_EQ(inet.OpenURL("silent.aero", "/"), "");
    EXPECT_LT(sim.now() - t0, 100);
}

TEST(MyInetTest, AnOversizedResponseIsAFailedFetchAndNothingOfItIsKept) {
    SimPlatform sim;
    PeerScript huge;
    const std::string piece(std::size_t{16} << 20, 'x');
    huge.chunks = {{10, "HTTP/1.0 200 OK\r\n\r\n"},
                   {20, piece},
                   {30, piece},
                   {40, piece},
                   {50, piece},
                   {60, piece}};
    huge.close_after = 70;
    sim.peers["huge.aero"] = huge;
    MyInet inet(sim);
    const Millis t0 = sim.now();
    EXPECT_EQ(inet.OpenURL("huge.aero", "/"), "");
    EXPECT_LT(sim.now() - t0, 100);
    EXPECT_EQ(inet.fetchbuf.capacity() < 1024, true);
}

TEST(MyInetTest, ReturnsAtOnceWhenTheProgramEnds) {
    SimPlatform sim;
    sim.peers["h.aero"] = answering("HTTP/1.0 200 OK\r\n\r\nbody", 100, std::nullopt);
    MyInet inet(sim);
    const Millis t0 = sim.now();
    sim.at(t0 + 500, [&] { sim.quit(); });
    EXPECT_EQ(inet.OpenURL("h.aero", "/"), "");
    EXPECT_EQ(sim.now() - t0, 500);
}

}  // namespace
}  // namespace tovira
