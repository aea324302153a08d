#include "platform/qt/main_window.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

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

// Reads what the compositor has sent up to now: Qt learns that another program copied only when
// it reads its events, and none are read once the event loop has stopped.
void ReadCompositorEvents() {
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* display = native == nullptr
                        ? nullptr
                        : static_cast<wl_display*>(native->nativeResourceForIntegration(
                              QByteArrayLiteral("wl_display")));
    if (display != nullptr) {
        wl_display_roundtrip(display);
    }
}

} // namespace

void MainWindow::SetUpClipboard() {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &MainWindow::SettleClipboard);
    // The clipboard took what the box copies during its own cut (not placed by us): the box's
    // change that follows within the same cut is a cut.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        if (boxCutting_ && !placing_) {
            boxCopied_ = true;
        }
    });
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
    const QScopedValueRollback placing(placing_, true);
    QGuiApplication::clipboard()->setMimeData(TextData(QStringView(text).toString(), history));
}

void MainWindow::ClearClipboard() {
    const QScopedValueRollback placing(placing_, true);
    QGuiApplication::clipboard()->clear();
}

// Whether the clipboard is ours now. Qt learns that another program copied only when it next
// reads its events, and asked for the text meanwhile, it could give that program's text to be
// placed as ours. On X11 the server is asked; on Wayland the compositor's word is read first.
bool MainWindow::OwnsClipboard() const {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 != nullptr && x11->connection() != nullptr) {
        return OwnClipboardWindow(x11->connection()).has_value();
    }
    if (OnWayland()) {
        ReadCompositorEvents();
    }
    return QGuiApplication::clipboard()->ownsClipboard();
}

// Only while the clipboard still holds our marked text: a text that another program, or the
// box's own Ctrl+C, put there meanwhile stays. Still ours after Qt gave the text, Qt gave it from
// its own copy.
void MainWindow::SettleClipboard() {
    settle_.stop();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!OwnsClipboard()) {
        return;
    }
    const QMimeData* data = clipboard->mimeData();
    if (data != nullptr && data->hasFormat(kSkipHistory) && OwnsClipboard()) {
        const QScopedValueRollback placing(placing_, true);
        clipboard->setMimeData(TextData(data->text(), History::Keep));
    }
}

std::optional<KeptClipboard> MainWindow::ClipboardToKeep(const std::string& display) {
    SettleClipboard();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (OnWayland()) {
        // The compositor drops our selection with us; Wayland programs read it from wl-copy.
        const QString text = OwnsClipboard() ? clipboard->text() : QString();
        if (!text.isEmpty()) {
            HandToWlCopy(text);
        }
        return std::nullopt;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> owner = OwnClipboardWindow(x11->connection());
    const QString text = owner ? clipboard->text() : QString();
    // The same window of ours before and after Qt gave the text: nobody copied in between, and
    // Qt gave it from its own copy.
    if (text.isEmpty() || OwnClipboardWindow(x11->connection()) != owner) {
        return std::nullopt;
    }
    // Through XWayland the X keeper serves X programs only; Wayland programs read wl-copy.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        HandToWlCopy(text);
    }
    if (IsRemoteDisplay(display)) {
        return std::nullopt;
    }
    return KeptClipboard{text.toUtf8().toStdString(), text.toLatin1().toStdString(), *owner,
                         display};
}

} // namespace kelvorin::qt
