#include "scrambler/scrambler.h"

#include "scrambler/clusters.h"

#include <cmath>
#include <stdexcept>

namespace kelvorin {

namespace {

std::size_t CountChars(Text text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += ClusterLength(text, at)) {
        ++count;
    }
    return count;
}

} // namespace

void Scrambler::ScrambleText(TextField& box, RandomSource& random) {
    Original.assign(box.ReadText());
    if (Original.size() > UINT32_MAX) {
        throw std::length_error("text too long to scramble");
    }
    SplitIntoSlots(box);
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

// Finds the characters and counts them in one pass: the slots are the count.
void Scrambler::SplitIntoSlots(TextField& box) {
    CharSlots.clear();
    CharSlots.resize(1); // position 0 is never used
    std::size_t at = 0;  // where slot Counter starts in the text
    for (Counter = 1; at < Original.size(); ++Counter) {
        // Past this many slots the drawn position no longer fits in 16 bits; refuse before the
        // box is touched rather than index the wrong slot. The boxes hold less than this.
        if (Counter > kMaxSlots) {
            throw std::length_error("text too long to scramble");
        }
        const Text text = box.ReadText();
        if (text.size() != Original.size()) {
            throw PlatformError("text box changed during the split");
        }
        const std::size_t length = ClusterLength(text, at);
        CharSlots.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(length)});
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
        box.WriteAppended(text,
                          Text(Original).substr(CharSlots[Counter].at, CharSlots[Counter].size));
    }
}

} // namespace kelvorin
