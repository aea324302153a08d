// A click of "Do" through the whole core (the window host, Form1, the scrambler, every write
// notified and mirrored) on a toolkit in memory, beside the floor.
#include "bench/floor.h"
#include "platform/toolkit.h"
#include "window/window_host.h"

namespace {

using kelvorin::Extent;
using kelvorin::Text;

// A widget and a clipboard in memory: each update copies the text, as a real one would.
class MemoryToolkit final : public kelvorin::Toolkit {
  public:
    std::u16string shown;
    std::u16string clipboard;
    long long claims = 0;

    void ShowText(Text text) override { shown.assign(text); }
    void SetClipboardText(Text text, kelvorin::History) override {
        clipboard.assign(text);
        ++claims;
    }
    void ClearClipboard() override { clipboard.clear(); }
    void TakeFocus() override {}
    float ReadWindow(Extent) override { return 0; }
    void WriteWindow(Extent, float) override {}
    float ReadScreenWidth() override { return 0; }
    void EndProgram() override {}
};

// The benchmark's draws, over and over, whatever the seed.
class FixedDraws final : public kelvorin::RandomSource {
  public:
    void SeedFromClock() override {}
    float Next() override {
        return kelvorin::bench::kDraws[next_++ % kelvorin::bench::kDraws.size()];
    }

  private:
    std::size_t next_ = 0;
};

void CoreClick(benchmark::State& state) {
    MemoryToolkit toolkit;
    FixedDraws random;
    kelvorin::WindowHost host{toolkit, random};
    const std::u16string input = kelvorin::bench::Letters(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        host.Edited(input); // as a paste would
        const long long before = toolkit.claims;
        state.ResumeTiming();
        host.Clicked();
        if (toolkit.claims != before + 1 || toolkit.clipboard != toolkit.shown ||
            toolkit.shown.size() != input.size()) {
            state.SkipWithError("the click did not end in one update of each");
        }
    }
}

} // namespace

BENCHMARK(kelvorin::bench::Floor)
    ->Name("Floor")
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(CoreClick)->Arg(1000)->Arg(10000)->Arg(32767)->Unit(benchmark::kMillisecond);

int main(int argc, char* argv[]) {
    benchmark::Initialize(&argc, argv);
    kelvorin::bench::AddCacheContext();
    kelvorin::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
