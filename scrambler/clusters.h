#pragma once

#include "platform/window_system.h"

#include <cstddef>

namespace kelvorin {

// A character here is what a reader sees as one: an extended grapheme cluster of Unicode 15.0
// (a letter with its accents, a flag, an emoji with its skin tone, a family joined by U+200D, a
// Hangul syllable written as jamo). A lone surrogate is a character of its own.

// Code units in the character that starts at `at`, a character boundary before the end.
std::size_t ClusterLength(Text text, std::size_t at);

// At most `limit` code units of the text, cut between characters of the whole text: a cut family
// or a letter without its accent would reach other programs as a different text.
Text CutAtCharacter(Text text, std::size_t limit);

} // namespace kelvorin
