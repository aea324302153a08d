#pragma once

#include "platform/qt/x11_clipboard.h"

#include <optional>
#include <string>
#include <string_view>

namespace kelvorin::qt {

// The keeper: this program again, started by ServeAfterEnd under this name, with what to keep on
// its standard input.
inline constexpr std::string_view kKeeperName = "kelvorin-clipboard-keeper";

// What the program writes to its keeper: the owner's window, the display and the text in both
// encodings, each field after its length on a line of its own. Unpack takes nothing that is cut
// short or runs on past the last field.
std::string PackKept(const KeptClipboard& kept);
std::optional<KeptClipboard> UnpackKept(std::string_view packed);

// The keeper's side: whether this process was started as one, and its whole run, reading what
// to keep from `input` until the program has ended. Returns the exit status.
bool IsKeeper(const char* argv0);
int RunKeeper(int input);

} // namespace kelvorin::qt
