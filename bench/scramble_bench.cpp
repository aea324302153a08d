// The floor that the desktop backends are measured against: a click of "Do" on texts of
// several lengths, with every write mirrored, on the in-memory desktop. The clipboard keeps a
// copy of each text placed on it, as a real one must.
#include "tests/fake_desktop.h"
#include "window/form1.h"

#include <benchmark/benchmark.h>

namespace {

using kelvorin::Form1;
using kelvorin::testing::FakeDesktop;

std::u16string Letters(std::size_t length) {
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char16_t>(u'a' + i % 26);
    }
    return text;
}

void ScrambleAndMirror(benchmark::State& state) {
    FakeDesktop desktop;
    desktop.keepHistory = false;
    desktop.draws = {0.17f, 0.83f, 0.41f, 0.66f, 0.05f, 0.92f, 0.38f};
    Form1 form{desktop, desktop};
    desktop.onChange = [&] { form.TextBox1_Change(); };
    const std::u16string input = Letters(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        desktop.text = input;
        if (!form.Command1_Click()) {
            state.SkipWithError("the click failed");
        }
        benchmark::DoNotOptimize(desktop.clipboard.data());
    }
    state.counters["writes"] =
        static_cast<double>(desktop.Count(kelvorin::testing::Op::WriteText)) /
        static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(ScrambleAndMirror)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
