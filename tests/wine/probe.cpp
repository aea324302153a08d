// Looks into a running Kelvorin window from another process, through the Win32 API, for the
// Wine tests: Wine draws the controls inside one X window, so X tools cannot see them.
//   probe layout   the client size, DPI, each control's class, id, rectangle and style,
//                  and the box's text limit
//   probe focus    the class and id of the control that holds the keyboard focus
//   probe text     the box's text, as UTF-8
//   probe tooltip  the text of each tooltip that is showing
//   probe listen   watches the clipboard as a clipboard history does, until stopped: a line per
//                  update, "marked" (the history passes over it) or "unmarked TEXT"
//   probe hold MS  holds the clipboard open for MS milliseconds: "held", then "released"
// Exits with 1 when there is no Kelvorin window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

HWND FindKelvorin() { return FindWindowW(L"KelvorinForm1", L"Kelvorin"); }

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    return name;
}

// WM_GETTEXT is marshalled between processes; the length comes first.
std::wstring TextOf(HWND hwnd) {
    const auto length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto got =
        SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(got));
    return text;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM parent) {
    if (GetParent(control) != reinterpret_cast<HWND>(parent)) {
        return TRUE;
    }
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&rect), 2);
    std::printf("control %s %d %ld %ld %ld %ld 0x%08lx\n", Utf8(ClassOf(control)).c_str(),
                GetDlgCtrlID(control), rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top,
                static_cast<unsigned long>(GetWindowLongW(control, GWL_STYLE)));
    return TRUE;
}

BOOL CALLBACK PrintTooltip(HWND hwnd, LPARAM) {
    if (ClassOf(hwnd) == L"tooltips_class32" && IsWindowVisible(hwnd)) {
        std::printf("tooltip [%s]\n", Utf8(TextOf(hwnd)).c_str());
    }
    return TRUE;
}

// Reads each update's text, as Windows' clipboard history does, unless the update carries the
// format that the history honours to leave an entry out.
LRESULT CALLBACK Listener(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_CLIPBOARDUPDATE) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    std::wstring text = L"marked";
    if (!IsClipboardFormatAvailable(
            RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing"))) {
        for (int tries = 0; tries < 100 && !OpenClipboard(hwnd); ++tries) {
            Sleep(5);
        }
        const HANDLE data = GetClipboardData(CF_UNICODETEXT);
        const auto* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
        text = L"unmarked " + std::wstring(chars ? chars : L"");
        GlobalUnlock(data);
        CloseClipboard();
    }
    std::printf("%s\n", Utf8(text).c_str());
    std::fflush(stdout);
    return 0;
}

int Listen() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Listener;
    windowClass.lpszClassName = L"KelvorinProbeListener";
    RegisterClassW(&windowClass);
    const HWND hwnd = CreateWindowW(windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, nullptr, nullptr);
    if (!hwnd || !AddClipboardFormatListener(hwnd)) {
        return 1;
    }
    std::puts("listening");
    std::fflush(stdout);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}

int Hold(DWORD ms) {
    if (!OpenClipboard(nullptr)) {
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    Sleep(ms);
    CloseClipboard();
    std::puts("released");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "listen") {
        return Listen();
    }
    if (command == "hold" && argc > 2) {
        return Hold(static_cast<DWORD>(std::atol(argv[2])));
    }
    const HWND window = FindKelvorin();
    if (!window) {
        std::fprintf(stderr, "no Kelvorin window\n");
        return 1;
    }
    const HWND box = GetDlgItem(window, 101);
    if (command == "layout") {
        RECT client;
        GetClientRect(window, &client);
        std::printf("client %ld %ld\n", client.right, client.bottom);
        std::printf("dpi %u\n", GetDpiForWindow(window));
        EnumChildWindows(window, PrintControl, reinterpret_cast<LPARAM>(window));
        std::printf("limit %ld\n", static_cast<long>(SendMessageW(box, EM_GETLIMITTEXT, 0, 0)));
    } else if (command == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
        std::printf("focus %s %d\n",
                    info.hwndFocus ? Utf8(ClassOf(info.hwndFocus)).c_str() : "none",
                    info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0);
    } else if (command == "text") {
        std::fputs(Utf8(TextOf(box)).c_str(), stdout);
    } else if (command == "tooltip") {
        EnumThreadWindows(GetWindowThreadProcessId(window, nullptr), PrintTooltip, 0);
    } else {
        std::fprintf(stderr, "usage: probe layout|focus|text|tooltip|listen|hold MS\n");
        return 2;
    }
    return 0;
}
