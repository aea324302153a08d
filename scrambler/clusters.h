#pragma once

#include "platform/window_system.h"

#include <cstddef>

namespace kelvorin {

// A character here is what a reader sees as one: an extended grapheme cluster of Unicode 15.0
// (a letter with its accents, a flag, an emoji with its skin tone, a family joined by U+200D, a
// Hangul syllable written as jamo). A lone surrogate is a character of its own.

// Code units in the character that starts at `at`, a character boundary before the end.
std::size_t ClusterLength(Text text, std::size_t at);

// CutAtCharacter, in platform/window_system.h, cuts a text between such characters.

} // namespace kelvorin
