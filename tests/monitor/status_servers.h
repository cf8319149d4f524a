// Scripted status-index and status servers for the online monitor's tests.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "backends/sim/sim_platform.h"
#include "monitor/status_parser.h"

namespace tovira::testing {

inline constexpr char kStatusHost[] = "status.ivao.aero";
inline constexpr char kStatusPath[] = "/whazzup.txt";

inline std::string index_text(const std::string& url_line = std::string("url0=http://") +
                                                            kStatusHost + kStatusPath) {
    return "!general\r\nmsg0=Welcome\r\n" + url_line + "\r\nurl0=http://other.aero/x\r\n";
}

// An HTTP response as a server sends it.
inline std::string http_response(const std::string& body, const std::string& status = "200 OK") {
    return "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\n\r\n" + body;
}

// A client record: callsign:vid:name:type:frequency:... with the fields after
// the frequency that a real file carries.
inline std::string client(const std::string& callsign, const std::string& name,
                          const std::string& frequency, const std::string& type = "ATC") {
    return callsign + ":123456:" + name + ":" + type + ":" + frequency +
           ":52.5:13.3:0:0::0::0::EU7:B:5:1200:4:80:0:I:0:0:0:0:0:0::::\r\n";
}

inline std::string status_file(const std::vector<std::string>& records) {
    std::string s = "!GENERAL\r\nVERSION = 1\r\n!CLIENTS\r\n";
    for (const auto& r : records) s += r;
    return s + "!SERVERS\r\nEU7:1.2.3.4:Europe:EU7:1:\r\n";
}

// The index answers after `index_ms`; the status server answers `body`
// `answer_ms` after connecting and closes right after.
inline void serve(sim::SimPlatform& sim, const std::string& body, sim::Millis index_ms = 10,
                  sim::Millis answer_ms = 200) {
    sim.urls[std::string(status_index_url())] = sim::UrlScript{index_ms, true, index_text(), false};
    sim::PeerScript peer;
    peer.chunks = {{answer_ms, http_response(body)}};
    peer.close_after = answer_ms;
    sim.peers[kStatusHost] = peer;
}

// The invented feed document in the network's current shape; the feed fuzz
// target's seeds are cut from it.
inline std::string feed_sample() {
    std::ifstream in(std::string(TOVIRA_SOURCE_DIR) + "/tests/data/whazzup-v2-sample.json",
                     std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The current feed answers `json` after `ms`, with HTTP status `status`.
inline void serve_feed(sim::SimPlatform& sim, const std::string& json, sim::Millis ms = 300,
                       int status = 200) {
    sim.urls[std::string(feed_url())] = sim::UrlScript{ms, true, json, false, status};
}

}  // namespace tovira::testing
