// The status index from arbitrary bytes: the first url line is found as the
// plain reading of the format says, and `getwhazz` on that index ends in
// bounded virtual time with the status file, or with the index kept when the
// index names no usable server.
//
// One window serves every input: each input clears the network's scripts
// and the values an update sets (text, update number), so that it meets the
// window as a fresh one would. An index beyond 64 KB is cut off: lines are
// read one at a time, and a longer text only costs copies.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/main_window.h"
#include "backends/sim/sim_platform.h"
#include "fuzz_check.h"

namespace {

using tovira::StatusServer;

// The index as read, step by step: lines at every CR LF, the first never
// looked at, the first url line decides.
StatusServer reference(std::string_view index) {
    StatusServer s;
    std::size_t start = 0;
    bool first = true;
    for (;;) {
        const std::size_t end = index.find("\r\n", start);
        const std::string_view line =
            index.substr(start, end == index.npos ? index.npos : end - start);
        if (!first && line.substr(0, 3) == "url") {
            const std::size_t aero = line.find("aero");
            if (aero != line.npos && aero >= 12) {
                s.host = std::string(line.substr(12, aero + 4 - 12));
                s.path = std::string(line.substr(aero + 4));
                s.found = true;
            }
            return s;
        }
        first = false;
        if (end == index.npos) return s;
        start = end + 2;
    }
}

constexpr std::string_view kBody = "!GENERAL\r\nEDDT_TWR:1:Jo Doe:ATC:118.700:x:\r\n";

struct World {
    tovira::sim::SimPlatform sim;
    tovira::Form1 form{sim};
    World() {
        form.t1[0]->set_text("EDDT_TWR");
        // The index path on every input: an index without clients would
        // otherwise send the next updates straight to the feed.
        form.monitor.addresses.feed_fallback = false;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    size = std::min<std::size_t>(size, 64 * 1024);
    const std::string index(reinterpret_cast<const char*>(data), size);

    const StatusServer server = tovira::find_status_server(index);
    const StatusServer expected = reference(index);
    FUZZ_CHECK(server.found == expected.found);
    FUZZ_CHECK(server.host == expected.host && server.path == expected.path);
    if (server.found) FUZZ_CHECK(server.host.ends_with("aero"));

    static World world;
    tovira::sim::SimPlatform& sim = world.sim;
    tovira::Form1& form = world.form;
    sim.urls.clear();
    sim.peers.clear();
    sim.connections.clear();
    sim.url_fetches.clear();
    form.monitor.whazztext.clear();
    form.monitor.updatenr = 0;
    sim.urls[std::string(tovira::status_index_url())] = {
        static_cast<tovira::sim::Millis>(size % 97), true, index, false};
    if (server.found) {
        tovira::sim::PeerScript peer;
        peer.chunks = {{3, "HTTP/1.0 200 OK\r\n\r\n" + std::string(kBody)}};
        peer.close_after = 4;
        sim.peers[server.host] = peer;
    }
    const auto start = sim.now();
    form.getwhazz();
    // The index fetch, then at most the status server's time-out.
    FUZZ_CHECK(sim.now() - start <= 100 + 3000);
    FUZZ_CHECK(!form.monitor.fetching());
    if (index.empty()) {
        FUZZ_CHECK(form.monitor.whazztext.empty() && form.monitor.updatenr == 0);
        FUZZ_CHECK(form.Label5->caption() == "Loading...");
    } else {
        FUZZ_CHECK(form.monitor.updatenr == 1 && form.Label5->caption() == "1");
        if (!sim.connections.empty()) {
            FUZZ_CHECK(server.found && sim.connections.size() == 1);
            FUZZ_CHECK(form.monitor.whazztext == kBody);
            FUZZ_CHECK(sim.connections[0].sent ==
                       tovira::MyInet::request_text(server.host, server.path));
        } else {
            // No usable host: the step is skipped and the index stays.
            FUZZ_CHECK(form.monitor.whazztext == index);
        }
    }
    form.checkwhazz();  // whatever the text now holds
    return 0;
}
