// The handover in Aurora against a peer that answers each request with
// arbitrary bytes, in arbitrary chunks at arbitrary moments, in virtual
// time. Properties:
// - the lines sent are #CONN, #SELTFC, #ATC, #TRPOS;<callsign>, then at most
//   one #TRTR for the click, for a callsign a "#SELTFC" line named and a
//   station that ends with the slot's position, then at most five #TRPOS;
// - nothing is sent after Quit; every click ends with its outcome shown
//   (unless Quit came first); "Not sent" is never said once #TRTR went out,
//   and "sent to Aurora" or "transferred" never before it.
//
// The link and the handover are built from their `Uses` alone, as the window
// builds them, so that each input costs little more than its conversation.
//
// Input: byte 0 the mode (bit 0: Quit at the time in byte 1, 32 ms units);
// then chunks, each a flags byte (bits 4-7: the request it answers, counted
// from 0; bits 0-3: delay after that request in 150 ms units), a length byte
// and the bytes. At most 24 chunks and 8 KB are read.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "aurora/aurora_link.h"
#include "aurora/aurora_stations.h"
#include "backends/sim/sim_platform.h"
#include "controls/controls.h"
#include "dispatch/aurora_client.h"
#include "dispatch/click_balloons.h"
#include "fuzz_check.h"
#include "platform/text_encoding.h"
#include "window/form_window.h"

namespace {

using tovira::sim::Chunk;
using tovira::sim::Millis;

constexpr std::size_t kMaxChunks = 24;
constexpr std::size_t kRequests = 16;
constexpr char kPosition[] = "EDDT_TWR";
constexpr int kSlot = 3;

std::vector<std::string> lines_of(const std::string& sent) {
    std::vector<std::string> out;
    for (std::size_t from = 0, end; (end = sent.find("\r\n", from)) != std::string::npos;
         from = end + 2)
        out.push_back(sent.substr(from, end - from));
    return out;
}

bool ends_with_position(std::string_view station) {
    constexpr std::string_view tail = kPosition;
    if (station.size() < tail.size()) return false;
    station.remove_prefix(station.size() - tail.size());
    return std::equal(station.begin(), station.end(), tail.begin(), [](char a, char b) {
        return (a >= 'a' && a <= 'z' ? a - 'a' + 'A' : a) == b;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    size = std::min<std::size_t>(size, 8 * 1024);
    const bool quit = data[0] & 1;
    const Millis quit_at = data[1] * 32;

    std::vector<Chunk> answers[kRequests];
    std::size_t count = 0;
    for (std::size_t i = 2; i + 1 < size && count < kMaxChunks; ++count) {
        const std::size_t len = std::min<std::size_t>(data[i + 1], size - i - 2);
        answers[data[i] >> 4].push_back(
            {(data[i] & 0x0F) * 150,
             std::string(reinterpret_cast<const char*>(data + i + 2), len)});
        i += 2 + len;
    }

    tovira::sim::SimPlatform sim(0);
    std::vector<Millis> sent_at;
    tovira::sim::PeerScript peer;
    peer.connect_delay = 1;
    peer.close_after.reset();
    peer.converse = [&](std::string_view) {
        sent_at.push_back(sim.now());
        return sent_at.size() <= kRequests ? answers[sent_at.size() - 1] : std::vector<Chunk>{};
    };
    sim.peers["127.0.0.1"] = peer;

    // The parts the handover is given, and nothing else: only the clicked
    // slot's button and position are read.
    tovira::FormWindow window{sim};
    tovira::ControlArray<tovira::CommandButton, tovira::kSlotCount> c1;
    tovira::ControlArray<tovira::TextBox, tovira::kFieldRows> t1;
    c1[kSlot] = std::make_unique<tovira::CommandButton>(sim, "c1", kSlot, 1000 + kSlot);
    t1[kSlot] = std::make_unique<tovira::TextBox>(sim, "t1", kSlot, 2000 + kSlot);
    tovira::ClickBalloons balloons({sim, window, c1});
    tovira::AuroraCurrentList list;  // no refresh: every click asks #ATC
    tovira::AuroraLink link({sim, window});
    tovira::AuroraClient aurora(
        {sim, window, balloons, t1,
         [&](int slot) { return tovira::platform::ascii_upper(t1[slot]->text()); }, list, link});
    t1[kSlot]->set_text(kPosition);
    aurora.click(kSlot, balloons.new_click());
    // As the window's unload: the handover stops, the link ends, the program quits.
    if (quit) {
        sim.world(quit_at, [&] {
            window.set_unloaded();
            aurora.stop();
            link.cancel_all();
            sim.quit();
        });
    }
    sim.run_until(60'000);
    std::vector<std::string> reports;
    for (const auto& b : sim.balloons) reports.push_back(b.text);

    std::string all;
    for (const auto& c : sim.connections) all += c.sent;
    const std::vector<std::string> sent = lines_of(all);
    FUZZ_CHECK(sent.size() == sent_at.size());
    const std::vector<std::string> asked = {"#CONN", "#SELTFC", "#ATC"};
    for (std::size_t i = 0; i < sent.size() && i < asked.size(); ++i)
        FUZZ_CHECK(sent[i] == asked[i]);
    std::string callsign, transfer;
    for (std::size_t i = asked.size(); i < sent.size(); ++i) {
        if (i == asked.size()) {
            FUZZ_CHECK(sent[i].starts_with("#TRPOS;"));
            callsign = sent[i].substr(7);
            FUZZ_CHECK(tovira::valid_aurora_callsign(callsign));
            // Answers carry no request id: any bytes that came may hold it,
            // a line's parts from several chunks too, in the order they came.
            std::vector<std::pair<Millis, std::string>> came;
            for (std::size_t k = 0; k < sent_at.size() && k < kRequests; ++k) {
                for (const Chunk& c : answers[k]) came.push_back({sent_at[k] + c.after, c.bytes});
            }
            std::stable_sort(came.begin(), came.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            std::string arrived;
            for (const auto& c : came) arrived += c.second;
            FUZZ_CHECK(arrived.find("#SELTFC;" + callsign) != std::string::npos);
        } else if (i == asked.size() + 1) {
            transfer = sent[i];
            const std::string head = "#TRTR;" + callsign + ";";
            FUZZ_CHECK(transfer.starts_with(head) && transfer.back() == ';');
            const std::string station =
                transfer.substr(head.size(), transfer.size() - head.size() - 1);
            FUZZ_CHECK(tovira::valid_aurora_station(station));
            FUZZ_CHECK(ends_with_position(station));
        } else {
            FUZZ_CHECK(sent[i] == "#TRPOS;" + callsign);
            FUZZ_CHECK(i <= asked.size() + 1 + 5);
        }
    }
    if (quit) {
        for (const Millis t : sent_at) FUZZ_CHECK(t <= quit_at);
    } else {
        FUZZ_CHECK(!reports.empty());
    }
    FUZZ_CHECK(reports.size() <= 2);
    for (const std::string& r : reports) {
        if (!transfer.empty()) FUZZ_CHECK(!r.starts_with("Not sent"));
        if (transfer.empty())
            FUZZ_CHECK(!r.starts_with("sent to Aurora") && !r.starts_with("transferred"));
    }
    if (reports.size() == 2) FUZZ_CHECK(reports[0].ends_with("(confirming)"));
    FUZZ_CHECK(!aurora.busy());
    FUZZ_CHECK(link.pending() == 0);
    return 0;
}
