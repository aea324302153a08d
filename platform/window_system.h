#pragma once

#include <cstddef>
#include <stdexcept>
#include <string_view>

namespace kelvorin {

// What the window asks of the desktop. Each backend implements it as a thin adapter;
// every operation may fail, and a failure arrives as a PlatformError.

class PlatformError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A window's move or resize that the desktop has not carried out yet, and may still: a window
// manager busy elsewhere. A backend reports it only for a bounded time.
class PlatformBusy : public PlatformError {
  public:
    using PlatformError::PlatformError;
};

// UTF-16, as the desktops store text. A character is what a reader sees as one, and may take
// several code units: see scrambler/clusters.h.
using Text = std::u16string_view;

// The halves of a character outside the Basic Multilingual Plane, which must stay together.
constexpr bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// At most `limit` code units of the text, cut between characters of the whole text: a family
// without its last member, or a letter without its accent, would reach other programs as another
// text. In scrambler/clusters.cpp.
Text CutAtCharacter(Text text, std::size_t limit);

// The one-line text box.
class TextField {
  public:
    // The box's whole text. The view stays valid until the next write to the box, so a
    // caller that reads once per character pays nothing for the size of the text.
    virtual Text ReadText() = 0;

    // Replaces the whole text. A write that changes the text raises exactly one change
    // notification, which runs to its end before this returns; a write that leaves the
    // text as it was raises none.
    virtual void WriteText(Text text) = 0;

    // The same write as WriteText of `text` followed by `tail`, notification included. Given the
    // view that ReadText returned, the box appends `tail` in place, so a caller that grows the
    // text a piece at a time pays for the pieces, not for the whole text at each write.
    virtual void WriteAppended(Text text, Text tail) = 0;

    // Moves the keyboard focus into the box.
    virtual void TakeFocus() = 0;

  protected:
    ~TextField() = default;
};

// A clock-seeded source of single-precision values in [0, 1).
class RandomSource {
  public:
    virtual void SeedFromClock() = 0;
    virtual float Next() = 0;

  protected:
    ~RandomSource() = default;
};

// The window's outer geometry, in twips: top and left from the screen's top-left corner,
// width and height with the frame included.
enum class Extent { Top, Left, Width, Height };

// Everything else the window needs: its geometry, the screen, the clipboard and the
// end of the program. The text box comes with it.
class WindowSystem : public TextField {
  public:
    virtual float ReadWindow(Extent extent) = 0;

    // Carried out by the display server before this returns. A size the desktop will not
    // take may be clamped or refused; a refusal is a PlatformError.
    virtual void WriteWindow(Extent extent, float twips) = 0;

    virtual float ReadScreenWidth() = 0;

    // Removes everything the clipboard holds, in every format.
    virtual void EmptyClipboard() = 0;

    // Puts the text, possibly empty, on the clipboard as plain text.
    virtual void PlaceClipboardText(Text text) = 0;

    // Ends the program at once: no handler runs afterwards. A backend that cannot stop
    // the process from inside a handler returns, and the caller returns straight away.
    virtual void EndProgram() = 0;

  protected:
    ~WindowSystem() = default;
};

} // namespace kelvorin
