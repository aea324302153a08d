#pragma once

#include "platform/clock_random.h"
#include "platform/toolkit.h"
#include "window/window_host.h"

#include <QWidget>

#include <limits>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelvorin::qt {

// Qt's device-independent pixel stands for 1/96 inch, so one is 15 twips.
inline constexpr float kTwipsPerPixel = 15.0f;

// Form1 on Qt Widgets: the window and its controls built from form1_design.h, each Qt event
// turned into one call into WindowHost, which keeps the box's contract. It decides nothing
// itself: it shows a text in the line edit, claims the clipboard, and reads and moves the window.
//   main_window.cpp  the widgets, the events, the end of the program
//   text_box.cpp     the line edit: what it shows and what it reports
//   clipboard.cpp    the clipboard
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

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void SetUpTextBox();
    void OnBoxTextChanged(const QString& text);
    bool CarriedOut(Extent extent, int value);
    QRect Frame() const; // the outer frame where the display server has it

    QLineEdit* textBox1_ = nullptr;
    QPushButton* command1_ = nullptr;
    QLabel* label1_ = nullptr;

    bool sizeLimitsLifted_ = false;
    int refusedWidth_ = 0; // the largest client size the window manager did not take
    int refusedHeight_ = 0;
    int refusedLeft_ = std::numeric_limits<int>::max(); // the first place it did not take
    int refusedTop_ = std::numeric_limits<int>::max();
    bool closing_ = false;

    ClockRandom random_;
    WindowHost host_{*this, random_};
};

} // namespace kelvorin::qt
