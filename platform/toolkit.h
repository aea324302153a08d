#pragma once

#include "platform/window_system.h"

namespace kelvorin {

// Whether a clipboard history should keep an entry: a click's result is worth one; a keystroke's
// text is not, since the next keystroke follows it at once.
enum class History { Keep, Skip };

// What a desktop toolkit does for the window: plain toolkit calls and no decisions. The box's
// contract (its text, the change notifications, when the widget and the clipboard are updated)
// is kept once, by WindowHost, for every backend. Each operation may fail with a PlatformError.
class Toolkit {
  public:
    // Makes the box show `text` in place of its whole text, as one edit that the user can undo
    // in one step, with the cursor at the end. Called at most once per reaction, when writes
    // changed the text; they may have changed it back, so the text can be what the box shows
    // (then an edit that changes nothing is better left out). Whatever change the box reports
    // while this runs is its echo of this call, and is ignored.
    virtual void ShowText(Text text) = 0;

    // Puts `text`, possibly empty, on the clipboard as plain text, in place of everything the
    // clipboard holds: one claim of the clipboard. Called at most once per reaction, after
    // ShowText. The view is valid only during the call. A toolkit that finds the clipboard busy
    // may keep a copy and place it later; a newer SetClipboardText or ClearClipboard replaces it.
    // With History::Skip the text is marked for clipboard histories to pass over; once it has
    // stood for a moment, the window has lost the focus or the program ends, the toolkit places
    // it once more unmarked, if the clipboard still holds it, so that a history keeps one entry.
    virtual void SetClipboardText(Text text, History history) = 0;

    // Removes everything the clipboard holds, in every format. Called instead of
    // SetClipboardText when a reaction emptied the clipboard and placed nothing after.
    virtual void ClearClipboard() = 0;

    // Moves the keyboard focus into the box.
    virtual void TakeFocus() = 0;

    // The window's outer geometry and the screen, as WindowSystem describes them.
    virtual float ReadWindow(Extent extent) = 0;
    virtual void WriteWindow(Extent extent, float twips) = 0;
    virtual float ReadScreenWidth() = 0;

    // Ends the program, as WindowSystem::EndProgram.
    virtual void EndProgram() = 0;

  protected:
    ~Toolkit() = default;
};

} // namespace kelvorin
