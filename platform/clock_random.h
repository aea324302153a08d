#pragma once

#include "platform/window_system.h"

#include <chrono>
#include <cstdint>
#include <random>

namespace kelvorin {

// Maps 32 random bits to a float in [0, 1). The top 24 bits fill the float's mantissa
// exactly, so the largest value is 1 - 2^-24 and 1.0 cannot come out, as it can from
// uniform_real_distribution<float> through rounding.
constexpr float UnitFloat(std::uint32_t bits) { return static_cast<float>(bits >> 8) * 0x1p-24f; }

// The random source of the scrambler: reseeded from the clock before each scramble.
// Both the wall clock and the steady clock go into the seed, so two clicks in the same
// tick of a coarse wall clock still get different orders.
template <class Engine> class ClockSeededRandom final : public RandomSource {
    static_assert(Engine::min() == 0 && Engine::max() == 0xFFFFFFFFu,
                  "the engine must give 32 random bits a draw");

  public:
    void SeedFromClock() override {
        const auto wall =
            static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
        const auto steady =
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::seed_seq seed{static_cast<std::uint32_t>(wall), static_cast<std::uint32_t>(wall >> 32),
                           static_cast<std::uint32_t>(steady),
                           static_cast<std::uint32_t>(steady >> 32)};
        engine_.seed(seed);
    }

    float Next() override { return UnitFloat(static_cast<std::uint32_t>(engine_())); }

  private:
    Engine engine_;
};

using ClockRandom = ClockSeededRandom<std::mt19937>;

} // namespace kelvorin
