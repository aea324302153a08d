#include "platform/qt/main_window.h"

#include "platform/qt/x11_frame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace kelvorin::qt {

namespace {

// How long a step of the closing animation is waited for. Window managers answer within a
// millisecond or two; on a busy machine one may not run for a while, and a step is not given up
// for that: an unanswered step fails without counting as refused.
constexpr int kAnswerMs = 1000;

// How long a step carried out is waited for its answer, so that a late one is not taken for the
// next step's, and how long an answer may precede the window's arrival (a manager that resizes
// the window first and its frame after).
constexpr int kAnswerSlackMs = 50;

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

} // namespace

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
    case Extent::Left:
        // A Wayland client cannot place its window, and Qt would report the move as done.
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
            throw PlatformError("the display server places this window");
        }
        // The window only moves down and right: once a place was not taken (a manager that keeps
        // windows on the screen), one further on will not be either, and need not be waited for.
        if (value >= (extent == Extent::Left ? refusedLeft_ : refusedTop_)) {
            throw PlatformError("the window manager keeps the window from going further");
        }
        move(extent == Extent::Left ? value : frame.x(), extent == Extent::Top ? value : frame.y());
        if (!CarriedOut(extent, value)) {
            (extent == Extent::Left ? refusedLeft_ : refusedTop_) = value;
            throw PlatformError("the window manager did not move the window");
        }
        return;
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
        if (!sizeLimitsLifted_) {
            // The user may not resize the window; the closing animation may.
            setMinimumSize(1, 1);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            SetX11Resizable(*this, true);
            sizeLimitsLifted_ = true;
        }
        resize(isWidth ? client : width(), isWidth ? height() : client);
        if (!CarriedOut(extent, value)) {
            (isWidth ? refusedWidth_ : refusedHeight_) = client;
            throw PlatformError("the window manager did not take the size");
        }
        return;
    }
    }
}

// A window manager carries out a client's move or resize on its own time, and may first ask
// the client to draw (the _NET_WM_SYNC_REQUEST handshake). Wait until the server has the window
// where it was asked to go, so that each step is seen and the next one reads where the window
// really is; false when the server answered with the window elsewhere. Only window-system events
// run meanwhile: input stays queued (and is dropped when the program ends), as no input may be
// handled during the animation.
bool MainWindow::CarriedOut(Extent extent, int value) {
    if (!answers_) {
        answers_.emplace(*this);
    }
    answers_->Expect();
    // Where Qt scales the window, a frame of an odd number of device pixels comes out half a
    // pixel off in Qt's units, and rounds either way.
    const int slack = devicePixelRatioF() == 1.0 ? 0 : 1;
    const auto settled = [&] { return std::abs(Pick(Frame(), extent) - value) <= slack; };
    const QDeadlineTimer deadline(kAnswerMs, Qt::PreciseTimer);
    QDeadlineTimer slackOver(QDeadlineTimer::Forever); // runs from the answer or the arrival
    for (;;) {
        const bool there = settled();
        if (there || answers_->Answered()) {
            if (slackOver.isForever()) {
                slackOver.setRemainingTime(kAnswerSlackMs, Qt::PreciseTimer);
            }
            if (there && answers_->Answered()) {
                return true;
            }
            if (slackOver.hasExpired()) {
                return there; // there with no answer heard, or answered and elsewhere
            }
        } else if (deadline.hasExpired()) {
            throw PlatformError("the window manager has not answered yet");
        }
        WaitForWindowSystem(slackOver.isForever() ? deadline.remainingTime()
                                                  : slackOver.remainingTime());
    }
}

// Runs the window system's events for at most `ms`, and returns early once one came.
void MainWindow::WaitForWindowSystem(qint64 ms) {
    // Ends a wait for events that no event ends; a wait with no timer left would never end.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(std::max<qint64>(ms, 1)));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
}

float MainWindow::ReadScreenWidth() {
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        throw PlatformError("the window is on no screen");
    }
    return static_cast<float>(screen->geometry().width()) * kTwipsPerPixel;
}

} // namespace kelvorin::qt
