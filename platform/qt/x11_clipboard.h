#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct xcb_connection_t;

namespace kelvorin::qt {

// The clipboard's text as the program leaves it, while the clipboard still holds it.
struct KeptClipboard {
    std::string utf8;
    std::string latin1;      // for the STRING target: '?' where Latin-1 lacks a character
    std::uint32_t owner = 0; // the X window of ours that holds the CLIPBOARD selection
    std::string display;     // the X display, as xcb_connect takes it; empty for $DISPLAY
};

// The window that owns the CLIPBOARD selection now, as the server says, if it is one of this
// connection's own windows: a program that copied since, whatever Qt last heard, is not us.
std::optional<std::uint32_t> OwnClipboardWindow(xcb_connection_t* connection);

// Whether the display is reached over the network (a host before the colon, as ssh -X gives):
// a process left serving there would keep the user's session open until someone copies.
bool IsRemoteDisplay(const std::string& display);

// On X11 a selection's owner serves its text, so the text goes with the program that owned it.
// Call before the toolkit's teardown (and with it Qt's handover to a clipboard manager), before
// anything may end the process. Starts a keeper: this program again, as a fresh process, which
// waits until this process has ended, however it ends; then, on a connection of its own, it
// takes the clipboard only while nobody else has taken it since `kept.owner` held it (a
// clipboard manager has not), and serves the text until another program takes the clipboard or
// the display goes.
void ServeAfterEnd(const KeptClipboard& kept);

} // namespace kelvorin::qt
