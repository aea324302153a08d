#include "platform/qt/x11_keeper.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <xcb/xcb.h>

namespace kelvorin::qt {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

// clang-format off
enum Name { Clipboard, Targets, Timestamp, Multiple, AtomPair, Utf8String, Text, PlainUtf8, Plain,
            NameCount };
constexpr std::array<const char*, NameCount> kNames = {
    "CLIPBOARD", "TARGETS", "TIMESTAMP", "MULTIPLE", "ATOM_PAIR", "UTF8_STRING", "TEXT",
    "text/plain;charset=utf-8", "text/plain"};
// clang-format on
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
    // claim, another selection, a target it does not offer, or a property it could not write.
    void Answer(const xcb_selection_request_event_t& request) {
        // Obsolete requestors name no property: the target is the property then.
        const xcb_atom_t property =
            request.property != XCB_ATOM_NONE ? request.property : xcb_atom_t{request.target};
        // Server time wraps after 49 days: "before" is within half the circle.
        const bool current = request.time == XCB_CURRENT_TIME ||
                             static_cast<std::int32_t>(request.time - since_) >= 0;
        const bool done = request.selection == atoms_[Clipboard] && current &&
                          (request.target == atoms_[Multiple]
                               ? ConvertMultiple(request.requestor, request.property)
                               : Convert(request.requestor, request.target, property));
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = done ? property : xcb_atom_t{XCB_ATOM_NONE};
        xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&notify));
    }

    bool Convert(xcb_window_t requestor, xcb_atom_t target, xcb_atom_t property) {
        if (target == atoms_[Targets]) {
            const std::array<xcb_atom_t, 8> offered = {
                atoms_[Targets],   atoms_[Timestamp], atoms_[Multiple], atoms_[Utf8String],
                atoms_[PlainUtf8], atoms_[Plain],     XCB_ATOM_STRING,  atoms_[Text]};
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

    // MULTIPLE names (target, property) pairs in the requestor's property; each is converted on
    // its own, and a pair that fails gets None for its property, as ICCCM 2.6.2 has it.
    bool ConvertMultiple(xcb_window_t requestor, xcb_atom_t property) {
        if (property == XCB_ATOM_NONE) {
            return false;
        }
        const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, requestor, property, atoms_[AtomPair], 0, 1024),
            nullptr));
        if (!reply || reply->format != 32 || reply->type != atoms_[AtomPair]) {
            return false;
        }
        const auto* first = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        std::vector<xcb_atom_t> pairs(first,
                                      first + xcb_get_property_value_length(reply.get()) / 4);
        pairs.resize(pairs.size() / 2 * 2);
        for (std::size_t i = 0; i < pairs.size(); i += 2) {
            const bool done = pairs[i] != atoms_[Multiple] && pairs[i + 1] != XCB_ATOM_NONE &&
                              Convert(requestor, pairs[i], pairs[i + 1]);
            pairs[i + 1] = done ? pairs[i + 1] : xcb_atom_t{XCB_ATOM_NONE};
        }
        return Put(requestor, property, atoms_[AtomPair], 32, pairs.size(), pairs.data());
    }

    // The longest text, 32,767 UTF-16 units, is at most 98,301 bytes of UTF-8, within the
    // 262,140 bytes of a request even without BIG-REQUESTS: no INCR transfer is needed. A write
    // the server refused (a requestor gone, a bad property) is no answer.
    bool Put(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, std::uint8_t format,
             std::size_t count, const void* data) {
        constexpr std::size_t kRequestHeader = 24;
        if (count * (format / 8) + kRequestHeader > maxBytes_) {
            return false;
        }
        const ReplyPtr<xcb_generic_error_t> error(xcb_request_check(
            connection_,
            xcb_change_property_checked(connection_, XCB_PROP_MODE_REPLACE, requestor, property,
                                        type, format, static_cast<std::uint32_t>(count), data)));
        return !error;
    }

    xcb_connection_t* connection_;
    const Atoms& atoms_;
    const KeptClipboard& kept_;
    const xcb_timestamp_t since_;
    const std::size_t maxBytes_;
};

