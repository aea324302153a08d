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
    std::uint32_t owner = 0; // the X window that holds the CLIPBOARD selection for us
};

// The X window that owns the CLIPBOARD selection now; none if the server cannot tell.
std::optional<std::uint32_t> ClipboardOwner(xcb_connection_t* connection);

// On X11 a selection's owner serves its text, so the text goes with the program that owned it.
// Call once the program's own X connection has closed, and with it Qt's handover to a clipboard
// manager: if the clipboard has an owner other than `kept.owner` now (the manager, or a program
// that copied meanwhile), this does nothing. Otherwise it takes the clipboard and leaves behind
// a process, forked from this one, that serves the text until another program takes the
// clipboard or the display goes, and then exits. Uses plain xcb and nothing of Qt. `display`
// names the X display as Qt's -display option does; empty for $DISPLAY.
void ServeAfterEnd(const KeptClipboard& kept, const std::string& display);

} // namespace kelvorin::qt
