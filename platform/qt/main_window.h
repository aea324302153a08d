#pragma once

#include "platform/clock_random.h"
#include "platform/qt/x11_clipboard.h"
#include "platform/qt/x11_frame.h"
#include "platform/toolkit.h"
#include "window/form1.h"
#include "window/window_host.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <limits>
#include <optional>
#include <utility>
#include <vector>

class QDeadlineTimer;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvorin::qt {

// Qt's device-independent pixel stands for 1/96 inch, so one is 15 twips.
inline constexpr float kTwipsPerPixel = 15.0f;

// Whether Qt runs on one of its Wayland platforms ("wayland", "wayland-egl", ...), rather than
// on X11 (also through XWayland) or offscreen.
bool OnWayland();

// Form1 on Qt Widgets: the window and its controls built from form1_design.h, each Qt event
// turned into one call into WindowHost, which keeps the box's contract. It decides nothing
// itself: it shows a text in the line edit, claims the clipboard, and reads and moves the window.
//   main_window.cpp  the widgets, the events, the end of the program
//   text_box.cpp     the line edit: what it shows and what it reports
//   clipboard.cpp    the clipboard, and what keeps its text after the end
//   geometry.cpp     the window's place and size, and the screen's width
class MainWindow : public QWidget, public Toolkit {
    Q_OBJECT

  public:
    MainWindow();
    ~MainWindow() override;

    void ShowText(Text text) override;
    void SetClipboardText(Text text, History history) override;
    void ClearClipboard() override;
    void TakeFocus() override;
    float ReadWindow(Extent extent) override;
    void WriteWindow(Extent extent, float twips) override;
    float ReadScreenWidth() override;

    // Hides the window and leaves the event loop; later events do nothing. The process ends
    // when main returns, after Qt has handed the clipboard to a clipboard manager; ending it
    // here would take the clipboard's content with it.
    void EndProgram() override;

    bool ended() const { return host_.Ended(); }

    // Call once, after the event loop has ended and before the QApplication goes. Places a
    // keystroke's marked text once more unmarked, and says what to keep serving after the end
    // (on X11, see ServeAfterEnd): the clipboard's text if it is still ours, not empty, and the
    // display (`display`, empty for $DISPLAY) is this machine's. In a Wayland session (Qt on
    // Wayland, or WAYLAND_DISPLAY set) it also hands that text to wl-copy, where installed; on
    // Wayland itself it returns nothing.
    std::optional<KeptClipboard> ClipboardToKeep(const std::string& display);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void SetUpTextBox();
    void SetUpClipboard();
    void SettleClipboard();
    bool OwnsClipboard() const;
    void OnBoxTextChanged(const QString& text);
    bool CarriedOut(Extent extent, int value, QSize client = {});
    void AwaitOutstanding(bool isMove);
    [[noreturn]] void Unanswered();
    bool ManagerSilent();
    void LiftSizeLimits();
    bool ResizeDrawn(QSize size, const QDeadlineTimer& deadline); // on Wayland
    void ShrinkInPlace();                                         // on Wayland, at the end
    QRect Frame() const; // the outer frame where the display server has it

    QLineEdit* textBox1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QLabel* label1_ = nullptr;

    bool sizeLimitsLifted_ = false;
    std::optional<X11Answers> answers_; // heard from the close's first step on
    int refusedWidth_ = 0;              // the largest client size the window manager did not take
    int refusedHeight_ = 0;
    int refusedLeft_ = std::numeric_limits<int>::max(); // the first place it did not take
    int refusedTop_ = std::numeric_limits<int>::max();
    bool unansweredMove_ = false;          // a move was waited for in vain
    bool heardSinceUnanswered_ = false;    // and the window manager answered another request since
    std::optional<int> outstandingMove_;   // answers heard when a move went unanswered
    std::optional<int> outstandingResize_; // when a resize did
    QElapsedTimer lastHeard_;              // since the window manager's last answer
    QElapsedTimer closeStarted_;           // since the close's first step
    int heardAt_ = -1;
    bool closing_ = false;
    QTimer settle_;        // a typed text has stood long enough for a clipboard history to keep it
    bool placing_ = false; // the clipboard changes because we place or clear it
    bool boxCutting_ = false; // the box cuts its selection: it copies it, then deletes it
    bool boxCopied_ = false;  // and the clipboard took what it copied

    ClockRandom random_;
    WindowHost host_{*this, random_};
};

} // namespace kelvorin::qt
