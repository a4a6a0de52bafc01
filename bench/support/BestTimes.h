// Console reporter that also keeps, per benchmark, the best wall and CPU seconds per iteration over its
// repetitions (--benchmark_repetitions): on a shared machine the best run is the one least disturbed.
#pragma once

#include <benchmark/benchmark.h>
#include <map>
#include <string>

namespace kvxbench {

class BestTimes : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds, cpuSeconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.iterations > 0 && r.run_type == Run::RT_Iteration) {
                const std::string name = r.run_name.str();
                keepBest(seconds, name, r.real_accumulated_time / double(r.iterations));
                keepBest(cpuSeconds, name, r.cpu_accumulated_time / double(r.iterations));
            }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    static void keepBest(std::map<std::string, double>& m, const std::string& name, double t) {
        auto [it, added] = m.emplace(name, t);
        if (!added && t < it->second) it->second = t;
    }
};

} // namespace kvxbench
