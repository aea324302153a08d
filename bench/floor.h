#pragma once

// The floor as a benchmark of the benchmark library, and the report that sets each figure beside
// the floor.
#include "bench/floor_scramble.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kelvorin::bench {

inline void Floor(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::u16string input = Letters(n);
    std::vector<std::u16string> slots;
    std::u16string result;
    for (auto _ : state) {
        FloorScramble(input, slots, result);
        benchmark::DoNotOptimize(result.data());
    }
}

// The L2 cache, where the library cannot read it (no /sys/devices/system/cpu/*/cache): the
// figures of a text copied once per write depended on it.
inline void AddCacheContext() {
#ifdef _SC_LEVEL2_CACHE_SIZE
    const long bytes = sysconf(_SC_LEVEL2_CACHE_SIZE);
    if (bytes > 0) {
        benchmark::AddCustomContext("l2_cache", std::to_string(bytes / 1024) + " KiB");
    }
#endif
}

// Prints the usual table, then each figure against the floor at the same length and how it
// grows from 10,000 characters to 32,767.
class RatioReporter final : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {} // no colours: the figures go into files

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !Failed(run)) {
                const double seconds =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
                times_[run.run_name.function_name][run.run_name.args] = seconds;
                order_.emplace_back(run.run_name.function_name, run.run_name.args);
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto& floor = times_["Floor"];
        std::printf("\n%-28s %12s %10s %14s\n", "", "time (ms)", "x floor", "x at 10,000");
        for (const auto& [name, args] : order_) {
            const double seconds = times_[name][args];
            std::printf("%-28s %12.3f", (args.empty() ? name : name + "/" + args).c_str(),
                        seconds * 1e3);
            const auto base = floor.find(args);
            if (name != "Floor" && base != floor.end()) {
                std::printf(" %10.1f", seconds / base->second);
            } else {
                std::printf(" %10s", "");
            }
            const auto shorter = times_[name].find("10000");
            if (args == "32767" && shorter != times_[name].end()) {
                std::printf(" %14.1f", seconds / shorter->second);
            }
            std::printf("\n");
        }
    }

  private:
    // Google Benchmark 1.8 replaced a run's error_occurred with skipped.
    template <class R> static bool Failed(const R& run) {
        if constexpr (requires { run.skipped; }) {
            return static_cast<bool>(run.skipped);
        } else {
            return run.error_occurred;
        }
    }

    std::map<std::string, std::map<std::string, double>> times_;
    std::vector<std::pair<std::string, std::string>> order_;
};

} // namespace kelvorin::bench
