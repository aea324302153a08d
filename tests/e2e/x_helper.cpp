// What the end-to-end test needs from an X desktop that Xvfb alone lacks.
//   x_helper close WINDOW        closes the window as a window manager does (WM_DELETE_WINDOW),
//                                then reports where it went until it was unmapped
//   x_helper clipboard-manager   keeps the clipboard's text after its owner ends, as desktop
//                                clipboard managers do (the SAVE_TARGETS handover)
//   x_helper owners              prints a line for each new owner of the clipboard, as a
//                                clipboard history sees each claim
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
#include <vector>

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
    const Atom saved = XInternAtom(display, "KELVORIN_TEST_SAVED", False);

    XSetSelectionOwner(display, manager, window, ServerTime(display, window));
    if (XGetSelectionOwner(display, manager) != window) {
        std::fprintf(stderr, "another clipboard manager runs\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::string text;
    bool holding = false;
    std::vector<XSelectionRequestEvent> waiting; // SAVE_TARGETS requests being served
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionRequest) {
            const XSelectionRequestEvent& request = event.xselectionrequest;
            const Atom property = request.property != None ? request.property : request.target;
            if (request.selection == manager && request.target == saveTargets) {
                waiting.push_back(request);
                XConvertSelection(display, clipboard, utf8, saved, window, request.time);
            } else if (request.selection == clipboard && holding && request.target == targets) {
                const Atom offered[] = {targets, utf8, plainUtf8};
                XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(offered), 3);
                Reply(display, request, property);
            } else if (request.selection == clipboard && holding &&
                       (request.target == utf8 || request.target == plainUtf8)) {
                XChangeProperty(display, request.requestor, property, request.target, 8,
                                PropModeReplace,
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
                Reply(display, request, property);
            } else {
                Reply(display, request, None);
            }
        } else if (event.type == SelectionNotify && event.xselection.selection == clipboard) {
            bool took = false;
            if (event.xselection.property != None) {
                Atom type;
                int format;
                unsigned long count;
                unsigned long after;
                unsigned char* data = nullptr;
                if (XGetWindowProperty(display, window, saved, 0, 1 << 24, True, AnyPropertyType,
                                       &type, &format, &count, &after, &data) == Success &&
                    type == utf8 && format == 8) {
                    text.assign(reinterpret_cast<const char*>(data), count);
                    XSetSelectionOwner(display, clipboard, window, ServerTime(display, window));
                    holding = XGetSelectionOwner(display, clipboard) == window;
                    took = holding;
                }
                if (data != nullptr) {
                    XFree(data);
                }
            }
            for (const XSelectionRequestEvent& request : waiting) {
                Reply(display, request, took ? request.property : None);
            }
            waiting.clear();
        } else if (event.type == SelectionClear && event.xselectionclear.selection == clipboard) {
            holding = false;
        }
        XFlush(display);
    }
}

int Owners(Display* display) {
    int eventBase = 0;
    int errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase)) {
        std::fprintf(stderr, "no XFixes\n");
        return 2;
    }
    XFixesSelectSelectionInput(display, DefaultRootWindow(display),
                               XInternAtom(display, "CLIPBOARD", False),
                               XFixesSetSelectionOwnerNotifyMask);
    XSync(display, False);
    std::printf("ready\n");
    for (;;) {
        std::fflush(stdout);
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == eventBase + XFixesSelectionNotify) {
            std::printf("owner\n");
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
    if (argc == 2 && std::strcmp(argv[1], "owners") == 0) {
        return Owners(display);
    }
    std::fprintf(stderr, "usage: %s close WINDOW | clipboard-manager | owners\n", argv[0]);
    return 2;
}
