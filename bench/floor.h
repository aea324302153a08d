#pragma once

// The floor that the clicks of "Do" are measured against, in the same run: the split, the swaps
// and one build of the result, in plain C++, with no box, no notification and no clipboard. A
// click can come near it only if no step of it copies the whole text. Also the report that sets
// each figure beside the floor.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kelvorin::bench {

// Letters a to z over and over: the text every benchmark scrambles.
inline std::u16string Letters(std::size_t length) {
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char16_t>(u'a' + i % 26);
    }
    return text;
}

// The draws every benchmark uses, over and over.
inline const std::vector<float> kDraws{0.17f, 0.83f, 0.41f, 0.66f, 0.05f, 0.92f, 0.38f};

inline void Floor(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::u16string input = Letters(n);
    std::vector<std::u16string> slots;
    std::u16string result;
    for (auto _ : state) {
        slots.assign(n + 1, std::u16string());
        for (std::size_t i = 1; i <= n; ++i) {
            slots[i].assign(1, input[i - 1]);
        }
        const double m = static_cast<double>(n) - 1.0;
        for (std::size_t i = 1; i <= n; ++i) {
            const double r = kDraws[i % kDraws.size()];
            std::swap(slots[i], slots[static_cast<std::size_t>(std::floor(r * m)) + 1]);
        }
        result.clear();
        for (std::size_t i = 1; i <= n; ++i) {
            result += slots[i];
        }
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
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
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
    std::map<std::string, std::map<std::string, double>> times_;
    std::vector<std::pair<std::string, std::string>> order_;
};

} // namespace kelvorin::bench
