// Keeps the time per iteration of every run, so that a benchmark can print
// its ratios against the plain pass at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> micros;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
                // Processor time: steadier than wall time on a shared machine.
                micros[r.benchmark_name()] =
                    r.GetAdjustedCPUTime() * 1e6 / benchmark::GetTimeUnitMultiplier(r.time_unit);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};
