// The handover in Aurora against a peer that answers each packet with
// arbitrary bytes, in arbitrary chunks at arbitrary moments, in virtual
// time. Properties:
// - the client sends "#SELTFC" and then at most one "#TRTR" for the click,
//   and that only when the bytes that had arrived by then hold, within the
//   bound, a "#SELTFC" answer with a well-formed callsign, after no more
//   than the allowed other lines, none of them an error or malformed;
// - success is reported only on the exact echo; every click ends in one
//   report; nothing is sent after Quit.
//
// Input: byte 0 the mode (bit 0: Quit at the time in byte 1, 16 ms units);
// then chunks, each a flags byte (bit 7: part of the answer to the second
// packet; bits 0-6: delay after that packet in 32 ms units), a length byte
// and the bytes. At most 24 chunks and 8 KB are read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "dispatch/aurora_client.h"
#include "fuzz_check.h"
#include "platform/sim/sim_platform.h"

namespace {

using tovira::sim::Chunk;
using tovira::sim::Millis;

constexpr std::size_t kMaxChunks = 24;
constexpr char kStation[] = "EDDT_TWR";

bool printable(std::string_view s) {
    for (char c : s) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// What the bytes that had arrived allow: the callsign a transfer may name.
// An independent reading of the answer rules, line by line.
std::optional<std::string> allowed_callsign(const std::string& arrived) {
    int others = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t lf = arrived.find('\n', from);
        if (lf == std::string::npos) return std::nullopt;
        std::string line = arrived.substr(from, lf - from);
        from = lf + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > tovira::kAuroraMaxLine || !printable(line)) return std::nullopt;
        if (!line.empty() && (line[0] == '$' || line[0] == '@')) return std::nullopt;
        if (line.rfind("#SELTFC;", 0) == 0 || line == "#SELTFC") {
            std::string cs = line.size() > 8 ? line.substr(8) : std::string();
            cs = cs.substr(0, cs.find(';'));
            if (!tovira::valid_aurora_callsign(cs)) return std::nullopt;
            return cs;
        }
        if (++others > tovira::kAuroraMaxSkipped) return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    size = std::min<std::size_t>(size, 8 * 1024);
    const bool quit = data[0] & 1;
    const Millis quit_at = data[1] * 16;

    std::vector<Chunk> answers[2];
    std::size_t count = 0;
    for (std::size_t i = 2; i + 1 < size && count < kMaxChunks; ++count) {
        const std::size_t len = std::min<std::size_t>(data[i + 1], size - i - 2);
        answers[data[i] >> 7].push_back(
            {(data[i] & 0x7F) * 32, std::string(reinterpret_cast<const char*>(data + i + 2), len)});
        i += 2 + len;
    }

    // In the order they arrive.
    for (auto& a : answers) {
        std::stable_sort(a.begin(), a.end(),
                         [](const Chunk& x, const Chunk& y) { return x.after < y.after; });
    }

    tovira::sim::SimPlatform sim(0);
    std::vector<Millis> sent_at;
    tovira::sim::PeerScript peer;
    peer.connect_delay = 1;
    peer.close_after.reset();
    peer.converse = [&](std::string_view) {
        sent_at.push_back(sim.now());
        return sent_at.size() <= 2 ? answers[sent_at.size() - 1] : std::vector<Chunk>{};
    };
    sim.peers["127.0.0.1"] = peer;

    // The window is never loaded: no download, no timer besides the client's.
    tovira::Form1 form{sim};
    form.t1[3]->set_text(kStation);
    tovira::AuroraClient& client = form.aurora;
    client.click(3);
    if (quit) sim.world(quit_at, [&] { sim.quit(); });
    sim.run_until(20'000);
    std::vector<std::string> reports;
    for (const auto& b : sim.balloons) reports.push_back(b.text);

    FUZZ_CHECK(sim.connections.size() == 1);
    const std::string& sent = sim.connections[0].sent;
    FUZZ_CHECK(sent.rfind("#SELTFC\r\n", 0) == 0 || sent.empty());
    const std::string transfer = sent.size() > 9 ? sent.substr(9) : std::string();
    FUZZ_CHECK(sent_at.size() == (transfer.empty() ? (sent.empty() ? 0u : 1u) : 2u));
    FUZZ_CHECK(!client.busy());
    if (quit && !sent_at.empty()) FUZZ_CHECK(sent_at.back() <= quit_at);
    if (!quit) FUZZ_CHECK(reports.size() == 1);
    FUZZ_CHECK(reports.size() <= 1);

    std::optional<std::string> callsign;
    if (!transfer.empty()) {
        // Only what had arrived when the transfer went out counts.
        std::string arrived;
        for (const Chunk& c : answers[0]) {
            if (sent_at[0] + c.after <= sent_at[1]) arrived += c.bytes;
        }
        callsign = allowed_callsign(arrived);
        FUZZ_CHECK(callsign.has_value());
        FUZZ_CHECK(sent_at[1] - sent_at[0] <= tovira::kAuroraAnswerMs);
        FUZZ_CHECK(transfer == "#TRTR;" + *callsign + ";" + kStation + ";\r\n");
    }
    for (const std::string& r : reports) {
        if (r.rfind("sent to Aurora", 0) != 0) continue;
        FUZZ_CHECK(callsign.has_value());
        FUZZ_CHECK(r == tovira::AuroraClient::sent_text(*callsign, kStation));
        // The echo may come in any bytes that arrived after the transfer,
        // in the order they arrived. Bytes of the transfer's own millisecond
        // may have come either side of it: a reader cannot tell.
        std::vector<std::pair<Millis, const std::string*>> late;
        for (const Chunk& c : answers[0]) {
            if (sent_at[0] + c.after >= sent_at[1])
                late.emplace_back(sent_at[0] + c.after, &c.bytes);
        }
        for (const Chunk& c : answers[1]) late.emplace_back(sent_at[1] + c.after, &c.bytes);
        std::stable_sort(late.begin(), late.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string echoed;
        for (const auto& [at, bytes] : late) echoed += *bytes;
        FUZZ_CHECK(echoed.find("#TRTR;" + *callsign + ";" + kStation) != std::string::npos);
    }
    return 0;
}
