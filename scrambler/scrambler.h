#pragma once

#include "platform/window_system.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kelvorin {

// One character of the text, where it stands in the text held at the start: a character has no
// length limit (a letter may carry a hundred accents), and a slot holds no memory of its own.
struct CharSlot {
    std::uint32_t at = 0;
    std::uint32_t size = 0;
};

// The working state behind the "Do" button: it splits the box's text into slots, swaps each
// slot with a drawn position and writes the result back one slot longer each time.
// It knows nothing of windows or the clipboard; the box and the random source are passed in.
class Scrambler {
  public:
    // Reads the box, scrambles its characters and writes the result back in n + 1 writes:
    // the empty text, then each prefix of the result, each the box's text with one slot
    // appended. A character moves as one slot: what a reader sees as one (see clusters.h). On
    // failure the box is given back its text as it was, and the failure passes on.
    void ScrambleText(TextField& box, RandomSource& random);

    // The largest number of slots whose drawn position fits in SwapPosition.
    static constexpr std::size_t kMaxSlots = 32768;

  private:
    void SplitIntoSlots(TextField& box);
    void SwapSlots(TextField& box, RandomSource& random);
    void Rebuild(TextField& box);

    std::vector<CharSlot> CharSlots; // positions 0..n; position 0 is never used
    std::int16_t SwapPosition = 0;
    CharSlot SwapHold;
    std::size_t Counter = 0;
    std::u16string Original; // the box's text at the start: the slots' text, put back on failure
};

} // namespace kelvorin
