#include "window/window_host.h"

#include "window/form1_design.h"

#include <algorithm>
#include <exception>

namespace kelvorin {

namespace {

constexpr auto kMaxLength = static_cast<std::size_t>(design::kTextBoxMaxLength);

} // namespace

std::size_t InsertionCut(Text text, std::size_t end, Text held, std::size_t limit) {
    if (text.size() <= limit || end > text.size() || text.size() - end > held.size()) {
        return end;
    }
    // The cursor ends the insertion, and what follows it is what followed the edit in the held
    // text; the insertion starts where the rest of the held text and the new text part. Taken
    // from the front instead, an insertion that repeats what follows it would seem to start late.
    const Text tail = text.substr(end);
    const Text head = held.substr(0, held.size() - tail.size());
    if (held.substr(head.size()) != tail) {
        return end;
    }
    const std::size_t start = static_cast<std::size_t>(
        std::mismatch(head.begin(), head.end(), text.begin(), text.begin() + end).first -
        head.begin());
    const std::size_t excess = text.size() - limit;
    if (end - start < excess) {
        return end;
    }
    return std::max(start, CutAtCharacter(text.substr(0, end), end - excess).size());
}

class WindowHost::Reaction {
  public:
    explicit Reaction(WindowHost& host) : host_(host) { ++host_.reactionDepth_; }
    ~Reaction() {
        if (--host_.reactionDepth_ == 0) {
            host_.Apply();
        }
    }
    Reaction(const Reaction&) = delete;
    Reaction& operator=(const Reaction&) = delete;

  private:
    WindowHost& host_;
};

void WindowHost::Clicked() {
    if (ended_) {
        return;
    }
    if (reactionDepth_ == 0) {
        history_ = History::Keep;
    }
    Reaction reaction(*this);
    form_.Command1_Click();
}

void WindowHost::Edited(Text text, Edit edit) {
    if (ended_ || showing_) {
        return;
    }
    // Typing and pasting stop at the limit; a program that sets the box's text need not.
    const Text kept = CutAtCharacter(text, kMaxLength);
    const bool cut = kept.size() < text.size();
    const bool changes = kept != Text(text_);
    if (!changes && !cut) {
        return;
    }
    if (reactionDepth_ == 0) {
        history_ = History::Skip;
    }
    Reaction reaction(*this);
    boxBehind_ = cut; // otherwise what the user sees is the text now
    if (changes) {
        KeepClipboardText();
        text_.assign(kept);
        form_.TextBox1_Change();
    }
    // The cut text stays on the clipboard; the box's next change is mirrored as usual.
    if (edit == Edit::Cut) {
        clipboard_ = Clipboard::Untouched;
        clipboardText_.clear();
    }
}

void WindowHost::Closing() {
    if (ended_) {
        return;
    }
    Reaction reaction(*this);
    form_.Form1_Close();
}

void WindowHost::WriteText(Text text) { Store(text, Text()); }

void WindowHost::WriteAppended(Text text, Text tail) { Store(text, tail); }

void WindowHost::Store(Text text, Text tail) {
    Reaction reaction(*this);
    const bool appends = text.data() == text_.data() && text.size() == text_.size() &&
                         text_.size() + tail.size() <= kMaxLength;
    if (appends) {
        if (tail.empty()) {
            return;
        }
        text_.append(tail); // a recorded prefix of the box stays what it was
    } else {
        std::u16string joined;
        if (!tail.empty()) {
            joined.reserve(text.size() + tail.size());
            joined.append(text).append(tail);
            text = joined;
        }
        text = CutAtCharacter(text, kMaxLength);
        if (text == Text(text_)) {
            return;
        }
        KeepClipboardText();
        text_.assign(text);
    }
    boxBehind_ = true;
    if (!ended_) {
        form_.TextBox1_Change();
    }
}

void WindowHost::EmptyClipboard() {
    Reaction reaction(*this);
    clipboard_ = Clipboard::Emptied;
    clipboardText_.clear();
}

void WindowHost::PlaceClipboardText(Text text) {
    Reaction reaction(*this);
    if (text.data() == text_.data() && text.size() <= text_.size()) {
        clipboard_ = Clipboard::PlacedBoxPrefix;
        clipboardPrefix_ = text.size();
    } else {
        clipboard_ = Clipboard::Placed;
        clipboardText_.assign(text);
    }
}

// Called before text_ changes other than by an append.
void WindowHost::KeepClipboardText() {
    if (clipboard_ == Clipboard::PlacedBoxPrefix) {
        clipboardText_.assign(text_, 0, clipboardPrefix_);
        clipboard_ = Clipboard::Placed;
    }
}

void WindowHost::EndProgram() {
    toolkit_.EndProgram();
    ended_ = true;
}

// A scramble of n characters makes n + 1 writes and as many mirrors; the widget lays out its
// whole text on each update, and each claim of the clipboard reaches every program that watches
// it. One update of each shows exactly what the last write and the last mirror left. A step that
// fails is left for the next reaction (the widget) or to the toolkit (a busy clipboard).
void WindowHost::Apply() noexcept {
    if (boxBehind_) {
        showing_ = true;
        try {
            toolkit_.ShowText(text_);
            boxBehind_ = false;
        } catch (const std::exception&) {
        }
        showing_ = false;
    }
    const Clipboard pending = clipboard_;
    clipboard_ = Clipboard::Untouched;
    try {
        switch (pending) {
        case Clipboard::Untouched:
            break;
        case Clipboard::Emptied:
            toolkit_.ClearClipboard();
            break;
        case Clipboard::Placed:
            toolkit_.SetClipboardText(clipboardText_, history_);
            break;
        case Clipboard::PlacedBoxPrefix:
            toolkit_.SetClipboardText(Text(text_).substr(0, clipboardPrefix_), history_);
            break;
        }
    } catch (const std::exception&) {
    }
    clipboardText_.clear();
}

} // namespace kelvorin
