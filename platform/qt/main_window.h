#pragma once

#include "platform/clock_random.h"
#include "platform/window_system.h"
#include "window/form1.h"

#include <QWidget>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvorin::qt {

// Qt's device-independent pixel stands for 1/96 inch, so one is 15 twips.
inline constexpr float kTwipsPerPixel = 15.0f;

// Form1 on Qt Widgets: the window and its controls built from form1_design.h, each Qt event
// turned into one call into Form1. It decides nothing itself; beyond plain delegation it keeps
// the box's contract (one change notification per changing write) and keeps long scrambles
// from re-laying out the line edit and re-claiming the X selection on every write.
class MainWindow : public QWidget, public WindowSystem {
    Q_OBJECT

  public:
    MainWindow();
    ~MainWindow() override;

    // The box's text as the program sees it. During a reaction it runs ahead of the line edit,
    // which is brought up to date, with the clipboard, before the reaction returns to Qt.
    Text ReadText() override;
    void WriteText(Text text) override;
    void WriteAppended(Text text, Text tail) override;
    void TakeFocus() override;
    float ReadWindow(Extent extent) override;
    void WriteWindow(Extent extent, float twips) override;
    float ReadScreenWidth() override;
    void EmptyClipboard() override;
    void PlaceClipboardText(Text text) override;

    // Hides the window, turns every later event into a no-op and leaves the event loop. The
    // process ends when main returns, after Qt has handed the clipboard to a clipboard manager;
    // ending it here would take the clipboard's content with it.
    void EndProgram() override;

    bool ended() const { return ended_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Held for the length of each reaction; the outermost one applies what it deferred.
    class Reaction;

    void OnBoxTextChanged(const QString& text);
    void OnCommandClicked();
    void ApplyDeferred() noexcept;
    bool CarriedOut(Extent extent, int value);
    QRect Frame() const; // the outer frame where the display server has it

    QLineEdit* textBox1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QLabel* label1_ = nullptr;

    std::u16string text_;
    bool boxBehind_ = false; // text_ holds a write the line edit does not show yet

    enum class Clipboard { Untouched, Emptied, Placed };
    Clipboard clipboard_ = Clipboard::Untouched;
    std::u16string clipboardText_;

    int reactionDepth_ = 0;
    bool updatingBox_ = false;
    bool sizeLimitsLifted_ = false;
    int refusedWidth_ = 0; // the largest client size the window manager did not take
    int refusedHeight_ = 0;
    bool closing_ = false;
    bool ended_ = false;

    ClockRandom random_;
    Form1 form_{*this, random_};
};

} // namespace kelvorin::qt
