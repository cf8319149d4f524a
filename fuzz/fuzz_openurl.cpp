// `OpenURL` against a server that sends arbitrary bytes in arbitrary chunks
// at arbitrary moments, and closes, resets or never ends the connection; all
// in virtual time. The call returns within its time-out, with the body after
// the first empty line when the server closed in time and the empty text when
// it did not. A late body is kept by the next call, which still waits for
// its own answer and returns the late body only when its own never comes.
//
// Input: byte 0 the mode (bits 0-1: close, never, reset, close; bit 2: a
// second call after; bit 3: the second call's server never answers), byte 1 the close delay after
// the last chunk in units of 16 ms; then chunks, each a delay byte (16 ms units), a length byte and
// the bytes. At most 16 chunks and 8 KB are read: the rule depends on when
// bytes arrive and where the empty line falls, not on how many there are.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "backends/sim/sim_platform.h"
#include "fuzz_check.h"
#include "monitor/http_client.h"

namespace {

constexpr tovira::sim::Millis kUnit = 16;
// Each chunk is an event of the simulated loop, copied a few times on its
// way: the chunks, not the bytes, set the cost of an input.
constexpr std::size_t kMaxChunks = 16;
constexpr std::string_view kHost = "whazzup.example.aero";
constexpr std::string_view kOtherHost = "other.example.aero";
constexpr std::string_view kOtherBody = "second\r\n\r\nbody";

std::string body_of(const std::string& response) {
    const std::size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    size = std::min<std::size_t>(size, 8 * 1024);
    const unsigned mode = data[0];
    const unsigned ending = mode & 3;  // 0, 3: close; 1: never; 2: reset
    const bool second_call = mode & 4;
    const bool other_silent = mode & 8;

    tovira::sim::PeerScript peer;
    std::string response;
    tovira::sim::Millis at = 0;
    for (std::size_t i = 2; i + 1 < size && peer.chunks.size() < kMaxChunks;) {
        at += data[i] * kUnit;
        const std::size_t len = std::min<std::size_t>(data[i + 1], size - i - 2);
        std::string bytes(reinterpret_cast<const char*>(data + i + 2), len);
        response += bytes;
        peer.chunks.push_back({at, std::move(bytes)});
        i += 2 + len;
    }
    const tovira::sim::Millis end_at = at + data[1] * kUnit;
    peer.close_after = ending == 1 ? std::nullopt : std::optional(end_at);
    peer.reset = ending == 2;

    tovira::sim::SimPlatform sim;
    const tovira::sim::Millis connect_delay = peer.connect_delay;
    sim.peers[std::string(kHost)] = std::move(peer);
    tovira::sim::PeerScript other;
    if (other_silent) {
        other.close_after = std::nullopt;
    } else {
        other.chunks = {{1, std::string(kOtherBody)}};
        other.close_after = 2;
    }
    sim.peers[std::string(kOtherHost)] = other;

    tovira::MyInet inet(sim);
    const tovira::sim::Millis start = sim.now();
    const std::string result = inet.OpenURL(kHost, "/whazzup.txt");
    const tovira::sim::Millis returned = sim.now();
    const bool closes = ending == 0 || ending == 3;
    const tovira::sim::Millis closed_at = start + connect_delay + end_at;

    FUZZ_CHECK(returned - start <= 3000);
    FUZZ_CHECK(!inet.fetchdone);
    if (closes && closed_at <= returned) {
        FUZZ_CHECK(result == body_of(response));
    } else {
        FUZZ_CHECK(result.empty());
        FUZZ_CHECK(returned - start > 2000);  // the whole time-out was given
    }
    if (closes && closed_at <= start + 2000) FUZZ_CHECK(returned == closed_at);
    FUZZ_CHECK(sim.connections.size() == 1);
    FUZZ_CHECK(sim.connections[0].sent == tovira::MyInet::request_text(kHost, "/whazzup.txt"));

    if (second_call) {
        // Time passes; a connection that ends now leaves its body for the
        // next call, which prefers its own answer.
        sim.run_for(5000);
        const tovira::sim::Millis second = sim.now();
        const std::string next = inet.OpenURL(kOtherHost, "/");
        const bool late = closes && closed_at > returned && closed_at <= second;
        const std::string own = other_silent ? std::string() : body_of(std::string(kOtherBody));
        FUZZ_CHECK(next == (other_silent && late ? body_of(response) : own));
        // Events of the first connection never reach the second.
        sim.run_for(300000);
        FUZZ_CHECK(!inet.fetchdone);
    }
    return 0;
}
