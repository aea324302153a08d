// Looks into the running Kelvorin window from another process for tests/wine/run.sh, since Wine
// draws the controls inside one X window where X tools cannot see them. Prints, as UTF-16:
//   probe          the client size, each control's id and rectangle, tooltips shown, the box's text
//   probe hold     "held", then holds the clipboard open until its standard input ends
//   probe show N   ShowWindow(window, N), as the taskbar does
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>

// WM_GETTEXT is marshalled between processes: the buffer's size is what crosses.
static std::wstring TextOf(HWND hwnd) {
    wchar_t text[40000] = L"";
    SendMessageW(hwnd, WM_GETTEXT, 40000, reinterpret_cast<LPARAM>(text));
    return text;
}

// Another process may have the clipboard open for a moment: the program, or Wine's bridge to X.
static bool OpenClipboardSoon() {
    for (int tries = 0; tries < 100; ++tries, Sleep(5)) {
        if (OpenClipboard(nullptr)) {
            return true;
        }
    }
    return false;
}

int main(int argc, char** argv) {
    // UTF-16: msvcrt's UTF-8 mode writes each half of a surrogate pair as U+FFFD.
    _setmode(_fileno(stdout), _O_U16TEXT);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "hold") {
        if (!OpenClipboardSoon()) {
            return 1;
        }
        std::wprintf(L"held\n");
        std::getchar();
        return CloseClipboard() ? 0 : 1;
    }
    const HWND form = FindWindowW(L"KelvorinForm1", L"Kelvorin");
    RECT rect;
    if (!form || !GetClientRect(form, &rect)) {
        return 1;
    }
    if (command == "show" && argc > 2) {
        ShowWindow(form, std::stoi(argv[2]));
        return 0;
    }
    std::wprintf(L"client %ld %ld\n", rect.right, rect.bottom);
    for (int id = 101; id <= 103; ++id) {
        GetWindowRect(GetDlgItem(form, id), &rect);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
        std::wprintf(L"control %d %ld %ld %ld %ld\n", id, rect.left, rect.top,
                     rect.right - rect.left, rect.bottom - rect.top);
    }
    for (HWND tip = nullptr; (tip = FindWindowExW(nullptr, tip, L"tooltips_class32", nullptr));) {
        if (IsWindowVisible(tip)) {
            std::wprintf(L"tooltip [%ls]\n", TextOf(tip).c_str());
        }
    }
    std::wprintf(L"text %ls\n", TextOf(GetDlgItem(form, 101)).c_str());
    return 0;
}
