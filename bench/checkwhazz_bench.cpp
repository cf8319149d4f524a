// The online check over a large generated status file, against one plain
// pass over the same bytes. Prints both times and their ratio.
//
//   cmake --preset bench && cmake --build --preset bench && build/bench/bench/tovira_bench

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "backends/sim/sim_platform.h"
#include "bench/ratio_reporter.h"
#include "monitor/status_parser.h"

namespace {

constexpr int kClients = 15000;

struct Scenario {
    std::string text;
    std::vector<std::string> positions;  // thirty
};

// A status file of realistic client records: mostly pilots with flight plans
// and routes, some controllers with ATIS text. Of the thirty positions,
// twenty are online somewhere, nine are not and one is the very last record.
Scenario make_scenario() {
    std::mt19937 rng(20261207);
    auto pick = [&](const std::vector<std::string>& v) -> const std::string& {
        return v[rng() % v.size()];
    };
    auto number = [&](int lo, int hi) {
        return std::to_string(lo + static_cast<int>(rng() % (hi - lo + 1)));
    };
    const std::vector<std::string> airports = {
        "EDDF", "EDDM", "EDDT", "EDDH", "EDDL", "EDDK", "EDDS", "EDDW", "EGLL", "EGKK", "LFPG",
        "LFPO", "EHAM", "EBBR", "LOWW", "LSZH", "LEMD", "LEBL", "LIRF", "LIMC", "EKCH", "ESSA",
        "ENGM", "EFHK", "EPWA", "LKPR", "LHBP", "LROP", "LGAV", "LTFM", "KJFK", "KLAX", "KORD",
        "CYYZ", "SBGR", "FAOR", "OMDB", "VHHH", "RJTT", "YSSY", "WSSS", "ZBAA", "UUEE", "EIDW"};
    const std::vector<std::string> suffixes = {"TWR", "GND", "APP", "DEL", "DEP", "CTR", "ATIS"};
    const std::vector<std::string> airlines = {"DLH", "BAW", "AFR", "KLM", "EZY", "RYR", "UAE",
                                               "AAL", "SWR", "AUA", "SAS", "IBE", "THY", "EWG"};
    const std::vector<std::string> types = {"B738", "A320", "A321", "B77W", "A388", "E190",
                                            "CRJ9", "B744", "A359", "C172", "DH8D", "AT76"};
    const std::vector<std::string> first = {"Anna", "Jonas", "Marie", "Luca", "Sofia", "Noah",
                                            "Emma", "Jan",   "Clara", "Paul", "Lena",  "Felix"};
    const std::vector<std::string> last = {"Schmidt", "Rossi", "Dubois", "Jansen", "Novak",
                                           "Garcia",  "Berg",  "Moreau", "Keller", "Silva"};
    const std::vector<std::string> fixes = {"ANEKI", "TOBAK", "RASVO", "KERAX", "UNOKO", "GIBSA",
                                            "BOMBI", "DOMUX", "SUGOL", "LAMSO", "NATOR", "OSMAX"};
    const std::vector<std::string> airways = {"UL607", "UN850", "L984", "T180", "UZ29", "Y101"};

    auto name = [&] { return pick(first) + " " + pick(last) + " " + pick(airports); };
    auto frequency = [&] {
        std::string f = "1";
        f += number(18, 35);
        f += '.';
        f += number(0, 9);
        f += number(0, 9);
        f += '5';
        return f;
    };
    auto atc = [&](const std::string& callsign) {
        return callsign + ":" + number(100000, 699999) + ":" + name() + ":ATC:" + frequency() +
               ":" + number(-60, 60) + "." + number(1000, 9999) + ":" + number(-120, 120) + "." +
               number(1000, 9999) + ":0:0::::::EU" + number(1, 20) + ":B:" + number(2, 10) +
               "::" + number(2, 6) + ":" + number(20, 400) + "::::::::::::::Information " +
               pick(fixes) + " recorded at " + number(1000, 2359) + "z, runway in use " +
               number(1, 36) + ":" + number(10, 23) + number(10, 59) + ":20261207" +
               number(100000, 235959) + ":IvAc:2.0.2:6:1:::::::::\r\n";
    };
    auto pilot = [&] {
        std::string route;
        for (int k = 0, n = 4 + static_cast<int>(rng() % 10); k < n; ++k) {
            route += (k % 2 ? pick(airways) : pick(fixes)) + " ";
        }
        return pick(airlines) + number(1, 9999) + ":" + number(100000, 699999) + ":" + name() +
               ":PILOT::" + number(-60, 60) + "." + number(100000, 999999) + ":" +
               number(-170, 170) + "." + number(100000, 999999) + ":" + number(0, 41000) + ":" +
               number(0, 520) + ":1/" + pick(types) + "/M-SDFGRWY/S:" + number(100, 490) + ":" +
               pick(airports) + ":FL" + number(100, 410) + ":" + pick(airports) + ":EU" +
               number(1, 20) + ":B:1:" + number(1000, 7777) + ":0:0:1:I:" + number(600, 2300) +
               ":0:" + number(0, 12) + ":" + number(0, 59) + ":" + number(1, 14) + ":" +
               number(0, 59) + ":" + pick(airports) + ":PBN/A1B1C1D1L1O1S1 DOF/261207 REG/D" +
               pick(airlines) + " EET/EDUU0012 OPR/" + pick(airlines) +
               " SEL/ACFK CODE/3C4A1B RMK/TCAS SIMBRIEF:" + route + ":20261207" +
               number(100000, 235959) + ":IvAp:2.0.2:6:0:S:" + number(1, 400) + ":" +
               number(0, 359) + ":0:11:" + pick(types) + ":\r\n";
    };

    Scenario s;
    std::vector<std::string> online;
    for (int k = 0; k < 20; ++k) online.push_back(airports[k] + "_" + suffixes[k % 6]);
    for (int k = 0; k < 9; ++k)
        s.positions.push_back("XQ" + std::string(1, char('A' + k)) + "A_TWR");
    const std::string last_station = "EIDW_N_CTR";
    for (const auto& p : online) s.positions.push_back(p);
    s.positions.push_back(last_station);
    std::shuffle(s.positions.begin(), s.positions.end(), rng);

    // Where each online position appears among the records.
    std::map<int, std::string> placed;
    for (const auto& p : online) {
        int at = static_cast<int>(rng() % (kClients - 1));
        while (placed.count(at)) at = (at + 1) % (kClients - 1);
        placed[at] = p;
    }
    s.text =
        "!GENERAL\r\nVERSION = 1\r\nRELOAD = 1\r\nUPDATE = 20261207120000\r\nCONNECTED CLIENTS = " +
        std::to_string(kClients) + "\r\n!CLIENTS\r\n";
    for (int k = 0; k < kClients - 1; ++k) {
        if (auto it = placed.find(k); it != placed.end()) {
            s.text += atc(it->second);
        } else if (rng() % 100 < 12) {
            // Other controllers, never one of the thirty.
            s.text += atc(pick(airports) + "_" + pick(suffixes).substr(0, 2) + "X");
        } else {
            s.text += pilot();
        }
    }
    s.text += atc(last_station);
    return s;
}

const Scenario& scenario() {
    static const Scenario s = make_scenario();
    return s;
}

void BM_PlainPass(benchmark::State& state) {
    const std::string& text = scenario().text;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::count(text.begin(), text.end(), ':'));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_KeySearch(benchmark::State& state) {
    const Scenario& s = scenario();
    std::vector<std::string> keys;
    for (const auto& p : s.positions) keys.push_back(p + ":");
    for (auto _ : state) {
        benchmark::DoNotOptimize(tovira::KeySearch(keys).find_first(s.text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.text.size()));
}

void BM_Checkwhazz(benchmark::State& state) {
    const Scenario& s = scenario();
    tovira::sim::SimPlatform sim;
    tovira::Form1 form(sim);
    for (int i = 0; i < tovira::kSlotCount; ++i) form.t1[i]->set_text(s.positions[i]);
    form.monitor.whazztext = s.text;
    for (auto _ : state) {
        form.checkwhazz();
    }
    int online = 0;
    for (int i = 0; i < tovira::kSlotCount; ++i) online += form.slotactive[i];
    state.counters["online"] = online;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.text.size()));
}

BENCHMARK(BM_PlainPass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeySearch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Checkwhazz)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const Scenario& s = scenario();
    std::printf("status file: %zu bytes, %d clients, %zu positions\n", s.text.size(), kClients,
                s.positions.size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto plain = reporter.micros.find("BM_PlainPass");
    if (plain == reporter.micros.end() || plain->second <= 0) return 0;
    for (const char* name : {"BM_KeySearch", "BM_Checkwhazz"}) {
        const auto it = reporter.micros.find(name);
        if (it == reporter.micros.end()) continue;
        std::printf(
            "%s: %.1f us CPU, plain pass (std::count ':'): %.1f us CPU, ratio %.2f (goal <= 4)\n",
            name, it->second, plain->second, it->second / plain->second);
    }
    return 0;
}
