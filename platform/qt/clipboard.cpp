#include "platform/qt/main_window.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>

namespace kelvorin::qt {

namespace {

// Klipper's mark for a text that a clipboard history should pass over, and CopyQ's own: Debian
// 12's CopyQ 6.4 knows only its own. It then takes the same text placed unmarked for no change
// and keeps no entry for it: that version keeps a click's result, and no typed text.
const QString kSkipHistory = QStringLiteral("x-kde-passwordManagerHint");
const QString kCopyQHidden = QStringLiteral("application/x-copyq-hidden");

// The text as a clipboard history may keep it, or marked for histories to pass over.
QMimeData* TextData(const QString& text, History history) {
    auto* data = new QMimeData;
    data->setText(text);
    if (history == History::Skip) {
        data->setData(kSkipHistory, QByteArrayLiteral("secret"));
        data->setData(kCopyQHidden, QByteArrayLiteral("1"));
    }
    return data;
}

// How long a typed text stands unchanged before a clipboard history may keep it.
constexpr int kSettleMs = 1000;

// A Wayland compositor drops a client's selection when the client ends; wl-copy serves it on,
// in the background, until another program copies.
void HandToWlCopy(const QString& text) {
    const QString wlCopy = QStandardPaths::findExecutable(QStringLiteral("wl-copy"));
    if (wlCopy.isEmpty()) {
        return;
    }
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(wlCopy, {QStringLiteral("--type"), QStringLiteral("text/plain;charset=utf-8")});
    if (process.waitForStarted(1000)) {
        process.write(text.toUtf8());
        process.closeWriteChannel();
        process.waitForFinished(2000); // it leaves once its background copy holds the text
    }
}

} // namespace

void MainWindow::SetUpClipboard() {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &MainWindow::SettleClipboard);
}

// On X11 each call claims the CLIPBOARD selection, which every clipboard history sees. A
// keystroke's text goes out marked, so that histories skip it, and once it has stood for a
// moment it is placed again unmarked: one entry per pause in typing, not one per keystroke.
void MainWindow::SetClipboardText(Text text, History history) {
    if (history == History::Skip) {
        settle_.start();
    } else {
        settle_.stop();
    }
    QGuiApplication::clipboard()->setMimeData(TextData(QStringView(text).toString(), history));
}

void MainWindow::ClearClipboard() { QGuiApplication::clipboard()->clear(); }

// Only while the clipboard still holds our marked text: a text that another program, or the
// box's own Ctrl+C, put there meanwhile stays.
void MainWindow::SettleClipboard() {
    settle_.stop();
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->ownsClipboard() ? clipboard->mimeData() : nullptr;
    if (data != nullptr && data->hasFormat(kSkipHistory)) {
        clipboard->setMimeData(TextData(data->text(), History::Keep));
    }
}

std::optional<KeptClipboard> MainWindow::ClipboardToKeep() {
    SettleClipboard();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->ownsClipboard()) {
        return std::nullopt;
    }
    const QString text = clipboard->text();
    // Wayland programs read the text from wl-copy, whether the program ran on Wayland itself or
    // on X11 through XWayland, whose X keeper below serves X programs only.
    if (OnWayland() || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        HandToWlCopy(text);
    }
    if (OnWayland()) {
        return std::nullopt;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const std::optional<std::uint32_t> owner = x11 != nullptr && x11->connection() != nullptr
                                                   ? ClipboardOwner(x11->connection())
                                                   : std::nullopt;
    if (!owner) {
        return std::nullopt;
    }
    return KeptClipboard{text.toUtf8().toStdString(), text.toLatin1().toStdString(), *owner};
}

} // namespace kelvorin::qt
