#include "platform/win32/main_window.h"

#include <commctrl.h>

#include <string>

namespace kelvorin::win32 {

namespace {

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

Text View(const std::wstring& text) {
    return Text(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

} // namespace

// Replacing the selected whole text is one edit that Ctrl+Z takes back in one step, and it is
// much faster than WM_SETTEXT under Wine; WM_SETTEXT would also leave nothing to undo. The
// EN_CHANGE it raises is its echo, and not the user's edit.
void MainWindow::ShowText(Text text) {
    if (View(TextOf(textBox_)) == text) {
        return;
    }
    const std::wstring shown(text.begin(), text.end());
    showingText_ = true;
    SendMessageW(textBox_, EM_SETSEL, 0, -1);
    SendMessageW(textBox_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(shown.c_str()));
    showingText_ = false;
    if (static_cast<std::size_t>(GetWindowTextLengthW(textBox_)) != text.size()) {
        throw PlatformError("the box did not take the text");
    }
}

void MainWindow::TakeFocus() {
    SetFocus(textBox_);
    if (GetFocus() != textBox_) {
        throw PlatformError("the text box did not take the focus");
    }
    lastFocus_ = textBox_;
}

// The box cuts by putting the selection on the clipboard, opened with its own window, and then
// removing it, all within one message, whatever asked for it (Ctrl+X, Shift+Delete, its context
// menu, WM_CUT from another program). Each outermost message notes the clipboard first.
LRESULT CALLBACK MainWindow::TextBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self) noexcept {
    auto& window = *reinterpret_cast<MainWindow*>(self);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, TextBoxProc, id);
    }
    if (window.textBoxDepth_++ == 0) {
        window.clipboardBeforeTextBox_ = GetClipboardSequenceNumber();
    }
    // Ctrl+X, Shift+Delete and WM_CUT (the box's menu sends it) cut here, not in the box.
    const bool cut = message == WM_CUT || (message == WM_CHAR && wParam == 0x18) ||
                     (message == WM_KEYDOWN && wParam == VK_DELETE && GetKeyState(VK_SHIFT) < 0 &&
                      GetKeyState(VK_CONTROL) >= 0);
    const LRESULT result =
        cut && window.CutSelection() ? 0 : DefSubclassProc(hwnd, message, wParam, lParam);
    --window.textBoxDepth_;
    return result;
}

// The box's own cut leaves the text on the clipboard only while the clipboard is free: it puts
// the selection there and removes it whatever happened. Here the selection leaves the box only
// once the clipboard holds it; while another program keeps the clipboard open past the usual
// short wait, the cut is refused and the text stays. False when nothing is selected.
bool MainWindow::CutSelection() {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(textBox_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    if (start >= end) {
        return false;
    }
    if (PlaceCutText(TextOf(textBox_).substr(start, end - start))) {
        SendMessageW(textBox_, WM_CLEAR, 0, 0); // undoable, as the box's own cut
    }
    return true;
}

// A copy by Ctrl+C an earlier message made leaves the box the owner too: what tells a cut is
// that the clipboard changed within this one.
Edit MainWindow::EditJustMade() const {
    const bool cut = textBoxDepth_ > 0 && GetClipboardOwner() == textBox_ &&
                     GetClipboardSequenceNumber() != clipboardBeforeTextBox_;
    return cut ? Edit::Cut : Edit::Change;
}

void MainWindow::OnTextBoxChanged(Edit edit) {
    if (showingText_) {
        return;
    }
    // A paste raises EN_CHANGE while the EDIT control still holds the clipboard open, where
    // the mirror cannot open it: take the change up once the paste is over, before any
    // further input (posted messages come first).
    const HWND holder = GetOpenClipboardWindow();
    if (holder && GetWindowThreadProcessId(holder, nullptr) == GetCurrentThreadId()) {
        PostMessageW(hwnd_, kTextBoxChangedLater, static_cast<WPARAM>(edit), 0);
        return;
    }
    const std::wstring edited = TextOf(textBox_);
    // The EDIT control cuts a paste at its limit even inside a character; the box's limit is
    // taken here, between characters. Removing the rest changes the text again, and that change
    // is the one to report.
    if (edited.size() > static_cast<std::size_t>(design::kTextBoxMaxLength)) {
        DWORD caret = 0;
        SendMessageW(textBox_, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
        const std::size_t cut = InsertionCut(View(edited), caret, host_.ReadText(),
                                             static_cast<std::size_t>(design::kTextBoxMaxLength));
        if (cut < caret) {
            SendMessageW(textBox_, EM_SETSEL, cut, caret);
            SendMessageW(textBox_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
            return;
        }
    }
    host_.Edited(View(edited), edit);
}

} // namespace kelvorin::win32
