#include "platform/qt/main_window.h"

#include "platform/qt/x11_frame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace kelvorin::qt {

namespace {

// How long a step of the closing animation is waited for. Window managers answer within a
// millisecond or two; on a busy machine one may not run for a while, and a step is not given up
// for that: an unanswered step fails without counting as refused.
constexpr int kAnswerMs = 500;

// A window manager that has answered nothing for this long is taken for gone: the close ends
// rather than wait for it.
constexpr int kSilentMs = 5000;
// However a window manager answers, the close waits for it this long in all: a close that takes
// it at its word takes a few seconds on a busy machine.
constexpr int kCloseWaitsMs = 20000;

// How long a step carried out is waited for its answer, so that a late one is not taken for the
// next step's, and how long an answer may precede the window's arrival (a manager that resizes
// the window first and its frame after).
constexpr int kAnswerSlackMs = 50;

// A compositor asks for the next frame of a shown window 60 times a second or so, later on a busy
// machine; one that has not within this long is not showing the window (minimized, on another
// workspace) and would see no step.
constexpr int kFrameMs = 250;
// The shrink in place on Wayland takes about as long as the slide on X11, at most this long.
constexpr int kShrinkInPlaceMs = 1500;

// One extent of a rectangle, in its pixels.
int Pick(const QRect& rect, Extent extent) {
    switch (extent) {
    case Extent::Top:
        return rect.y();
    case Extent::Left:
        return rect.x();
    case Extent::Width:
        return rect.width();
    case Extent::Height:
        return rect.height();
    }
    throw PlatformError("no such extent");
}

// Sees the compositor ask for the next frame: Qt's Wayland platform holds update requests back
// until then. A frame that comes later than 100 ms makes Qt take the window for hidden; the late
// frame shows it again, with an expose in place of the update request.
class FrameWatch : public QObject {
  public:
    explicit FrameWatch(QWindow* window) : window_(window) { window_->installEventFilter(this); }
    ~FrameWatch() override { window_->removeEventFilter(this); }
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

    bool Seen() const { return seen_; }

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Expose) {
            seen_ = seen_ || (hidden_ && window_->isExposed()); // a resize exposes it too
            hidden_ = hidden_ || !window_->isExposed();
        }
        seen_ = seen_ || event->type() == QEvent::UpdateRequest;
        return false;
    }

  private:
    QWindow* window_;
    bool hidden_ = false;
    bool seen_ = false;
};

// Runs window-system events until `done` holds or the deadline passes. Input stays queued (and is
// dropped when the program ends), as no input may be handled during the animation.
template <class Done> bool AwaitEvents(Done&& done, const QDeadlineTimer& deadline) {
    // Ends a wait for events that no event ends. Re-armed with the time left before each wait,
    // since a timer may fire a little early, and a wait with no timer left would never end.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!done()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) {
            return false;
        }
        wake.start(static_cast<int>(left));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

bool OnWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

QRect MainWindow::Frame() const { return X11Frame(*this).value_or(frameGeometry()); }

float MainWindow::ReadWindow(Extent extent) {
    return static_cast<float>(Pick(Frame(), extent)) * kTwipsPerPixel;
}

