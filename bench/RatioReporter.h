// A console reporter that also keeps each benchmark's figure, so the reference-to-production
// ratios can be printed after the run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Prints as usual and keeps each benchmark's CPU time (the median when repeated): on a shared
// machine CPU time is the steadier figure.
class TRatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            Times[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
    }
    // "ratio (CPU time) reference / production: r", when both ran.
    void PrintRatio(const std::string& production, const std::string& reference) const {
        const auto p = Times.find(production), r = Times.find(reference);
        if (p == Times.end() || r == Times.end() || p->second <= 0) return;
        std::printf("ratio (CPU time) %s / %s: %.1f\n", reference.c_str(), production.c_str(),
                    r->second / p->second);
    }
    std::map<std::string, double> Times;
};
