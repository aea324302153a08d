#include "platform/qt/main_window.h"

#include <QClipboard>
#include <QGuiApplication>

namespace kelvorin::qt {

// On X11 each call claims the CLIPBOARD selection, which every clipboard history sees.
void MainWindow::SetClipboardText(Text text, History) {
    QGuiApplication::clipboard()->setText(QStringView(text).toString());
}

void MainWindow::ClearClipboard() { QGuiApplication::clipboard()->clear(); }

} // namespace kelvorin::qt
