// What the end-to-end test needs from an X desktop that Xvfb alone lacks.
//   x_helper close WINDOW        closes the window as a window manager does (WM_DELETE_WINDOW),
//                                then reports where it went until it was unmapped
//   x_helper clipboard-manager   keeps the clipboard's text after its owner ends, as desktop
//                                clipboard managers do (the SAVE_TARGETS handover)
//   x_helper history             prints the text of each new owner of the clipboard, as a
//                                clipboard history records it: none for an owner that marks its
//                                text for histories to pass over (as Klipper does)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Waits for the next event up to the deadline; false when it passed.
bool NextEvent(Display* display, XEvent& event, std::chrono::steady_clock::time_point deadline) {
    while (XPending(display) == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(left.count()));
    }
    XNextEvent(display, &event);
    return true;
}

// The window may go between an event and the question about it: such errors are expected.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

int Close(Display* display, Window window) {
    XSetErrorHandler(IgnoreErrors);
    XSelectInput(display, window, StructureNotifyMask);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0) {
        std::fprintf(stderr, "no window 0x%lx\n", window);
        return 2;
    }
    int x = 0;
    int y = 0;
    Window child;
    XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child);
    std::printf("before %d %d %d %d\n", x, y, attributes.width, attributes.height);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, window, &root, &parent, &children, &count);
    XFree(children);
    const bool framed = parent != attributes.root;
    int smallestWidth = attributes.width;
    int smallestHeight = attributes.height;

    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window;
    message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &message);
    XFlush(display);

    int configures = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    XEvent event;
    while (NextEvent(display, event, deadline)) {
        if (event.type == ConfigureNotify) {
            ++configures;
            // In a window manager's frame a real event's position is within the frame; the
            // manager's synthetic events, and all events without a frame, give the screen's.
            if (!framed || event.xconfigure.send_event) {
                x = event.xconfigure.x;
                y = event.xconfigure.y;
            }
            smallestWidth = std::min(smallestWidth, event.xconfigure.width);
            smallestHeight = std::min(smallestHeight, event.xconfigure.height);
        } else if (event.type == DestroyNotify) {
            // Not at an UnmapNotify: a window manager unmaps a window to reparent it too.
            std::printf("after %d %d smallest %d %d configures %d\n", x, y, smallestWidth,
                        smallestHeight, configures);
            return 0;
        }
    }
    std::printf("timeout %d %d configures %d\n", x, y, configures);
    return 1;
}

