#include "platform/clock_random.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelvorin {
namespace {

// An engine stuck at its largest value: the draw must still stay below 1.
struct MaxEngine {
    using result_type = std::uint32_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return 0xFFFFFFFFu; }
    result_type operator()() { return max(); }
    void seed(std::seed_seq&) {}
};

TEST(ClockRandomTest, DrawsStayInTheHalfOpenUnitInterval) {
    ClockSeededRandom<MaxEngine> stuck;
    stuck.SeedFromClock();
    EXPECT_LT(stuck.Next(), 1.0f);
    EXPECT_EQ(UnitFloat(0), 0.0f);
    EXPECT_EQ(UnitFloat(0xFFFFFFFFu), 1.0f - 0x1p-24f);

    ClockRandom random;
    random.SeedFromClock();
    float low = 1, high = 0;
    for (int i = 0; i < 100000; ++i) {
        const float r = random.Next();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        low = std::min(low, r);
        high = std::max(high, r);
    }
    EXPECT_LT(low, 0.001f);
    EXPECT_GT(high, 0.999f);
}

TEST(ClockRandomTest, SeedingTwiceInQuickSuccessionGivesDifferentSequences) {
    ClockRandom random;
    std::vector<std::vector<float>> sequences;
    for (int seeding = 0; seeding < 20; ++seeding) {
        random.SeedFromClock();
        std::vector<float> draws(4);
        for (float& draw : draws) {
            draw = random.Next();
        }
        sequences.push_back(draws);
    }
    for (std::size_t i = 1; i < sequences.size(); ++i) {
        EXPECT_NE(sequences[i], sequences[i - 1]) << "seeding " << i;
    }
}

} // namespace
} // namespace kelvorin
