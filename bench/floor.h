#pragma once

// The floor that the desktop backends are measured against: a click of "Do" on the in-memory
// desktop, with every write mirrored and the clipboard keeping a copy of each text placed on
// it, as a real one must. Shared so that each backend's benchmark measures it in the same run.
#include "tests/fake_desktop.h"
#include "window/form1.h"

#include <benchmark/benchmark.h>

#include <string>

namespace kelvorin::bench {

// Letters a to z over and over: the text every benchmark scrambles.
inline std::u16string Letters(std::size_t length) {
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char16_t>(u'a' + i % 26);
    }
    return text;
}

// Times clicks of "Do" on a text of state.range(0) letters.
inline void FloorClick(benchmark::State& state) {
    testing::FakeDesktop desktop;
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
    state.counters["writes"] = static_cast<double>(desktop.Count(testing::Op::WriteText)) /
                               static_cast<double>(state.iterations());
}

} // namespace kelvorin::bench
