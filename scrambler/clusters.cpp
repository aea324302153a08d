#include "scrambler/clusters.h"

#include <cstdint>

namespace kelvorin {

namespace {

#include "scrambler/cluster_table.inc"

static_assert(kAloneBelow <= kFirstJoining, "a code point below kAloneBelow joins another");

// The grapheme cluster break property, Extended_Pictographic among them, and what rule GB9c
// reads of Indic_Conjunct_Break: a Consonant is an Other, a Linker and an ExtendOutsideConjunct
// (U+200C) are Extends; in the order of make_cluster_table.py.
// clang-format off
enum class Break : std::uint8_t {
    Other, CR, LF, Control, Extend, ZWJ, RegionalIndicator, Prepend, SpacingMark, L, V, T, LV, LVT,
    Pictographic, Consonant, Linker, ExtendOutsideConjunct
};
// clang-format on

Break BreakOf(char32_t code) {
    std::size_t index = 0;
    if (code < 0x20000) {
        index = code;
    } else if (code >= kPlane14 && code < kPlane14End) {
        index = code - kPlane14 + 0x20000;
    } else {
        return Break::Other;
    }
    const std::size_t block = kBlockOf[index >> kBlockShift];
    return static_cast<Break>(kBreaks[block << kBlockShift | (index & ((1u << kBlockShift) - 1))]);
}

// The code point at `at` and its length in code units. A lone surrogate stands for itself: Unicode
// gives it the class Other, so a mark after it joins it.
char32_t CodePointAt(Text text, std::size_t at, std::size_t& length) {
    const char16_t unit = text[at];
    if (IsHighSurrogate(unit) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
        length = 2;
        return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[at + 1]) - 0xDC00);
    }
    length = 1;
    return unit;
}

// One test of a bit, where a chain of comparisons would branch on each.
template <class... Breaks> constexpr bool Is(Break b, Breaks... any) {
    return (((1u << unsigned(any)) | ...) >> unsigned(b)) & 1u;
}

// Whether no cluster boundary falls between `before` and `next` (rules GB3 to GB13); the
// flags carry what the rules read further back.
bool Joins(Break before, Break next, bool afterPictographAndZwj, bool afterLinker,
           bool oddIndicators) {
    using enum Break;
    if (Is(before, CR, LF, Control) || Is(next, CR, LF, Control)) {
        return Is(before, CR) && Is(next, LF);
    }
    return Is(next, Extend, ZWJ, SpacingMark, Linker, ExtendOutsideConjunct) ||
           Is(before, Prepend) || (Is(before, L) && Is(next, L, V, LV, LVT)) ||
           (Is(before, LV, V) && Is(next, V, T)) || (Is(before, LVT, T) && Is(next, T)) ||
           (afterLinker && Is(next, Consonant)) ||
           (afterPictographAndZwj && Is(next, Pictographic)) ||
           (oddIndicators && Is(next, RegionalIndicator));
}

} // namespace

// Unicode Standard Annex #29 from the start of a cluster: what decides a break inside it (a run
// of regional indicators, an emoji and the joiners after it, a consonant and the virama after it)
// lies inside it too.
std::size_t LongerClusterLength(Text text, std::size_t at) {
    using enum Break;
    std::size_t length = 0;
    Break before = BreakOf(CodePointAt(text, at, length));
    std::size_t end = at + length;
    bool pictographic = before == Pictographic; // followed by Extend* so far
    bool joinsPictograph = false;               // `before` is a ZWJ after one
    bool consonant = before == Consonant;       // followed by Extend, ZWJ or Linker so far
    bool linked = false;                        // and a Linker among them
    bool oddIndicators = before == RegionalIndicator;
    while (end < text.size()) {
        const Break next = BreakOf(CodePointAt(text, end, length));
        if (!Joins(before, next, joinsPictograph, linked, oddIndicators)) {
            break;
        }
        const bool extend = Is(next, Extend, Linker, ExtendOutsideConjunct);
        joinsPictograph = pictographic && next == ZWJ;
        pictographic = next == Pictographic || (pictographic && extend);
        linked = consonant && (next == Linker || (linked && Is(next, Extend, ZWJ)));
        consonant = next == Consonant || (consonant && Is(next, Extend, ZWJ, Linker));
        oddIndicators = !oddIndicators && next == RegionalIndicator;
        before = next;
        end += length;
    }
    return end - at;
}

Text CutAtCharacter(Text text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t at = 0;
    for (std::size_t length = 0; (length = ClusterLength(text, at)) <= limit - at; at += length) {
    }
    return text.substr(0, at);
}

} // namespace kelvorin
