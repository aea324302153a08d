// A click of "Do" on the real Win32 window, timed, beside the floor measured in the same run; run
// it under Wine (tests/wine/bench.sh) or on Windows. Each click scrambles the last result again,
// as a user's clicks do, and is checked: one new order, shown in the box and on the clipboard.
//   win32_scramble_bench [lengths...]     default 1000 10000 32767
#include "bench/floor_scramble.h"
#include "platform/win32/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using kelvorin::win32::MainWindow;

constexpr int kClicks = 10;

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
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

// The mean time of one floor scramble of n characters, over at least a fifth of a second.
double FloorMs(std::size_t n) {
    const std::u16string input = kelvorin::bench::Letters(n);
    std::vector<std::u16string> slots;
    std::u16string result;
    long runs = 0;
    const auto start = Clock::now();
    do {
        kelvorin::bench::FloorScramble(input, slots, result);
        ++runs;
    } while (Milliseconds(start) < 200.0 || runs < 10);
    return Milliseconds(start) / static_cast<double>(runs);
}

struct Clicks {
    double meanMs = 0;
    double slowestMs = 0;
    bool ok = true;
};

// Clicks through the window procedure, as a mouse click delivers them, each followed by the
// repaint of the box that the user waits for.
Clicks TimeClicks(MainWindow& window, std::size_t n) {
    const HWND box = GetDlgItem(window.hwnd(), kelvorin::win32::kTextBox1Id);
    const HWND button = GetDlgItem(window.hwnd(), kelvorin::win32::kCommand1Id);
    const std::u16string letters = kelvorin::bench::Letters(n);
    SetWindowTextW(box, std::wstring(letters.begin(), letters.end()).c_str()); // as a paste would
    std::wstring sorted(letters.begin(), letters.end());
    std::sort(sorted.begin(), sorted.end());
    Clicks clicks;
    for (int i = 0; i < kClicks; ++i) {
        const std::wstring before = WindowText(box);
        const auto start = Clock::now();
        SendMessageW(window.hwnd(), WM_COMMAND,
                     MAKEWPARAM(kelvorin::win32::kCommand1Id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        UpdateWindow(box);
        const double ms = Milliseconds(start);
        clicks.meanMs += ms / kClicks;
        clicks.slowestMs = std::max(clicks.slowestMs, ms);
        std::wstring shown = WindowText(box);
        clicks.ok = clicks.ok && shown != before && shown == ClipboardText(window.hwnd());
        std::sort(shown.begin(), shown.end());
        clicks.ok = clicks.ok && shown == sorted;
    }
    return clicks;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> lengths;
    for (int i = 1; i < argc; ++i) {
        lengths.push_back(static_cast<std::size_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    if (lengths.empty()) {
        lengths = {1000, 10000, 32767};
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

    std::printf("%-8s %10s %10s %12s %8s %12s\n", "length", "floor (ms)", "click (ms)",
                "slowest (ms)", "x floor", "x at 10,000");
    std::map<std::size_t, double> clickMs;
    int status = 0;
    for (const std::size_t n : lengths) {
        const double floor = FloorMs(n);
        const Clicks clicks = TimeClicks(*window, n);
        clickMs[n] = clicks.meanMs;
        std::printf("%-8zu %10.3f %10.1f %12.1f %8.0f", n, floor, clicks.meanMs, clicks.slowestMs,
                    clicks.meanMs / floor);
        if (n == 32767 && clickMs.count(10000)) {
            std::printf(" %12.1f", clicks.meanMs / clickMs[10000]);
        }
        std::printf("%s\n", clicks.ok ? "" : "  WRONG RESULT");
        std::fflush(stdout);
        status = clicks.ok ? status : 1;
    }
    return status;
}
