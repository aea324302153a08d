#include "platform/qt/x11_clipboard.h"

#include "platform/qt/x11_keeper.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include <xcb/xcb.h>

namespace kelvorin::qt {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

} // namespace

std::optional<std::uint32_t> OwnClipboardWindow(xcb_connection_t* connection) {
    constexpr std::string_view kClipboard = "CLIPBOARD";
    const ReplyPtr<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(kClipboard.size()),
                        kClipboard.data()),
        nullptr));
    const ReplyPtr<xcb_get_selection_owner_reply_t> owner(
        atom ? xcb_get_selection_owner_reply(
                   connection, xcb_get_selection_owner(connection, atom->atom), nullptr)
             : nullptr);
    // The server gives each connection its own range of ids.
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (!owner || owner->owner == XCB_WINDOW_NONE ||
        (owner->owner & ~setup->resource_id_mask) != setup->resource_id_base) {
        return std::nullopt;
    }
    return owner->owner;
}

bool IsRemoteDisplay(const std::string& display) {
    const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
    if (name == nullptr) {
        return false;
    }
    // [protocol/][host]:display[.screen]; no host, or "unix", is this machine's socket.
    std::string_view host(name);
    const std::size_t colon = host.rfind(':');
    host = colon == std::string_view::npos ? std::string_view() : host.substr(0, colon);
    if (const std::size_t slash = host.find('/'); slash != std::string_view::npos) {
        host.remove_prefix(slash + 1);
    }
    return !host.empty() && host != "unix" && name[0] != '/';
}

void ServeAfterEnd(const KeptClipboard& kept) {
    // The program again, from its file (so that it is listed under its own name), else through
    // /proc; as a fresh process image, since a fork of a process with threads may only exec.
    std::array<char, PATH_MAX> path{};
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    const bool found = length > 0 && access(path.data(), X_OK) == 0;
    std::string name(kKeeperName);
    char* const argv[] = {name.data(), nullptr};
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[0], STDIN_FILENO);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t keeper = 0;
    const bool started = posix_spawn(&keeper, found ? path.data() : "/proc/self/exe", &actions,
                                     &attributes, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipe[0]);
    if (!started) {
        close(pipe[1]);
        return;
    }
    signal(SIGPIPE, SIG_IGN); // a keeper that gave up early must not end the program
    const std::string packed = PackKept(kept);
    for (std::size_t sent = 0; sent < packed.size();) {
        const ssize_t wrote = write(pipe[1], packed.data() + sent, packed.size() - sent);
        if (wrote <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(wrote);
    }
    // The writing end stays open, and the keeper waiting, until this process ends, however it
    // ends: a teardown cut short by the watchdog leaves the text served all the same.
}

} // namespace kelvorin::qt