void MainWindow::WriteWindow(Extent extent, float twips) {
    const float pixels = std::round(twips / kTwipsPerPixel);
    if (!(std::fabs(pixels) <= 1.0e6f)) {
        throw PlatformError("window geometry out of range");
    }
    const int value = static_cast<int>(pixels);
    const QRect frame = Frame();
    switch (extent) {
    case Extent::Top:
    case Extent::Left: {
        // A Wayland client cannot place its window, and Qt would report the move as done.
        if (OnWayland()) {
            throw PlatformError("the display server places this window");
        }
        // The window only moves down and right: once a place was not taken (a manager that keeps
        // windows on the screen), one further on will not be either, and need not be waited for.
        if (value >= (extent == Extent::Left ? refusedLeft_ : refusedTop_)) {
            throw PlatformError("the window manager keeps the window from going further");
        }
        AwaitOutstanding(true);
        // Qt sends nothing for a place it believes the window has reached: a move that a window
        // manager dropped (a stalled one, seen under openbox) would keep the window where it is.
        const QPoint place(extent == Extent::Left ? value : frame.x(),
                           extent == Extent::Top ? value : frame.y());
        if (pos() == place) {
            windowHandle()->setFramePosition(place);
        } else {
            move(place);
        }
        if (!CarriedOut(extent, value)) {
            (extent == Extent::Left ? refusedLeft_ : refusedTop_) = value;
            throw PlatformError("the window manager did not move the window");
        }
        return;
    }
    case Extent::Width:
    case Extent::Height: {
        // The request is for the outer size; the frame's share of it stays as it is.
        const bool isWidth = extent == Extent::Width;
        const int client =
            isWidth ? value - (frame.width() - width()) : value - (frame.height() - height());
        // The size only shrinks: once a size was not taken, a smaller one will not be either.
        if (client < 1 || client <= (isWidth ? refusedWidth_ : refusedHeight_)) {
            throw PlatformError("window size below the minimum");
        }
        LiftSizeLimits();
        if (OnWayland()) {
            const QSize size = isWidth ? QSize(client, height()) : QSize(width(), client);
            if (!ResizeDrawn(size, QDeadlineTimer(kFrameMs, Qt::PreciseTimer))) {
                throw PlatformError("the compositor did not draw the window");
            }
            return;
        }
        AwaitOutstanding(false);
        const QSize size(isWidth ? client : width(), isWidth ? height() : client);
        resize(size);
        if (!CarriedOut(extent, value, size)) {
            (isWidth ? refusedWidth_ : refusedHeight_) = client;
            throw PlatformError("the window manager did not take the size");
        }
        return;
    }
    }
}

void MainWindow::LiftSizeLimits() {
    if (!sizeLimitsLifted_) {
        // The user may not resize the window; the closing animation may.
        setMinimumSize(1, 1);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        SetX11Resizable(*this, true);
        sizeLimitsLifted_ = true;
    }
}

// On Wayland a size takes effect, and is seen, only with a buffer of that size. Paints and commits
// one at once, then waits until the compositor asks for the next frame: the step has been shown,
// and the next one neither overtakes it nor floods the connection.
bool MainWindow::ResizeDrawn(QSize size, const QDeadlineTimer& deadline) {
    QWindow* window = windowHandle();
    if (window == nullptr || !AwaitEvents([&] { return window->isExposed(); }, deadline)) {
        return false; // Qt draws nothing meanwhile
    }
    resize(size);
    repaint();
    const FrameWatch frame(window);
    window->requestUpdate();
    return AwaitEvents([&] { return frame.Seen(); }, deadline);
}

// A Wayland window cannot slide away, so the closing animation ends after its first cycle, where
// the window will not move. It goes on shrinking where it stands, in the same steps, one frame
// each, until nothing is left of it or the time is up. A frame that does not come (a busy
// compositor, or one that does not show the window) only holds the next step back a while.
void MainWindow::ShrinkInPlace() {
    LiftSizeLimits();
    const int step = static_cast<int>(std::lround(Form1::kShrinkStep / kTwipsPerPixel));
    const QDeadlineTimer end(kShrinkInPlaceMs, Qt::PreciseTimer);
    for (QSize size = this->size(); (size.width() > 1 || size.height() > 1) && !end.hasExpired();) {
        size = QSize(std::max(1, size.width() - step), std::max(1, size.height() - step));
        // The title bar Qt draws itself (where the compositor draws none, GNOME) would stay once
        // the content is a line high: it goes then, and the rest shrinks on to a pixel.
        if (size.height() == 1 && frameGeometry().height() > height()) {
            windowHandle()->setFlags(windowHandle()->flags() | Qt::FramelessWindowHint);
        }
        const QDeadlineTimer frame(kFrameMs, Qt::PreciseTimer);
        ResizeDrawn(size, end.remainingTime() < frame.remainingTime() ? end : frame);
    }
}

// Whether the window manager has answered nothing, to any request, for kSilentMs.
bool MainWindow::ManagerSilent() {
    if (answers_->Heard() != heardAt_ || !lastHeard_.isValid()) {
        heardAt_ = answers_->Heard();
        lastHeard_.start();
    }
    return lastHeard_.hasExpired(kSilentMs);
}

