// What the end-to-end test needs from an X desktop that Xvfb alone lacks.
//   x_helper close WINDOW       closes it as a window manager does (WM_DELETE_WINDOW), then
//                               reports where it went until it was destroyed
//   x_helper clipboard-manager  takes the clipboard over when its owner ends (SAVE_TARGETS)
#include <X11/Xlib.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

Display* display;
Atom Named(const char* name) { return XInternAtom(display, name, False); }

// The window may go between an event and the question about it: such errors are expected.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

int Close(Window window) {
    XSetErrorHandler(IgnoreErrors);
    XSelectInput(display, window, StructureNotifyMask);
    XWindowAttributes start;
    int x = 0, y = 0;
    Window child;
    if (!XGetWindowAttributes(display, window, &start) ||
        !XTranslateCoordinates(display, window, start.root, 0, 0, &x, &y, &child)) {
        return 2;
    }
    std::printf("before %d %d %d %d\n", x, y, start.width, start.height);
    XClientMessageEvent message{ClientMessage,         0,  True, display, window,
                                Named("WM_PROTOCOLS"), 32, {}};
    message.data.l[0] = static_cast<long>(Named("WM_DELETE_WINDOW"));
    XSendEvent(display, window, False, NoEventMask, reinterpret_cast<XEvent*>(&message));
    alarm(20); // a close that never ends ends the helper, without an "after" line
    int smallestWidth = start.width, smallestHeight = start.height, configures = 0;
    for (XEvent event; XNextEvent(display, &event), event.type != DestroyNotify;) {
        if (event.type == ConfigureNotify) {
            ++configures; // where it is on the screen, in a window manager's frame or not
            int nowX = 0, nowY = 0;
            if (XTranslateCoordinates(display, window, start.root, 0, 0, &nowX, &nowY, &child)) {
                x = nowX, y = nowY;
            }
            smallestWidth = std::min(smallestWidth, event.xconfigure.width);
            smallestHeight = std::min(smallestHeight, event.xconfigure.height);
        }
    }
    std::printf("after %d %d smallest %d %d configures %d\n", x, y, smallestWidth, smallestHeight,
                configures);
    return 0;
}

Bool IsSelectionNotify(Display*, XEvent* event, XPointer) { return event->type == SelectionNotify; }

// The clipboard's content in a target as of `time`, unless its owner refuses it. Other events
// stay queued.
std::optional<std::string> Fetch(Window window, Atom target, Time time) {
    const Atom property = Named("KELVORIN_TEST_FETCHED");
    XConvertSelection(display, Named("CLIPBOARD"), target, property, window, time);
    XEvent event;
    XIfEvent(display, &event, IsSelectionNotify, nullptr);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* value = nullptr;
    std::optional<std::string> data;
    if (event.xselection.property != None &&
        XGetWindowProperty(display, window, property, 0, 1 << 24, True, AnyPropertyType, &type,
                           &format, &count, &after, &value) == Success &&
        type != None) {
        data.emplace(value != nullptr ? reinterpret_cast<const char*>(value) : "", count);
    }
    XFree(value);
    return data;
}

int ClipboardManager(Window window) {
    const Atom manager = Named("CLIPBOARD_MANAGER"), clipboard = Named("CLIPBOARD");
    const Atom utf8 = Named("UTF8_STRING");
    XSetSelectionOwner(display, manager, window, CurrentTime);
    if (XGetSelectionOwner(display, manager) != window) {
        std::fprintf(stderr, "another clipboard manager runs\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string text;
    bool holding = false;
    for (XEvent event;;) {
        XNextEvent(display, &event);
        holding = holding &&
                  !(event.type == SelectionClear && event.xselectionclear.selection == clipboard);
        if (event.type != SelectionRequest) {
            continue;
        }
        const XSelectionRequestEvent& request = event.xselectionrequest;
        Atom answer = None;
        if (request.selection == manager && request.target == Named("SAVE_TARGETS")) {
            if (const auto saved = Fetch(window, utf8, request.time)) {
                text = *saved;
                XSetSelectionOwner(display, clipboard, window, CurrentTime);
                holding = XGetSelectionOwner(display, clipboard) == window;
                answer = holding ? request.property : None;
            }
        } else if (request.selection == clipboard && holding && request.target == utf8) {
            XChangeProperty(display, request.requestor, request.property, utf8, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
            answer = request.property;
        }
        XSelectionEvent reply{
            SelectionNotify, 0,      True,        display, request.requestor, request.selection,
            request.target,  answer, request.time};
        XSendEvent(display, request.requestor, False, NoEventMask,
                   reinterpret_cast<XEvent*>(&reply));
        XFlush(display);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    display = XOpenDisplay(nullptr);
    const std::string mode = argc > 1 && display != nullptr ? argv[1] : "";
    if (mode == "close" && argc == 3) {
        return Close(static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
    }
    if (mode == "clipboard-manager") {
        return ClipboardManager(
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0));
    }
    std::fprintf(stderr, "usage, with a display: %s close WINDOW | clipboard-manager\n", argv[0]);
    return 2;
}
