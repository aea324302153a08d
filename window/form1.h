#pragma once

#include "platform/window_system.h"
#include "scrambler/scrambler.h"

namespace kelvorin {

// The main window's behaviour: its three reactions, written against the window-system
// interface. It builds no widgets (the backends do that from form1_design.h) and never
// lets a failure out: a failing step stops the reaction, and the program goes on.
class Form1 {
  public:
    Form1(WindowSystem& desktop, RandomSource& random) : desktop_(desktop), random_(random) {}

    // "Do" was clicked, by mouse or keyboard: scramble the box, then give it the focus.
    // Returns false when a platform step failed and the reaction stopped.
    bool Command1_Click() noexcept;

    // The box's text changed: copy the whole text to the clipboard.
    bool TextBox1_Change() noexcept;

    // The window is closing: shrink it about its centre and slide it down and right until its
    // top passes the screen's width, then end the program. Returns only when the backend's
    // EndProgram returns.
    void Form1_Close() noexcept;

    // Steps of the closing animation, in twips.
    static constexpr float kMoveStep = 30.0f;
    static constexpr float kShrinkStep = 60.0f;

  private:
    void ScrambleText();
    void MirrorToClipboard();
    void CloseAnimation();
    void Nudge(Extent extent, float delta);

    WindowSystem& desktop_;
    RandomSource& random_;
    Scrambler scrambler_;
};

} // namespace kelvorin
