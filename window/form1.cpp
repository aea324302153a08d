#include "window/form1.h"

#include <exception>

namespace kelvorin {

namespace {

// Runs one reaction; a failure stops it there and is swallowed, since the program shows no
// message of its own and must not end because the clipboard or a widget said no.
template <class Reaction> bool Attempt(Reaction&& reaction) noexcept {
    try {
        reaction();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

bool Form1::Command1_Click() noexcept {
    return Attempt([this] {
        ScrambleText();
        desktop_.TakeFocus();
    });
}

bool Form1::TextBox1_Change() noexcept {
    return Attempt([this] { MirrorToClipboard(); });
}

void Form1::Form1_Close() noexcept { CloseAnimation(); }

void Form1::ScrambleText() { scrambler_.ScrambleText(desktop_, random_); }

void Form1::MirrorToClipboard() {
    desktop_.EmptyClipboard();
    desktop_.PlaceClipboardText(desktop_.ReadText());
}

void Form1::Nudge(Extent extent, float delta) {
    desktop_.WriteWindow(extent, desktop_.ReadWindow(extent) + delta);
}

void Form1::CloseAnimation() {
    // Each step reads the window afresh and is skipped when it fails.
    for (;;) {
        float topBefore = 0.0f;
        bool knewTop = false;
        bool busy = false; // a step not carried out yet, which the desktop may still carry out
        const auto step = [&](auto&& write) {
            Attempt([&] {
                try {
                    write();
                } catch (const PlatformBusy&) {
                    busy = true;
                    throw;
                }
            });
        };
        step([&] {
            topBefore = desktop_.ReadWindow(Extent::Top);
            knewTop = true;
            desktop_.WriteWindow(Extent::Top, topBefore + kMoveStep);
        });
        step([&] { Nudge(Extent::Left, kMoveStep); });
        step([&] { Nudge(Extent::Width, -kShrinkStep); });
        step([&] { Nudge(Extent::Height, -kShrinkStep); });

        float top = 0.0f;
        float screenWidth = 0.0f;
        const bool readEnd = Attempt([&] {
            top = desktop_.ReadWindow(Extent::Top);
            screenWidth = desktop_.ReadScreenWidth();
        });
        // The comparison is with the screen's width, not its height.
        if (!readEnd || !(top <= screenWidth)) {
            break;
        }
        // A window that does not move (minimized, maximized, or a display server that ignores
        // client moves) would never get there: end at once. One whose desktop is busy may yet.
        if (knewTop && !(top > topBefore) && !busy) {
            break;
        }
    }
    Attempt([&] { desktop_.EndProgram(); });
}

} // namespace kelvorin
