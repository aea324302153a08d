#include "invariants.h"
#include "platform/clock_random.h"
#include "scrambler/scrambler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

namespace kelvorin::testing {
namespace {

// Runs made from seeded random bytes; a failure names its seed, and KELVORIN_SEED=N starts there.
TEST(PropertyTest, InvariantsHoldOnRandomTextsDrawsFailuresAndWindows) {
    const char* given = std::getenv("KELVORIN_SEED");
    const unsigned long first = given != nullptr ? std::stoul(given) : 1;
    static std::string run; // named on a crash: a failure that escaped Form1, or an endless loop
    const auto previous = std::set_terminate([] {
        std::fprintf(stderr, "crashed in %s\n", run.c_str());
        std::abort();
    });
    for (unsigned long seed = first; seed < first + 500; ++seed) {
        run = "KELVORIN_SEED=" + std::to_string(seed);
        std::mt19937 engine(static_cast<std::uint32_t>(seed));
        // One run in a hundred at about the box's limit of 32,767 code units.
        std::vector<std::uint8_t> bytes(seed % 100 == 0 ? 29000 + engine() % 400 : engine() % 80);
        std::generate(bytes.begin(), bytes.end(), [&] { return std::uint8_t(engine()); });
        ASSERT_EQ(Check(Scenario(bytes.data(), bytes.size())), "") << run;
    }
    std::set_terminate(previous);
}

// The outcomes that the draws fix; a draw outside [0, 1), or more characters than a scramble
// takes, stops the click before the first write.
TEST(ScrambleTextTest, WritesTheEmptyTextThenEachPrefixOfTheResult) {
    const struct {
        std::u16string text;
        std::vector<float> draws;
        std::vector<std::u16string> writes;
    } rows[] = {
        {u"abcd", {0.9f, 0.1f, 0.5f, 0.0f}, {u"", u"d", u"da", u"dac", u"dacb"}},
        {u"abcd", {2.0f}, {}},
        {u"abcd", {-0.5f}, {}},
        {u"abcd", {NAN}, {}},
        {std::u16string(Scrambler::kMaxSlots + 1, u'a'), {0.0f}, {}},
    };
    for (const auto& row : rows) {
        FakeDesktop box;
        box.text = row.text, box.draws = row.draws;
        Form1{box, box}.Command1_Click();
        EXPECT_EQ(box.writes, row.writes) << "row " << &row - rows;
    }
}

// A line of Unicode's test files as UTF-16, and the breaks it marks with a '\u00F7', in code units.
std::u16string FromTestLine(const std::string& line, std::vector<std::size_t>& breaks) {
    std::istringstream fields(line.substr(0, line.find_first_of(";#")));
    std::u16string text;
    for (std::string field; fields >> field;) {
        if (field == "\u00F7") {
            breaks.push_back(text.size());
        } else if (field != "\u00D7") {
            const auto code = static_cast<char32_t>(std::stoul(field, nullptr, 16));
            text += code < 0x10000 ? std::u16string(1, char16_t(code))
                                   : std::u16string({char16_t(0xD7C0 + (code >> 10)),
                                                     char16_t(0xDC00 + (code & 0x3FF))});
        }
    }
    return text;
}

// Unicode's own test data: each break and non-break of GraphemeBreakTest.txt, each fully-qualified
// emoji of emoji-test.txt one character, and each cut at the last break at or before it.
TEST(ClustersTest, BreakAsUnicodesOwnTestsSay) {
    int tested = 0;
    for (const char* name : {"GraphemeBreakTest.txt", "emoji-test.txt"}) {
        std::ifstream file(KELVORIN_UNICODE_DIR + std::string(name));
        for (std::string line; std::getline(file, line);) {
            std::vector<std::size_t> breaks, found{0};
            const std::u16string text = FromTestLine(line, breaks);
            if (line.find("; fully-qualified") != std::string::npos) {
                breaks = {0, text.size()};
            }
            for (std::size_t at = 0; at < text.size();
                 found.push_back(at += ClusterLength(text, at))) {
            }
            EXPECT_TRUE(breaks.empty() || found == breaks) << line;
            tested += !breaks.empty();
            for (std::size_t limit = 0; limit < text.size(); ++limit) {
                EXPECT_EQ(CutAtCharacter(text, limit).size(),
                          *--std::upper_bound(found.begin(), found.end(), limit))
                    << line << ", cut at " << limit;
            }
        }
    }
    EXPECT_GT(tested, 4000) << "the files were not read";
}

TEST(ClockRandomTest, DrawsStayBelowOneAndEachSeedingStartsAnotherSequence) {
    EXPECT_EQ(UnitFloat(0xFFFFFFFFu), 1.0f - 0x1p-24f);
    ClockRandom random;
    std::set<std::vector<float>> sequences;
    for (int seeding = 0; seeding < 20; ++seeding) {
        random.SeedFromClock();
        sequences.insert({random.Next(), random.Next(), random.Next(), random.Next()});
    }
    EXPECT_EQ(sequences.size(), 20u) << "two seedings in quick succession gave the same draws";
}

} // namespace
} // namespace kelvorin::testing
