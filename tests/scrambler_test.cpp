#include "fake_desktop.h"
#include "scrambler/scrambler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace kelvorin::testing {
namespace {

class ScrambleTextTest : public ::testing::Test {
  protected:
    std::vector<std::u16string> Scramble(std::u16string text, std::vector<float> draws = {0.0f}) {
        desktop.text = std::move(text);
        desktop.draws = std::move(draws);
        desktop.writes.clear();
        scrambler.ScrambleText(desktop, desktop);
        return desktop.writes;
    }

    FakeDesktop desktop;
    Scrambler scrambler;
};

TEST_F(ScrambleTextTest, WorkedExampleWritesEmptyThenEachPrefix) {
    EXPECT_EQ(Scramble(u"abcd", {0.9f, 0.1f, 0.5f, 0.0f}),
              (std::vector<std::u16string>{u"", u"d", u"da", u"dac", u"dacb"}));
    EXPECT_EQ(desktop.text, u"dacb");
}

TEST_F(ScrambleTextTest, ReadsPerSlotSeedsOnceAndDrawsBeforeEachLengthRead) {
    Scramble(u"abc");
    using enum Op;
    // clang-format off
    const std::vector<Op> expected{
        ReadText,                                   // the length
        ReadText, ReadText, ReadText,               // the split, a read per slot
        SeedFromClock,                              // once, after the split
        NextRandom, ReadText,                       // each draw comes before the length is read
        NextRandom, ReadText,
        NextRandom, ReadText,
        WriteText,                                  // the empty text
        ReadText, WriteText,                        // then one slot longer each time
        ReadText, WriteText,
        ReadText, WriteText};
    // clang-format on
    EXPECT_EQ(desktop.calls, expected);
}

TEST_F(ScrambleTextTest, ShortTexts) {
    EXPECT_EQ(Scramble(u""), std::vector<std::u16string>{u""}) << "one write, of the empty text";
    EXPECT_EQ(desktop.Count(Op::NextRandom), 0u);
    EXPECT_EQ(Scramble(u"x", {0.99f}), (std::vector<std::u16string>{u"", u"x"}));
    for (float first : {0.0f, 0.5f, 0.999f}) {
        for (float second : {0.0f, 0.5f, 0.999f}) {
            Scramble(u"ab", {first, second});
            EXPECT_EQ(desktop.text, u"ba") << first << ", " << second;
        }
    }
}

TEST_F(ScrambleTextTest, ThreeLettersGiveEachReachableOrderOnceInFourAndNeverEndInC) {
    // Under a uniform source each swap position is 1 or 2 with probability 1/2, so the eight
    // combinations of the three draws are equally likely.
    std::map<std::u16string, int> outcomes;
    for (float first : {0.25f, 0.75f}) {
        for (float second : {0.25f, 0.75f}) {
            for (float third : {0.25f, 0.75f}) {
                Scramble(u"abc", {first, second, third});
                ++outcomes[desktop.text];
            }
        }
    }
    EXPECT_EQ(outcomes,
              (std::map<std::u16string, int>{{u"acb", 2}, {u"bca", 2}, {u"cab", 2}, {u"cba", 2}}));
}

// Builds random texts of letters, repeated letters, surrogate pairs and lone surrogates.
std::u16string RandomText(std::mt19937& engine, std::size_t length) {
    static constexpr char16_t kUnits[] = {u'a', u'a', u'b', u' ', u'\u00E9', u'\u4E2D'};
    std::u16string text;
    std::uniform_int_distribution<int> pick(0, 9);
    while (text.size() < length) {
        const int kind = pick(engine);
        if (kind < 6) {
            text += kUnits[kind];
        } else if (kind < 9) {
            text += u"\U0001F600"; // a well-formed pair
        } else {
            text += kind % 2 ? char16_t{0xD83D} : char16_t{0xDE00}; // a lone half
        }
    }
    return text;
}

std::vector<std::u16string> Characters(const std::u16string& text) {
    std::vector<std::u16string> chars;
    for (std::size_t at = 0; at < text.size();) {
        const bool pair = at + 1 < text.size() && text[at] >= 0xD800 && text[at] <= 0xDBFF &&
                          text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF;
        chars.push_back(text.substr(at, pair ? 2 : 1));
        at += pair ? 2 : 1;
    }
    std::sort(chars.begin(), chars.end());
    return chars;
}

TEST_F(ScrambleTextTest, ResultIsAPermutationOfTheCharactersAndPairsStayWhole) {
    std::mt19937 engine(12345);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 300; ++round) {
        const std::u16string input = RandomText(engine, round % 40);
        std::vector<float> draws(8);
        for (float& draw : draws) {
            draw = std::min(static_cast<float>(unit(engine)), std::nextafter(1.0f, 0.0f));
        }
        const auto writes = Scramble(input, draws);
        ASSERT_EQ(Characters(desktop.text), Characters(input)) << "round " << round;
        ASSERT_EQ(writes.size(), Characters(input).size() + 1);
        for (std::size_t i = 1; i < writes.size(); ++i) {
            ASSERT_EQ(writes[i].substr(0, writes[i - 1].size()), writes[i - 1]);
        }
    }
}

