#pragma once

#include <QRect>
#include <QWidget>

#include <optional>

namespace kelvorin::qt {

// Where the window's outer frame is on the X server: the window manager's frame around it, or
// the window itself where there is no manager. Qt's own frameGeometry() says where Qt asked the
// window to go, which a manager may not have carried out yet. In Qt's device-independent
// pixels, as move() and resize() take them. Empty when not on X11 or when the server cannot
// tell.
std::optional<QRect> X11Frame(const QWidget& window);

} // namespace kelvorin::qt
