#pragma once

#include "platform/window_system.h"

#include <cstddef>

namespace kelvorin {

// A character here is what a reader sees as one: an extended grapheme cluster of Unicode 17.0
// (a letter with its accents, a flag, an emoji with its skin tone, a family joined by U+200D, a
// Hangul syllable written as jamo, a conjunct such as क्त: consonant, virama, consonant). A lone
// surrogate counts as a code point of class Other, as Unicode's data gives it: a mark after it
// joins it.

// Below this, a code point followed by another such stands alone (but CR before LF): much text is
// Latin, and needs no look-up. The generated table checks it at compile time.
inline constexpr char16_t kAloneBelow = 0x300;

std::size_t LongerClusterLength(Text text, std::size_t at); // ClusterLength past the fast path

// Code units in the character that starts at `at`, a character boundary before the end.
inline std::size_t ClusterLength(Text text, std::size_t at) {
    const bool alone = text[at] < kAloneBelow && text[at] != u'\r' &&
                       (at + 1 == text.size() || text[at + 1] < kAloneBelow);
    return alone ? 1 : LongerClusterLength(text, at);
}

// CutAtCharacter, in platform/window_system.h, cuts a text between such characters.

} // namespace kelvorin