// A server timestamp, from the PropertyNotify of an empty append to our own window.
Time ServerTime(Display* display, Window window) {
    const Atom atom = XInternAtom(display, "KELVORIN_TEST_TIME", False);
    XChangeProperty(display, window, atom, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    do {
        XWindowEvent(display, window, PropertyChangeMask, &event);
    } while (event.type != PropertyNotify || event.xproperty.atom != atom);
    return event.xproperty.time;
}

void Reply(Display* display, const XSelectionRequestEvent& request, Atom property) {
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = property;
    reply.xselection.time = request.time;
    XSendEvent(display, request.requestor, False, NoEventMask, &reply);
}

Bool IsSelectionNotify(Display*, XEvent* event, XPointer) { return event->type == SelectionNotify; }

Bool IsNewValue(Display*, XEvent* event, XPointer property) {
    return event->type == PropertyNotify && event->xproperty.state == PropertyNewValue &&
           event->xproperty.atom == *reinterpret_cast<Atom*>(property);
}

// Takes the property's value off the window (32-bit items as Xlib's longs); false if it has
// none. An empty value comes without memory.
bool Take(Display* display, Window window, Atom property, Atom& type, std::string& data) {
    int format = 0;
    unsigned long count = 0;
    unsigned long after;
    unsigned char* value = nullptr;
    const bool taken =
        XGetWindowProperty(display, window, property, 0, 1 << 24, True, AnyPropertyType, &type,
                           &format, &count, &after, &value) == Success &&
        type != None;
    const std::size_t unit = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
    data.assign(value != nullptr ? reinterpret_cast<const char*>(value) : "", count * unit);
    if (value != nullptr) {
        XFree(value);
    }
    return taken;
}

// The clipboard's content in a target as of `time`; false if its owner refused it. A
// large one comes in pieces (INCR), each a new value of the property, until an empty one. The
// window must take PropertyChangeMask.
bool Fetch(Display* display, Window window, Atom target, Time time, std::string& data) {
    Atom property = XInternAtom(display, "KELVORIN_TEST_FETCHED", False);
    XConvertSelection(display, XInternAtom(display, "CLIPBOARD", False), target, property, window,
                      time);
    XEvent event;
    XIfEvent(display, &event, IsSelectionNotify, nullptr);
    Atom type = None;
    if (event.xselection.property == None || !Take(display, window, property, type, data)) {
        return false;
    }
    if (type == XInternAtom(display, "INCR", False)) {
        data.clear();
        for (std::string piece;;) {
            XIfEvent(display, &event, IsNewValue, reinterpret_cast<XPointer>(&property));
            if (!Take(display, window, property, type, piece)) {
                continue; // the notice of a value already taken
            }
            if (piece.empty()) {
                break;
            }
            data += piece;
        }
    }
    return true;
}

int ClipboardManager(Display* display) {
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, window, PropertyChangeMask);
    const Atom manager = XInternAtom(display, "CLIPBOARD_MANAGER", False);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom saveTargets = XInternAtom(display, "SAVE_TARGETS", False);
    const Atom targets = XInternAtom(display, "TARGETS", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom plainUtf8 = XInternAtom(display, "text/plain;charset=utf-8", False);

    XSetSelectionOwner(display, manager, window, ServerTime(display, window));
    if (XGetSelectionOwner(display, manager) != window) {
        std::fprintf(stderr, "another clipboard manager runs\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::string text;
    bool holding = false;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionClear && event.xselectionclear.selection == clipboard) {
            holding = false;
        }
        if (event.type != SelectionRequest) {
            continue;
        }
        const XSelectionRequestEvent& request = event.xselectionrequest;
        const Atom property = request.property != None ? request.property : request.target;
        Atom answer = None;
        if (request.selection == manager && request.target == saveTargets) {
            if (Fetch(display, window, utf8, request.time, text)) {
                XSetSelectionOwner(display, clipboard, window, ServerTime(display, window));
                holding = XGetSelectionOwner(display, clipboard) == window;
                answer = holding ? property : None;
            }
        } else if (request.selection == clipboard && holding && request.target == targets) {
            const Atom offered[] = {targets, utf8, plainUtf8};
            XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(offered), 3);
            answer = property;
        } else if (request.selection == clipboard && holding &&
                   (request.target == utf8 || request.target == plainUtf8)) {
            XChangeProperty(display, request.requestor, property, request.target, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
            answer = property;
        }
        Reply(display, request, answer);
        XFlush(display);
    }
}

int History(Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase)) {
        std::fprintf(stderr, "no XFixes\n");
        return 2;
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, window, PropertyChangeMask);
    const Atom hint = XInternAtom(display, "x-kde-passwordManagerHint", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom targetsAtom = XInternAtom(display, "TARGETS", False);
    XFixesSelectSelectionInput(display, DefaultRootWindow(display),
                               XInternAtom(display, "CLIPBOARD", False),
                               XFixesSetSelectionOwnerNotifyMask);
    XSync(display, False);
    std::printf("ready\n");
    for (;;) {
        std::fflush(stdout);
        XEvent event;
        XNextEvent(display, &event);
        const auto& owner = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        std::string targets;
        std::string text;
        // As of the claim: an owner that has claimed again since refuses, and its newer claim
        // comes as an event of its own.
        if (event.type != eventBase + XFixesSelectionNotify || owner.owner == None ||
            !Fetch(display, window, targetsAtom, owner.selection_timestamp, targets)) {
            continue;
        }
        const auto* offered = reinterpret_cast<const long*>(targets.data());
        const auto* end = offered + targets.size() / sizeof(long);
        if (std::find(offered, end, static_cast<long>(hint)) == end &&
            Fetch(display, window, utf8, owner.selection_timestamp, text)) {
            std::printf("%s\n", text.c_str());
        }
    }
}

} // namespace

int main(int argc, char* argv[]) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open the display\n");
        return 2;
    }
    if (argc == 3 && std::strcmp(argv[1], "close") == 0) {
        return Close(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
    }
    if (argc == 2 && std::strcmp(argv[1], "clipboard-manager") == 0) {
        return ClipboardManager(display);
    }
    if (argc == 2 && std::strcmp(argv[1], "history") == 0) {
        return History(display);
    }
    std::fprintf(stderr, "usage: %s close WINDOW | clipboard-manager | history\n", argv[0]);
    return 2;
}
