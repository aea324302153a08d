#pragma once

// The floor that the clicks of "Do" are measured against, in the same run: the split, the swaps
// and one build of the result, in plain C++, with no box, no notification and no clipboard. A
// click can come near it only if no step of it copies the whole text. Plain C++, so that a
// benchmark without the benchmark library (the Windows one, cross-built) measures the same.
#include <cmath>
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

// One scramble of `input` into `result`; `slots` is the working state, kept between calls.
inline void FloorScramble(const std::u16string& input, std::vector<std::u16string>& slots,
                          std::u16string& result) {
    const std::size_t n = input.size();
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
}

} // namespace kelvorin::bench
