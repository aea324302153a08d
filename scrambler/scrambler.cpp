#include "scrambler/scrambler.h"

#include <cmath>
#include <stdexcept>

namespace kelvorin {

namespace {

// Code units in the character that starts at `at`: 2 for a well-formed surrogate pair, else 1.
// A lone surrogate is a character of its own, so ill-formed input comes out as it went in.
std::size_t CharLength(Text text, std::size_t at) {
    return at + 1 < text.size() && IsHighSurrogate(text[at]) && IsLowSurrogate(text[at + 1]) ? 2
                                                                                             : 1;
}

std::size_t CountChars(Text text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += CharLength(text, at)) {
        ++count;
    }
    return count;
}

} // namespace

void Scrambler::ScrambleText(TextField& box, RandomSource& random) {
    const Text text = box.ReadText();
    Original.assign(text);
    const std::size_t n = CountChars(text);
    // Past this many slots the drawn position no longer fits in 16 bits; refuse before the
    // box is touched rather than index the wrong slot. The boxes hold less than this.
    if (n > kMaxSlots) {
        throw std::length_error("text too long to scramble");
    }
    CharSlots.assign(n + 1, CharSlot());
    SplitIntoSlots(box, n);
    random.SeedFromClock();
    SwapSlots(box, random);

    // From the first write on, a failure would leave a part of the text in the box: put the
    // text back as it was before passing the failure on.
    try {
        box.WriteText(Text());
        Rebuild(box);
    } catch (...) {
        try {
            box.WriteText(Original);
        } catch (...) {
            // The original failure is the one worth passing on.
        }
        throw;
    }
}

void Scrambler::SplitIntoSlots(TextField& box, std::size_t slotCount) {
    std::size_t at = 0; // where slot Counter starts in the text
    for (Counter = 1; Counter <= slotCount; ++Counter) {
        const Text text = box.ReadText();
        if (at >= text.size()) {
            throw PlatformError("text box changed during the split");
        }
        const std::size_t length = CharLength(text, at);
        CharSlots[Counter].assign(text.substr(at, length));
        at += length;
    }
}

void Scrambler::SwapSlots(TextField& box, RandomSource& random) {
    const std::size_t upper = CharSlots.size() - 1;
    for (Counter = 1; Counter <= upper; ++Counter) {
        const float r = random.Next();
        const Text text = box.ReadText();
        // Counting characters costs a pass over the text; while the box holds what it held at
        // the start (it cannot change on this thread), the count is the one already made.
        const std::size_t length = text.size() == Original.size() ? upper : CountChars(text);
        const double m = static_cast<double>(length) - 1.0;
        const double position = std::floor(static_cast<double>(r) * m) + 1.0;
        // A source that broke its [0, 1) promise must not send us outside the slots.
        if (!(position >= 1.0 && position <= static_cast<double>(upper) && position <= 32767.0)) {
            throw PlatformError("drawn position out of range");
        }
        SwapPosition = static_cast<std::int16_t>(position);
        SwapHold = CharSlots[SwapPosition];
        CharSlots[SwapPosition] = CharSlots[Counter];
        CharSlots[Counter] = SwapHold;
    }
}

void Scrambler::Rebuild(TextField& box) {
    const std::size_t upper = CharSlots.size() - 1;
    for (Counter = 1; Counter <= upper; ++Counter) {
        const Text text = box.ReadText();
        box.WriteAppended(text, CharSlots[Counter]);
    }
}

} // namespace kelvorin
