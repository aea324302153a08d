#include "platform/win32/main_window.h"

#include <commctrl.h>

// Start-up failures end the program with a non-zero status; it shows no message of its own.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    if (!InitCommonControlsEx(&controls)) {
        return 1;
    }
    if (!kelvorin::win32::MainWindow::Register(instance)) {
        return 2;
    }
    const auto window = kelvorin::win32::MainWindow::Create(instance);
    if (!window) {
        return 3;
    }
    window->Show(showCommand);

    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) {
            return 4;
        }
        // The dialog manager gives the window Tab between the box and the button.
        if (!window->hwnd() || !IsDialogMessageW(window->hwnd(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
