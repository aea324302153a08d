#include "platform/win32/main_window.h"

#include <cstring>
#include <utility>

namespace kelvorin::win32 {

namespace {

constexpr DWORD kClipboardWaitMs = 5;

// A busy clipboard is tried again this often, without waiting, so that input never waits.
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT kRetryMs = 250;

// A keystroke's text that has stood this long without a newer one goes into the histories.
constexpr UINT_PTR kStandingTimer = 2;
constexpr UINT kStandingMs = 1000;

// Windows' clipboard history and well-behaved clipboard managers leave out a placement that
// carries this format, whatever its data.
UINT ExcludeFromHistoryFormat() {
    return RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
}

// The clipboard, opened with our window as its owner (with no owner, EmptyClipboard leaves
// SetClipboardData nothing to attach the text to) and always closed again.
class OpenClipboardSession {
  public:
    OpenClipboardSession(HWND owner, int waits) {
        while (!(open_ = OpenClipboard(owner) != FALSE) && waits-- > 0) {
            Sleep(kClipboardWaitMs);
        }
    }
    OpenClipboardSession(const OpenClipboardSession&) = delete;
    OpenClipboardSession& operator=(const OpenClipboardSession&) = delete;
    ~OpenClipboardSession() { Close(); }
    explicit operator bool() const { return open_; }
    void Close() {
        if (open_) {
            CloseClipboard();
            open_ = false;
        }
    }

  private:
    bool open_ = false;
};

// A memory block for SetClipboardData, freed unless the clipboard took it over.
class GlobalBlock {
  public:
    GlobalBlock(const void* data, std::size_t bytes) : handle_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        void* locked = handle_ ? GlobalLock(handle_) : nullptr;
        if (!locked) {
            Free();
            return;
        }
        std::memcpy(locked, data, bytes);
        GlobalUnlock(handle_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    ~GlobalBlock() { Free(); }

    // True once the clipboard holds the block in `format`.
    bool HandTo(UINT format) {
        if (!handle_ || !SetClipboardData(format, handle_)) {
            return false;
        }
        handle_ = nullptr;
        return true;
    }

  private:
    void Free() {
        if (handle_) {
            GlobalFree(handle_);
            handle_ = nullptr;
        }
    }
    HGLOBAL handle_;
};

} // namespace

void MainWindow::SetClipboardText(Text text, History history) {
    Place({false, std::u16string(text), history == History::Skip, std::nullopt}, kClipboardWaits);
}

void MainWindow::ClearClipboard() { Place({true, {}, false, std::nullopt}, kClipboardWaits); }

// Opened with the box as the owner, as the box's own cut opens it: the change that follows is
// then told as a cut. An older placement still waiting would overwrite what was cut.
bool MainWindow::PlaceCutText(const std::wstring& text) {
    OpenClipboardSession clipboard(textBox_, kClipboardWaits);
    GlobalBlock block(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    if (!clipboard || !EmptyClipboard() || !block.HandTo(CF_UNICODETEXT)) {
        return false;
    }
    KillTimer(hwnd_, kRetryTimer);
    KillTimer(hwnd_, kStandingTimer);
    pending_.reset();
    standing_.reset();
    return true;
}

// A newer placement takes the place of one still pending or standing.
void MainWindow::Place(Placement placement, int waits) {
    KillTimer(hwnd_, kStandingTimer);
    standing_.reset();
    pending_ = std::move(placement);
    PlacePending(waits);
}

void MainWindow::PlacePending(int waits) {
    if (!pending_) {
        return;
    }
    OpenClipboardSession clipboard(hwnd_, waits);
    if (!clipboard) {
        SetTimer(hwnd_, kRetryTimer, kRetryMs, nullptr);
        return;
    }
    Placement& placement = *pending_;
    // Another program placed something since: that is what the user copied last.
    const bool ours =
        !placement.ifSequence ||
        (GetClipboardSequenceNumber() == *placement.ifSequence && GetClipboardOwner() == hwnd_);
    if (ours) {
        // Only the Unicode text: the system makes the ANSI and OEM forms from it on request.
        GlobalBlock text(placement.text.c_str(), (placement.text.size() + 1) * sizeof(wchar_t));
        if (!EmptyClipboard() || (!placement.clear && !text.HandTo(CF_UNICODETEXT))) {
            SetTimer(hwnd_, kRetryTimer, kRetryMs, nullptr);
            return;
        }
        if (placement.marked) {
            const char nothing = 0;
            placement.marked = GlobalBlock(&nothing, 1).HandTo(ExcludeFromHistoryFormat());
        }
        clipboard.Close();
        if (placement.marked) {
            placement.marked = false;
            placement.ifSequence = GetClipboardSequenceNumber();
            standing_ = std::move(placement);
            SetTimer(hwnd_, kStandingTimer, kStandingMs, nullptr);
        }
    }
    pending_.reset();
    KillTimer(hwnd_, kRetryTimer);
}

// Places the last marked text once more without the mark, if the clipboard still holds it; or
// takes the mark off a text still waiting for a busy clipboard.
void MainWindow::PlaceStandingUnmarked(int waits) {
    KillTimer(hwnd_, kStandingTimer);
    if (pending_) {
        pending_->marked = false;
        PlacePending(waits);
    } else if (standing_) {
        pending_ = std::move(standing_);
        standing_.reset();
        PlacePending(waits);
    }
}

void MainWindow::OnClipboardTimer(UINT_PTR id) {
    if (id == kRetryTimer) {
        PlacePending(0);
    } else if (id == kStandingTimer) {
        PlaceStandingUnmarked(0);
    }
}

} // namespace kelvorin::win32
