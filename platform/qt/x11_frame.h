#pragma once

#include <QAbstractNativeEventFilter>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <cstdint>

#include <optional>

namespace kelvorin::qt {

// Where the window's outer frame is on the X server: the window manager's frame around it, or
// the window itself where there is no manager. Qt's own frameGeometry() says where Qt asked the
// window to go, which a manager may not have carried out yet. In Qt's device-independent
// pixels, as move() and resize() take them. Empty when not on X11 or when the server cannot
// tell.
std::optional<QRect> X11Frame(const QWidget& window);

// Tells the window manager, through the Motif hints that window managers read for the title
// bar's buttons and the frame's edges, whether the user may resize the window: never maximize,
// and resize only where `resizable`. Qt's own hints always offer resizing, and maximizing unless
// the window's flags leave it out. Creates the native window; does nothing when not on X11.
void SetX11Resizable(const QWidget& window, bool resizable);

// Whether the display server has answered a request to move or resize the window. Any
// ConfigureNotify of the window from the request on is an answer: the server's own where there is
// no window manager or the window's size changed, else the one a manager sends (ICCCM 4.1.5) when
// it moved the window, put it elsewhere or kept it where it was. Installed while it lives; on a
// display that is not X11 it hears nothing.
class X11Answers final : public QAbstractNativeEventFilter {
  public:
    explicit X11Answers(const QWidget& window);
    ~X11Answers() override;
    X11Answers(const X11Answers&) = delete;
    X11Answers& operator=(const X11Answers&) = delete;

    // Call right after a request: what the server says from then on counts.
    void Expect();
    bool Answered() const { return answered_; }
    // How many answers came, to any request: a manager that answers none is not at work.
    int Heard() const { return heard_; }
    // Whether a window manager has sent an answer of its own, as it does for a move it carried
    // out or refused: it answers moves.
    bool HeardManager() const { return heardManager_; }
    // The window's size in the latest answer, in the server's (device) pixels.
    QSize AnsweredSize() const { return answeredSize_; }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

  private:
    const QWidget& window_;
    std::uint32_t since_ = 0; // the sequence number of the request before the mark
    bool answered_ = false;
    int heard_ = 0;
    bool heardManager_ = false;
    QSize answeredSize_;
};

} // namespace kelvorin::qt
