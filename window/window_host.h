#pragma once

#include "platform/toolkit.h"
#include "platform/window_system.h"
#include "window/form1.h"
#include "window/form1_design.h"

#include <cstddef>
#include <string>

namespace kelvorin {

// The widget's own limit on typing and pasting, two code units past the box's: a paste that the
// widget cut shows the whole code point after the box's limit, which tells whether a character
// goes on past it. InsertionCut then takes the text back within the box's limit.
inline constexpr int kWidgetMaxLength = design::kTextBoxMaxLength + 2;

// Where to cut an insertion (a paste, a keystroke) that ends at `end` and took the text past
// `limit`, when the box held `held` before it: the last character boundary that fits, never
// before the insertion's start. What lies between the cut and `end` is to be removed; `end`
// itself when the text is within the limit or no insertion explains it.
std::size_t InsertionCut(Text text, std::size_t end, Text held, std::size_t limit);

// How the user changed the box: a cut has already put the removed text on the clipboard.
enum class Edit { Change, Cut };

// Form1 on a desktop toolkit: the window-system services that Form1 and the scrambler use, kept
// once for every backend. The box's text is held here, ahead of the widget; a write that changes
// it notifies Form1 once, before the writer goes on; the widget and the clipboard are brought up
// to date once, when the outermost reaction returns to the toolkit, since nothing else can see
// them before then. It draws, places and claims nothing itself: the toolkit does.
class WindowHost final : public WindowSystem {
  public:
    WindowHost(Toolkit& toolkit, RandomSource& random) : toolkit_(toolkit), form_(*this, random) {}
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    // The toolkit's events, each one reaction. Once the program has ended they do nothing.
    void Clicked(); // "Do" was clicked, by mouse or keyboard
    // The box reports a change by the user (typing, paste, undo, cut) or by another program. A
    // text past the box's limit is cut between characters, and the box is made to show the cut.
    void Edited(Text text, Edit edit = Edit::Change);
    void Closing(); // the window is about to close

    bool Ended() const { return ended_; }

    Text ReadText() override { return text_; }
    void WriteText(Text text) override;
    void WriteAppended(Text text, Text tail) override;
    void TakeFocus() override { toolkit_.TakeFocus(); }
    float ReadWindow(Extent extent) override { return toolkit_.ReadWindow(extent); }
    void WriteWindow(Extent extent, float twips) override { toolkit_.WriteWindow(extent, twips); }
    float ReadScreenWidth() override { return toolkit_.ReadScreenWidth(); }
    void EmptyClipboard() override;
    void PlaceClipboardText(Text text) override;
    void EndProgram() override;

  private:
    // Held for the length of each reaction; the outermost one applies what was deferred.
    class Reaction;

    void Store(Text text, Text tail);
    void KeepClipboardText();
    void Apply() noexcept;

    Toolkit& toolkit_;
    Form1 form_;

    std::u16string text_;
    bool boxBehind_ = false; // the widget does not show text_ yet
    bool showing_ = false;   // inside ShowText: the box's reports are its echo

    // What the reaction's mirrors left for the clipboard. A mirror of the box's own text is
    // recorded as the length of a prefix of text_, copied only if a later write would change
    // that prefix: an append keeps it.
    enum class Clipboard { Untouched, Emptied, Placed, PlacedBoxPrefix };
    Clipboard clipboard_ = Clipboard::Untouched;
    std::u16string clipboardText_;
    std::size_t clipboardPrefix_ = 0;

    History history_ = History::Keep; // what the outermost reaction's placement is worth
    int reactionDepth_ = 0;
    bool ended_ = false;
};

} // namespace kelvorin
