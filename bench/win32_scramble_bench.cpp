// A click of "Do" in the real Win32 window, timed, on texts of several lengths; run it under
// Wine (tests/wine/bench.sh) or on Windows. Beside it, two references on the same desktop:
// the clipboard placements alone that every scramble has to make, and the straightforward
// adapter that updates the EDIT control on every write.
//   win32_scramble_bench [lengths...]     default 1000 2000 10000 32767
#include "platform/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kelvorin::win32::MainWindow;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::wstring Letters(std::size_t length) {
    std::wstring text;
    for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<wchar_t>(L'a' + i % 26);
    }
    return text;
}

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClipboardText(HWND owner) {
    std::wstring text;
    if (OpenClipboard(owner)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
                text = chars;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
    }
    return text;
}

void Place(HWND owner, const std::wstring& text) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(GlobalLock(block)));
    GlobalUnlock(block);
    OpenClipboard(owner);
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, block)) {
        GlobalFree(block);
    }
    CloseClipboard();
}

// One click through the window procedure, as a mouse click delivers it.
double TimeClick(MainWindow& window, std::size_t length, bool& ok) {
    const HWND box = GetDlgItem(window.hwnd(), kelvorin::win32::kTextBox1Id);
    const HWND button = GetDlgItem(window.hwnd(), kelvorin::win32::kCommand1Id);
    const std::wstring input = Letters(length);
    SetWindowTextW(box, input.c_str()); // as a paste would: one change, one placement
    const auto start = Clock::now();
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(kelvorin::win32::kCommand1Id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    const double seconds = Seconds(start);
    std::wstring shown = WindowText(box);
    const std::wstring placed = ClipboardText(window.hwnd());
    std::wstring sortedInput = input;
    std::sort(sortedInput.begin(), sortedInput.end());
    ok = shown == placed && shown != input;
    std::sort(shown.begin(), shown.end());
    ok = ok && shown == sortedInput;
    return seconds;
}

// The n + 1 placements of the scramble's writes, and nothing else.
double TimePlacements(HWND owner, std::size_t length) {
    const std::wstring input = Letters(length);
    const auto start = Clock::now();
    for (std::size_t size = 0; size <= length; ++size) {
        Place(owner, input.substr(0, size));
    }
    return Seconds(start);
}

// The adapter without its own copy of the text: every write goes to the EDIT control.
double TimeEditEveryWrite(HWND parent, std::size_t length) {
    const HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0,
                                      300, 25, parent, nullptr, nullptr, nullptr);
    const std::wstring input = Letters(length);
    const auto start = Clock::now();
    SetWindowTextW(edit, L"");
    Place(parent, L"");
    for (std::size_t size = 1; size <= length; ++size) {
        std::wstring text = WindowText(edit);
        text += input[size - 1];
        SetWindowTextW(edit, text.c_str());
        Place(parent, WindowText(edit));
    }
    const double seconds = Seconds(start);
    DestroyWindow(edit);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> lengths;
    for (int i = 1; i < argc; ++i) {
        lengths.push_back(static_cast<std::size_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    if (lengths.empty()) {
        lengths = {1000, 2000, 10000, 32767};
    }
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!MainWindow::Register(instance)) {
        return 1;
    }
    const auto window = MainWindow::Create(instance);
    if (!window) {
        return 1;
    }
    window->Show(SW_SHOWNORMAL);

    std::printf("%8s %14s %14s %16s\n", "length", "click (s)", "placements (s)",
                "EDIT per write (s)");
    int status = 0;
    for (const std::size_t length : lengths) {
        bool ok = false;
        const double click = TimeClick(*window, length, ok);
        const double placements = TimePlacements(window->hwnd(), length);
        // Quadratic and slow: measured only where it ends in seconds.
        std::string every = "-";
        if (length <= 2000) {
            every = std::to_string(TimeEditEveryWrite(window->hwnd(), length));
        }
        std::printf("%8zu %14.3f %14.3f %16s%s\n", length, click, placements, every.c_str(),
                    ok ? "" : "  WRONG RESULT");
        std::fflush(stdout);
        if (!ok) {
            status = 1;
        }
    }
    return status;
}
