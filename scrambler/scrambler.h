#pragma once

#include "platform/window_system.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvorin {

// One character of the text, a code unit or the two of a surrogate pair, held in place: a list
// of 32,768 std::u16string would take a megabyte, all of it fresh memory on a first click.
class CharSlot {
  public:
    void assign(Text character) {
        size_ = character.size() < 2 ? static_cast<std::uint8_t>(character.size()) : 2;
        std::copy_n(character.begin(), size_, units_);
    }
    operator Text() const { return Text(units_, size_); }

  private:
    char16_t units_[2] = {};
    std::uint8_t size_ = 0;
};

// The working state behind the "Do" button: it splits the box's text into slots, swaps each
// slot with a drawn position and writes the result back one slot longer each time.
// It knows nothing of windows or the clipboard; the box and the random source are passed in.
class Scrambler {
  public:
    // Reads the box, scrambles its characters and writes the result back in n + 1 writes:
    // the empty text, then each prefix of the result, each the box's text with one slot
    // appended. A well-formed surrogate pair moves as one slot. On failure the box is given
    // back its text as it was, and the failure passes on.
    void ScrambleText(TextField& box, RandomSource& random);

    // The largest number of slots whose drawn position fits in SwapPosition.
    static constexpr std::size_t kMaxSlots = 32768;

  private:
    void SplitIntoSlots(TextField& box, std::size_t slotCount);
    void SwapSlots(TextField& box, RandomSource& random);
    void Rebuild(TextField& box);

    std::vector<CharSlot> CharSlots; // positions 0..n; position 0 is never used
    std::int16_t SwapPosition = 0;
    CharSlot SwapHold;
    std::size_t Counter = 0;
    std::u16string Original; // the box's text at the start, put back if a write fails
};

} // namespace kelvorin
