#include "platform/qt/x11_clipboard.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

namespace kelvorin::qt {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

enum Name { Clipboard, Targets, Timestamp, Utf8String, Text, PlainUtf8, Plain, NameCount };
constexpr std::array<const char*, NameCount> kNames = {
    "CLIPBOARD", "TARGETS", "TIMESTAMP", "UTF8_STRING", "TEXT", "text/plain;charset=utf-8",
    "text/plain"};
using Atoms = std::array<xcb_atom_t, NameCount>;

// All names in one round trip; false if the server answered none for one of them.
bool InternAtoms(xcb_connection_t* connection, Atoms& atoms) {
    std::array<xcb_intern_atom_cookie_t, NameCount> cookies{};
    for (int name = 0; name < NameCount; ++name) {
        cookies[name] = xcb_intern_atom(
            connection, 0, static_cast<std::uint16_t>(std::strlen(kNames[name])), kNames[name]);
    }
    bool all = true;
    for (int name = 0; name < NameCount; ++name) {
        const ReplyPtr<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection, cookies[name], nullptr));
        atoms[name] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        all = all && reply;
    }
    return all;
}

std::optional<xcb_window_t> Owner(xcb_connection_t* connection, xcb_atom_t selection) {
    const ReplyPtr<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    if (!reply) {
        return std::nullopt;
    }
    return reply->owner;
}

// A server timestamp, from the PropertyNotify of an empty append to our own window: claiming
// with it, rather than with CurrentTime, loses to a program that copies after this moment.
xcb_timestamp_t ServerTime(xcb_connection_t* connection, xcb_window_t window) {
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                        8, 0, nullptr);
    xcb_flush(connection);
    while (const ReplyPtr<xcb_generic_event_t> event{xcb_wait_for_event(connection)}) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            return reinterpret_cast<const xcb_property_notify_event_t*>(event.get())->time;
        }
    }
    return XCB_CURRENT_TIME;
}

class Server {
  public:
    Server(xcb_connection_t* connection, const Atoms& atoms, const KeptClipboard& kept,
           xcb_timestamp_t since)
        : connection_(connection), atoms_(atoms), kept_(kept), since_(since),
          maxBytes_(xcb_get_maximum_request_length(connection) * 4u) {}

    // Serves until the clipboard goes to another owner or the connection breaks.
    void Run() {
        while (const ReplyPtr<xcb_generic_event_t> event{xcb_wait_for_event(connection_)}) {
            const int type = event->response_type & 0x7f;
            if (type == XCB_SELECTION_CLEAR) {
                return;
            }
            if (type == XCB_SELECTION_REQUEST) {
                Answer(*reinterpret_cast<const xcb_selection_request_event_t*>(event.get()));
                xcb_flush(connection_);
            }
        }
    }

  private:
    // Answers with the property set, or with none where it refuses: a request from before our
    // claim, or a target it does not offer.
    void Answer(const xcb_selection_request_event_t& request) {
        // Obsolete requestors name no property: the target is the property then.
        const xcb_atom_t property =
            request.property != XCB_ATOM_NONE ? request.property : xcb_atom_t{request.target};
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = Convert(request, property) ? property : xcb_atom_t{XCB_ATOM_NONE};
        xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
    }

    bool Convert(const xcb_selection_request_event_t& request, xcb_atom_t property) {
        if (request.selection != atoms_[Clipboard] ||
            (request.time != XCB_CURRENT_TIME && request.time < since_)) {
            return false;
        }
        const xcb_atom_t target = request.target;
        const xcb_window_t requestor = request.requestor;
        if (target == atoms_[Targets]) {
            const std::array<xcb_atom_t, 7> offered = {
                atoms_[Targets], atoms_[Timestamp], atoms_[Utf8String], atoms_[PlainUtf8],
                atoms_[Plain],   XCB_ATOM_STRING,   atoms_[Text]};
            return Put(requestor, property, XCB_ATOM_ATOM, 32, offered.size(), offered.data());
        }
        if (target == atoms_[Timestamp]) {
            return Put(requestor, property, XCB_ATOM_INTEGER, 32, 1, &since_);
        }
        if (target == XCB_ATOM_STRING) {
            return Put(requestor, property, XCB_ATOM_STRING, 8, kept_.latin1.size(),
                       kept_.latin1.data());
        }
        if (target == atoms_[Utf8String] || target == atoms_[Text] || target == atoms_[PlainUtf8] ||
            target == atoms_[Plain]) {
            const xcb_atom_t type = target == atoms_[Text] ? atoms_[Utf8String] : target;
            return Put(requestor, property, type, 8, kept_.utf8.size(), kept_.utf8.data());
        }
        return false;
    }

    // The longest text, 32,767 UTF-16 units, is at most 98,301 bytes of UTF-8, within the
    // 262,140 bytes of a request even without BIG-REQUESTS: no INCR transfer is needed.
    bool Put(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, std::uint8_t format,
             std::size_t count, const void* data) {
        constexpr std::size_t kRequestHeader = 24;
        if (count * (format / 8) + kRequestHeader > maxBytes_) {
            return false;
        }
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, requestor, property, type, format,
                            static_cast<std::uint32_t>(count), data);
        return true;
    }

    xcb_connection_t* connection_;
    const Atoms& atoms_;
    const KeptClipboard& kept_;
    const xcb_timestamp_t since_;
    const std::size_t maxBytes_;
};

// The serving process keeps no terminal, no working folder and, but for its connection to the
// X server, none of the files the program had open: a shell or a test that waits for the
// program's output, or for a pipe it inherited, would otherwise wait for this process too.
void Detach(int keep) {
    setsid();
    if (chdir("/") != 0) {
        // It serves all the same.
    }
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
    }
    const auto first = static_cast<unsigned>(STDERR_FILENO + 1);
    const auto kept = static_cast<unsigned>(keep);
    if (kept > first) {
        close_range(first, kept - 1, 0);
    }
    close_range(kept + 1, ~0u, 0);
}

} // namespace

std::optional<std::uint32_t> ClipboardOwner(xcb_connection_t* connection) {
    Atoms atoms{};
    if (!InternAtoms(connection, atoms)) {
        return std::nullopt;
    }
    return Owner(connection, atoms[Clipboard]);
}

void ServeAfterEnd(const KeptClipboard& kept, const std::string& display) {
    xcb_connection_t* connection =
        xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
    Atoms atoms{};
    if (xcb_connection_has_error(connection) != 0 || !InternAtoms(connection, atoms)) {
        xcb_disconnect(connection);
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    const xcb_timestamp_t now = ServerTime(connection, window);
    // The server may not have seen yet that our Qt connection closed: its window still counts.
    const std::optional<xcb_window_t> owner = Owner(connection, atoms[Clipboard]);
    if (now == XCB_CURRENT_TIME || !owner || (*owner != XCB_WINDOW_NONE && *owner != kept.owner)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_set_selection_owner(connection, window, atoms[Clipboard], now);
    if (Owner(connection, atoms[Clipboard]) != window) {
        xcb_disconnect(connection);
        return;
    }
    // Both processes share the connection's socket; xcb_disconnect would shut it down for the
    // server too, so this process leaves it to the end of the process.
    if (fork() == 0) {
        Detach(xcb_get_file_descriptor(connection));
        Server(connection, atoms, kept, now).Run();
        _exit(0);
    }
}

} // namespace kelvorin::qt