// Takes the clipboard for `window` if nobody took it since `kept` held it: its owner is still
// that window of the ended program's (the server may not have seen its connection go yet), or
// none since it went; not a clipboard manager's, to which Qt handed it over. The server is
// grabbed meanwhile, so that no copy by another program falls between the look and the claim.
std::optional<xcb_timestamp_t> Claim(xcb_connection_t* connection, const Atoms& atoms,
                                     xcb_window_t window, xcb_window_t kept) {
    xcb_grab_server(connection);
    const xcb_timestamp_t now = ServerTime(connection, window);
    const std::optional<xcb_window_t> owner = Owner(connection, atoms[Clipboard]);
    bool claimed =
        now != XCB_CURRENT_TIME && owner && (*owner == XCB_WINDOW_NONE || *owner == kept);
    if (claimed) {
        xcb_set_selection_owner(connection, window, atoms[Clipboard], now);
        claimed = Owner(connection, atoms[Clipboard]) == window;
    }
    xcb_ungrab_server(connection);
    xcb_flush(connection);
    return claimed ? std::optional(now) : std::nullopt;
}

// The keeper keeps no terminal, no working folder and none of the files the program had open: a
// shell or a test that waits for the program's output, or for a pipe it inherited, would
// otherwise wait for this process too. close_range came with Linux 5.9; before it, every
// descriptor the process may hold is closed one by one.
void Detach() {
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
    }
    if (close_range(STDERR_FILENO + 1, ~0u, 0) != 0) {
        rlimit limit{};
        const rlim_t last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                                ? limit.rlim_cur
                                : 1u << 20;
        for (rlim_t descriptor = STDERR_FILENO + 1; descriptor < last; ++descriptor) {
            close(static_cast<int>(descriptor));
        }
    }
    if (chdir("/") != 0) {
        // It serves all the same.
    }
}

} // namespace

std::string PackKept(const KeptClipboard& kept) {
    std::string packed = std::to_string(kept.owner) + "\n";
    for (const std::string* field : {&kept.display, &kept.utf8, &kept.latin1}) {
        packed += std::to_string(field->size()) + "\n" + *field;
    }
    return packed;
}

std::optional<KeptClipboard> UnpackKept(std::string_view packed) {
    KeptClipboard kept;
    const auto number = [&](auto& value) {
        const std::size_t end = packed.find('\n');
        if (end == std::string_view::npos || end == 0 || end > 10) {
            return false;
        }
        unsigned long long parsed = 0;
        for (const char digit : packed.substr(0, end)) {
            if (digit < '0' || digit > '9') {
                return false;
            }
            parsed = parsed * 10 + static_cast<unsigned>(digit - '0');
        }
        packed.remove_prefix(end + 1);
        value = static_cast<std::remove_reference_t<decltype(value)>>(parsed);
        return parsed <= UINT32_MAX;
    };
    const auto field = [&](std::string& value) {
        std::size_t size = 0;
        if (!number(size) || size > packed.size()) {
            return false;
        }
        value.assign(packed.substr(0, size));
        packed.remove_prefix(size);
        return true;
    };
    if (!number(kept.owner) || !field(kept.display) || !field(kept.utf8) || !field(kept.latin1) ||
        !packed.empty()) {
        return std::nullopt;
    }
    return kept;
}

bool IsKeeper(const char* argv0) { return argv0 != nullptr && argv0 == kKeeperName; }

int RunKeeper(int input) {
    // Until the program has ended: its end of the pipe closes only with it.
    std::string packed;
    std::array<char, 65536> buffer{};
    for (ssize_t got; (got = read(input, buffer.data(), buffer.size())) != 0;) {
        if (got < 0) {
            return 1;
        }
        packed.append(buffer.data(), static_cast<std::size_t>(got));
    }
    Detach();
    const std::optional<KeptClipboard> kept = UnpackKept(packed);
    if (!kept || kept->utf8.empty()) {
        return 1;
    }
    xcb_connection_t* connection =
        xcb_connect(kept->display.empty() ? nullptr : kept->display.c_str(), nullptr);
    Atoms atoms{};
    if (xcb_connection_has_error(connection) != 0 || !InternAtoms(connection, atoms)) {
        xcb_disconnect(connection);
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    const std::optional<xcb_timestamp_t> since = Claim(connection, atoms, window, kept->owner);
    if (since) {
        Server(connection, atoms, *kept, *since).Run();
    }
    xcb_disconnect(connection);
    return 0;
}

} // namespace kelvorin::qt