// A step not answered in time: a manager busy elsewhere may still carry it out, unless it has
// answered nothing for long.
void MainWindow::Unanswered() {
    if (ManagerSilent() || closeStarted_.hasExpired(kCloseWaitsMs)) {
        throw PlatformError("the window manager does not answer");
    }
    throw PlatformBusy("the window manager has not answered yet");
}

// Before a step: a request of its kind left unanswered has been answered since (a manager answers
// in order), or is given a moment more. More requests meanwhile would pile up for a manager busy
// elsewhere, to be carried out all at once later.
void MainWindow::AwaitOutstanding(bool isMove) {
    if (!answers_) {
        answers_.emplace(*this);
        closeStarted_.start();
    }
    ManagerSilent(); // the silence counts from the first step on
    std::optional<int>& outstanding = isMove ? outstandingMove_ : outstandingResize_;
    if (outstanding && !AwaitEvents([&] { return answers_->Heard() > *outstanding; },
                                    QDeadlineTimer(kAnswerMs, Qt::PreciseTimer))) {
        Unanswered();
    }
    outstanding.reset();
}

// A window manager carries out a client's move or resize on its own time, and may first ask
// the client to draw (the _NET_WM_SYNC_REQUEST handshake). Wait until the server has the window
// where it was asked to go, so that each step is seen and the next one reads where the window
// really is; false when the server answered with the window elsewhere. Only window-system events
// run meanwhile: input stays queued (and is dropped when the program ends), as no input may be
// handled during the animation.
bool MainWindow::CarriedOut(Extent extent, int value, QSize client) {
    answers_->Expect();
    // Where Qt scales the window, a frame of an odd number of device pixels comes out half a
    // pixel off in Qt's units, and rounds either way.
    const qreal ratio = devicePixelRatioF();
    const int slack = ratio == 1.0 ? 0 : 1;
    // A size is there once an answer gives the window that size, though the frame may not have
    // caught up yet; and an answer may be a late one to an earlier request, of another size (a
    // manager catching up after a stall), which is not a refusal of this one.
    const auto sized = [&] {
        const QSize answered = answers_->AnsweredSize();
        return !client.isEmpty() && answers_->Answered() &&
               std::abs(qRound(answered.width() / ratio) - client.width()) <= slack &&
               std::abs(qRound(answered.height() / ratio) - client.height()) <= slack;
    };
    const auto there = [&] { return std::abs(Pick(Frame(), extent) - value) <= slack || sized(); };
    // A manager that answered other requests since it left a move unanswered, and never a move,
    // does not answer moves at all (sway's XWayland keeps a window centred without a word): a
    // move not carried out at once is refused there. One that answers moves is only busy.
    const bool isMove = extent == Extent::Top || extent == Extent::Left;
    const bool ignoresMoves = isMove && heardSinceUnanswered_ && !answers_->HeardManager();
    if (!AwaitEvents([&] { return answers_->Answered() || there(); },
                     QDeadlineTimer(ignoresMoves ? kAnswerSlackMs : kAnswerMs, Qt::PreciseTimer))) {
        if (ignoresMoves) {
            return false;
        }
        (isMove ? outstandingMove_ : outstandingResize_) = answers_->Heard();
        unansweredMove_ = unansweredMove_ || isMove;
        Unanswered();
    }
    // Both, a moment more: an answer may come before the window's arrival, and an answer that
    // comes late must not be taken for the next step's.
    const bool both = AwaitEvents([&] { return answers_->Answered() && there(); },
                                  QDeadlineTimer(kAnswerSlackMs, Qt::PreciseTimer));
    heardSinceUnanswered_ = unansweredMove_ && answers_->Answered();
    return both || there(); // there with no answer heard, or answered and elsewhere
}

float MainWindow::ReadScreenWidth() {
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        throw PlatformError("the window is on no screen");
    }
    return static_cast<float>(screen->geometry().width()) * kTwipsPerPixel;
}

} // namespace kelvorin::qt