TEST_F(ScrambleTextTest, LongestTextInRangeScramblesAndLongerIsRefusedUntouched) {
    desktop.keepHistory = false;
    std::u16string fits;
    for (std::size_t i = 0; i < Scrambler::kMaxSlots; ++i) {
        fits += static_cast<char16_t>(u'a' + i % 26);
    }
    Scramble(fits, {std::nextafter(1.0f, 0.0f), 0.5f});
    EXPECT_EQ(Characters(desktop.text), Characters(fits));
    EXPECT_EQ(desktop.Count(Op::WriteText), Scrambler::kMaxSlots + 1);

    // As many surrogate pairs also fit: they are that many slots, not twice as many.
    std::u16string pairs;
    for (std::size_t i = 0; i < Scrambler::kMaxSlots; ++i) {
        pairs += i % 2 ? u"\U0001F600" : u"\U0001F680";
    }
    Scramble(pairs, {0.3f, 0.99f});
    EXPECT_EQ(Characters(desktop.text), Characters(pairs));

    const std::u16string tooLong(Scrambler::kMaxSlots + 1, u'z');
    const std::size_t writesBefore = desktop.Count(Op::WriteText);
    desktop.text = tooLong;
    EXPECT_THROW(scrambler.ScrambleText(desktop, desktop), std::length_error);
    EXPECT_EQ(desktop.text, tooLong);
    EXPECT_EQ(desktop.Count(Op::WriteText), writesBefore);
}

TEST_F(ScrambleTextTest, BrokenRandomValueIsRefusedBeforeTheBoxIsTouched) {
    for (float bad : {2.0f, -0.5f, std::numeric_limits<float>::quiet_NaN()}) {
        desktop.text = u"abcd";
        desktop.draws = {bad};
        EXPECT_THROW(scrambler.ScrambleText(desktop, desktop), PlatformError);
        EXPECT_EQ(desktop.text, u"abcd");
    }
}

TEST_F(ScrambleTextTest, FailingWriteMidwayPutsTheTextBack) {
    for (std::size_t failAt : {0u, 1u, 3u}) {
        FakeDesktop box;
        box.text = u"abcdef";
        box.Fail(Op::WriteText, failAt, 1);
        EXPECT_THROW(scrambler.ScrambleText(box, box), PlatformError);
        EXPECT_EQ(box.text, u"abcdef") << "failing write " << failAt;
    }
    FakeDesktop box;
    box.text = u"abcdef";
    box.Fail(Op::ReadText, 14, 1); // the second read of the rebuild pass
    EXPECT_THROW(scrambler.ScrambleText(box, box), PlatformError);
    EXPECT_EQ(box.text, u"abcdef");
}

} // namespace
} // namespace kelvorin::testing
