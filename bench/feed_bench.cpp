// The current feed's conversion and the matching of thirty positions against
// its records, over documents made by repeating the sample's clients with
// new callsigns, against one std::count pass over the same bytes. Prints the
// times and their ratio, the heap the conversion takes beyond the document,
// and the longest stretch without an event-loop pass for a document at the
// size cap. Figures only; no timed assertion.
//
//   cmake --preset bench && cmake --build --preset bench && build/bench/bench/tovira_feed_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "backends/sim/sim_platform.h"
#include "bench/ratio_reporter.h"
#include "monitor/feed.h"

// ---- heap accounting: every allocation of this program -------------------------------------

namespace {
constexpr std::size_t kHeader = 16;  // keeps the alignment of new
std::size_t g_live = 0;
std::size_t g_peak = 0;
std::size_t g_total = 0;

void* counted_alloc(std::size_t n) {
    auto* p = static_cast<unsigned char*>(std::malloc(n + kHeader));
    if (!p) throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(p) = n;
    g_live += n;
    g_total += n;
    g_peak = std::max(g_peak, g_live);
    return p + kHeader;
}
void counted_free(void* q) noexcept {
    if (!q) return;
    auto* p = static_cast<unsigned char*>(q) - kHeader;
    g_live -= *reinterpret_cast<std::size_t*>(p);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
    return counted_alloc(n);
}
void* operator new[](std::size_t n) {
    return counted_alloc(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return counted_alloc(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return counted_alloc(n);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    counted_free(p);
}
void operator delete[](void* p) noexcept {
    counted_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    counted_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    counted_free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    counted_free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    counted_free(p);
}

namespace {

using nlohmann::ordered_json;

// The thirty positions: twenty that the document has, nine it has not, and
// the very last client.
struct Scenario {
    std::string json;
    std::size_t clients = 0;
    std::vector<std::string> positions;
};

std::string read_sample() {
    std::ifstream in(std::string(TOVIRA_SOURCE_DIR) + "/tests/data/whazzup-v2-sample.json",
                     std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Repeats the sample's clients, list by list in turn, each copy with a new
// callsign, until `clients` clients or `min_bytes` bytes are reached.
Scenario make_scenario(std::size_t clients, std::size_t min_bytes = 0) {
    const ordered_json sample = ordered_json::parse(read_sample());
    ordered_json doc = sample;
    ordered_json& lists = doc["clients"];
    for (auto& [name, list] : lists.items()) list = ordered_json::array();
    std::vector<std::pair<std::string, const ordered_json*>> pattern;
    for (const auto& [name, list] : sample["clients"].items()) {
        for (const ordered_json& c : list) pattern.emplace_back(name, &c);
    }
    Scenario s;
    std::size_t bytes = 0;
    std::vector<std::string> atc_callsigns;
    for (std::size_t k = 0; k < clients || bytes < min_bytes; ++k) {
        const auto& [name, client] = pattern[k % pattern.size()];
        ordered_json c = *client;
        const std::string callsign = c["callsign"].get<std::string>() + "_" + std::to_string(k);
        c["callsign"] = callsign;
        c["userId"] = 500000 + static_cast<int>(k % 400000);
        c["id"] = 9000000 + static_cast<int>(k);
        if (name == "atcs") atc_callsigns.push_back(callsign);
        bytes += c.dump().size() + 1;
        lists[name].push_back(std::move(c));
        ++s.clients;
    }
    s.json = doc.dump();
    for (int k = 0; k < 20; ++k) {
        s.positions.push_back(atc_callsigns[(atc_callsigns.size() * (k + 1)) / 23]);
    }
    for (int k = 0; k < 9; ++k)
        s.positions.push_back("XQ" + std::string(1, char('A' + k)) + "_TWR");
    s.positions.push_back(lists["observers"].back()["callsign"].get<std::string>());
    return s;
}

const Scenario& scenario(std::size_t clients) {
    static std::map<std::size_t, Scenario> cache;
    auto it = cache.find(clients);
    if (it == cache.end()) it = cache.emplace(clients, make_scenario(clients)).first;
    return it->second;
}

void BM_PlainPass(benchmark::State& state) {
    const std::string& json = scenario(static_cast<std::size_t>(state.range(0))).json;
    for (auto _ : state) benchmark::DoNotOptimize(std::count(json.begin(), json.end(), ':'));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}

void BM_Convert(benchmark::State& state) {
    const std::string& json = scenario(static_cast<std::size_t>(state.range(0))).json;
    tovira::sim::SimPlatform sim;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tovira::convert_feed(json, sim.loc, [&](std::size_t) {
            sim.do_events();
            return true;
        }));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}

// What an update does with the feed: conversion (with an event-loop pass
// per slice), then the matching of the thirty positions.
void BM_ConvertAndMatch(benchmark::State& state) {
    const Scenario& s = scenario(static_cast<std::size_t>(state.range(0)));
    tovira::sim::SimPlatform sim;
    tovira::Form1 form(sim);
    for (int i = 0; i < tovira::kSlotCount; ++i) form.t1[i]->set_text(s.positions[i]);
    for (auto _ : state) {
        form.monitor.whazztext = *tovira::convert_feed(s.json, sim.loc, [&](std::size_t) {
            sim.do_events();
            return true;
        });
        form.checkwhazz();
    }
    int online = 0;
    for (int i = 0; i < tovira::kSlotCount; ++i) online += form.slotactive[i];
    state.counters["online"] = online;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.json.size()));
}

constexpr std::int64_t kFiveMegabytes = 8600;  // clients: about 5 MB
constexpr std::int64_t kFifteenThousand = 15000;

BENCHMARK(BM_PlainPass)->Arg(kFiveMegabytes)->Arg(kFifteenThousand)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Convert)->Arg(kFiveMegabytes)->Arg(kFifteenThousand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertAndMatch)
    ->Arg(kFiveMegabytes)
    ->Arg(kFifteenThousand)
    ->Unit(benchmark::kMillisecond);

// Heap taken by one conversion of `json`: bytes still held and the peak
// above what was held before, and all bytes asked for on the way.
void print_heap(const Scenario& s) {
    tovira::sim::SimPlatform sim;
    const std::size_t base = g_live;
    g_peak = g_live;
    const std::size_t total0 = g_total;
    std::optional<std::string> out = tovira::convert_feed(s.json, sim.loc, [&](std::size_t) {
        sim.do_events();
        return true;
    });
    const std::size_t peak = g_peak - base;
    const std::size_t total = g_total - total0;
    std::printf(
        "heap, %zu clients, document %zu bytes: records %zu bytes; peak beyond the document %zu "
        "bytes (%.2f of its size), all allocations %zu bytes (%.2f) (goal <= 1.00)\n",
        s.clients, s.json.size(), out ? out->size() : 0, peak,
        static_cast<double>(peak) / static_cast<double>(s.json.size()), total,
        static_cast<double>(total) / static_cast<double>(s.json.size()));
}

// The longest time between two event-loop passes while a document at the
// size cap is converted, and the matching's time on its records.
void print_longest_slice(const char* what, const std::string& json) {
    using Clock = std::chrono::steady_clock;
    tovira::sim::SimPlatform sim;
    tovira::Form1 form(sim);
    for (int i = 0; i < tovira::kSlotCount; ++i) form.t1[i]->set_text("XQ_TWR" + std::to_string(i));
    Clock::time_point last = Clock::now();
    const Clock::time_point start = last;
    double longest = 0;
    std::size_t passes = 0;
    std::optional<std::string> out = tovira::convert_feed(json, sim.loc, [&](std::size_t) {
        const Clock::time_point now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        ++passes;
        sim.do_events();
        return true;
    });
    const double total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    double match = 0;
    if (out) {
        form.monitor.whazztext = std::move(*out);
        const Clock::time_point m0 = Clock::now();
        form.checkwhazz();
        match = std::chrono::duration<double, std::milli>(Clock::now() - m0).count();
    }
    std::printf(
        "%s, %zu bytes: %s, %zu passes, longest without a pass %.2f ms, whole conversion %.0f "
        "ms, matching its records %.2f ms (goal: each < 100 ms)\n",
        what, json.size(), out ? "converted" : "refused", passes, longest, total, match);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (std::int64_t n : {kFiveMegabytes, kFifteenThousand}) {
        const Scenario& s = scenario(static_cast<std::size_t>(n));
        std::printf("document: %zu clients, %zu bytes, %zu positions\n", s.clients, s.json.size(),
                    s.positions.size());
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (std::int64_t n : {kFiveMegabytes, kFifteenThousand}) {
        std::string arg = std::to_string(n);
        arg.insert(arg.begin(), '/');
        const auto plain = reporter.micros.find("BM_PlainPass" + arg);
        if (plain == reporter.micros.end() || plain->second <= 0) continue;
        for (const char* name : {"BM_Convert", "BM_ConvertAndMatch"}) {
            const auto it = reporter.micros.find(name + arg);
            if (it == reporter.micros.end()) continue;
            std::printf(
                "%s%s: %.0f us CPU, plain pass (std::count ':'): %.0f us CPU, ratio %.1f (goal <= "
                "50)\n",
                name, arg.c_str(), it->second, plain->second, it->second / plain->second);
        }
    }
    for (std::int64_t n : {kFiveMegabytes, kFifteenThousand}) {
        print_heap(scenario(static_cast<std::size_t>(n)));
    }
    const Scenario at_cap = make_scenario(0, tovira::kMaxFeedBytes - 64 * 1024);
    print_longest_slice("feed at the size cap", at_cap.json);
    const std::size_t half = tovira::kMaxFeedBytes / 2;
    print_longest_slice("nesting at the size cap", std::string(half, '[') + std::string(half, ']'));
    return 0;
}
