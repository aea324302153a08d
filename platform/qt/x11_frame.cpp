#include "platform/qt/x11_frame.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

namespace kelvorin::qt {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

// The server counts device pixels; Qt moves and sizes in device-independent ones, which differ
// when Qt scales the window (QT_SCALE_FACTOR, or a HiDPI screen). Qt keeps a screen's top-left
// corner where the server has it and scales what lies beyond it, so this undoes exactly that.
QRect FromDevicePixels(const QWidget& window, const QRect& device) {
    const QScreen* screen = window.screen();
    const qreal ratio = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    if (ratio == 1.0) {
        return device;
    }
    const QPoint origin = screen->geometry().topLeft();
    return QRect(origin.x() + qRound((device.x() - origin.x()) / ratio),
                 origin.y() + qRound((device.y() - origin.y()) / ratio),
                 qRound(device.width() / ratio), qRound(device.height() / ratio));
}

} // namespace

std::optional<QRect> X11Frame(const QWidget& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return std::nullopt;
    }
    xcb_connection_t* connection = x11->connection();
    // Climb to the child of the root: a manager's frame may wrap the window more than once.
    auto frame = static_cast<xcb_window_t>(window.winId());
    for (int depth = 0; depth < 8; ++depth) {
        const ReplyPtr<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, frame), nullptr));
        if (!tree) {
            return std::nullopt;
        }
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) {
            const ReplyPtr<xcb_get_geometry_reply_t> geometry(
                xcb_get_geometry_reply(connection, xcb_get_geometry(connection, frame), nullptr));
            if (!geometry) {
                return std::nullopt;
            }
            const int border = geometry->border_width;
            return FromDevicePixels(window,
                                    QRect(geometry->x, geometry->y, geometry->width + 2 * border,
                                          geometry->height + 2 * border));
        }
        frame = tree->parent;
    }
    return std::nullopt;
}

void SetX11Resizable(const QWidget& window, bool resizable) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    xcb_connection_t* connection = x11->connection();
    constexpr char kName[] = "_MOTIF_WM_HINTS";
    const ReplyPtr<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr));
    if (!atom) {
        return;
    }
    // flags, functions, decorations, input mode, status. Flags: functions and decorations
    // given. Functions: resize 2, move 4, minimize 8, (maximize 16), close 32. Decorations:
    // border 2, resize edges 4, title 8, menu 16, minimize 32, (maximize 64).
    const std::uint32_t hints[5] = {0x3, resizable ? 0x2eu : 0x2cu, resizable ? 0x3eu : 0x3au, 0,
                                    0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), atom->atom, atom->atom, 32, 5,
                        hints);
    xcb_flush(connection);
}

X11Answers::X11Answers(const QWidget& window) : window_(window) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11Answers::~X11Answers() { QCoreApplication::instance()->removeNativeEventFilter(this); }

void X11Answers::Expect() {
    answered_ = false;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return;
    }
    // A mark in the request stream, just after the request: an event from the server carries
    // the number of the last request it had carried out, so one numbered from the request on
    // comes after it.
    xcb_connection_t* connection = x11->connection();
    const unsigned int mark = xcb_get_input_focus(connection).sequence;
    xcb_discard_reply(connection, mark);
    since_ = mark - 1;
}

bool X11Answers::nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) {
    if (type != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
    if ((event->response_type & 0x7f) == XCB_CONFIGURE_NOTIFY &&
        configure->window == static_cast<xcb_window_t>(window_.winId())) {
        ++heard_;
        answeredSize_ = QSize(configure->width, configure->height);
        heardManager_ = heardManager_ || (event->response_type & 0x80) != 0; // sent by a client
        answered_ = answered_ || static_cast<std::int32_t>(event->full_sequence - since_) >= 0;
    }
    return false; // Qt still takes every event
}

} // namespace kelvorin::qt
