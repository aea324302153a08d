#include "platform/win32/main_window.h"

#include "platform/win32/accessibility.h"
#include "window/form1_design.h"

#include <commctrl.h>

#include <cmath>
#include <new>
#include <utility>

namespace kelvorin::win32 {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

// The pitch and family tell the font mapper what to substitute where the face is missing,
// as under Wine, which has no "Courier New": a fixed-pitch face for the box.
HFONT MakeFont(const design::Font& font, UINT dpi, DWORD pitchAndFamily) {
    const int height =
        -static_cast<int>(std::lround(font.points * static_cast<float>(dpi) / 72.0f));
    return CreateFontW(height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                       font.ansiCharset ? ANSI_CHARSET : DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily,
                       Wide(font.face).c_str());
}

} // namespace

bool MainWindow::Register(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance) {
    std::unique_ptr<MainWindow> window(new (std::nothrow) MainWindow());
    if (!window) {
        return nullptr;
    }
    // Created at a provisional size: the real one depends on the DPI of the monitor the
    // window lands on, which WM_CREATE reads.
    const std::wstring caption = Wide(design::kForm1Caption);
    if (!CreateWindowExW(kWindowExStyle, kWindowClass, caption.c_str(), kWindowStyle, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                         window.get())) {
        return nullptr;
    }
    return window;
}

MainWindow::~MainWindow() {
    if (hwnd_) {
        DestroyWindow(hwnd_);
    }
    if (textBoxFont_) {
        DeleteObject(textBoxFont_);
    }
    if (commandFont_) {
        DeleteObject(commandFont_);
    }
    if (backBrush_) {
        DeleteObject(backBrush_);
    }
}

void MainWindow::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    lastFocus_ = textBox_;
    SetFocus(textBox_);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept {
    MainWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (message == WM_NCDESTROY && self) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self = nullptr;
    }
    if (!self) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // Nothing may unwind through the system's code: a step that fails stops the event here.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return message == WM_CREATE ? -1 : 0;
    }
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate() ? 0 : -1;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case kTextBoxChangedLater:
        OnTextBoxChanged(static_cast<Edit>(wParam));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE, HIWORD(wParam) != 0);
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) {
            OnMinimized();
        }
        return 0;
    case WM_SETFOCUS:
        OnSetFocus();
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBackground(reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return OnColour(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                        wParam, lParam);
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        OnColoursChanged();
        break;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_TIMER:
        OnClipboardTimer(wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

bool MainWindow::OnCreate() {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    dpi_ = GetDpiForWindow(hwnd_);
    if (dpi_ == 0) {
        dpi_ = USER_DEFAULT_SCREEN_DPI;
    }
    if (!MakeBackBrush() || !CreateControls(instance) || !MakeFonts() || !AddTooltips(instance) ||
        !SetWindowSubclass(textBox_, TextBoxProc, 0, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    AnnotateForScreenReaders({{&design::kTextBox1, textBox_},
                              {&design::kCommand1, command_},
                              {&design::kLabel1, label_}});
    // Typing and pasting stop near here (see OnTextBoxChanged); the scramble never writes more
    // than it read.
    SendMessageW(textBox_, EM_SETLIMITTEXT, kWidgetMaxLength, 0);
    LayOut();
    RECT outer{0, 0, Pixels(design::kClientWidth, dpi_), Pixels(design::kClientHeight, dpi_)};
    if (!AdjustWindowRectExForDpi(&outer, kWindowStyle, FALSE, kWindowExStyle, dpi_)) {
        return false;
    }
    return SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool MainWindow::CreateControls(HINSTANCE instance) {
    // Created in tab order, which is also the order the dialog manager tabs through.
    for (const design::Control* control : design::kControls) {
        const wchar_t* windowClass = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        int id = kLabel1Id;
        HWND* slot = &label_;
        switch (control->kind) {
        case design::ControlKind::TextBox:
            windowClass = L"EDIT";
            // Without ES_AUTOHSCROLL the box stops taking text at its right edge.
            style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            id = kTextBox1Id;
            slot = &textBox_;
            break;
        case design::ControlKind::Button:
            windowClass = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            id = kCommand1Id;
            slot = &command_;
            break;
        case design::ControlKind::Label:
            // SS_NOTIFY lets the strip see the pointer, so its tooltip can show.
            style |= SS_NOTIFY;
            break;
        }
        *slot = CreateWindowExW(exStyle, windowClass, Wide(control->caption).c_str(), style, 0, 0,
                                0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                instance, nullptr);
        if (!*slot) {
            return false;
        }
    }
    return true;
}

bool MainWindow::AddTooltips(HINSTANCE instance) {
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
    if (!tooltip_) {
        return false;
    }
    const std::pair<const design::Control*, HWND> tools[] = {
        {&design::kTextBox1, textBox_}, {&design::kCommand1, command_}, {&design::kLabel1, label_}};
    for (const auto& [control, hwnd] : tools) {
        if (control->tooltip.empty()) {
            continue;
        }
        std::wstring text = Wide(control->tooltip);
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
        tool.lpszText = text.data(); // the tooltip keeps its own copy
        if (!SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
            return false;
        }
    }
    return true;
}

bool MainWindow::MakeFonts() {
    HFONT textBoxFont = MakeFont(*design::kTextBox1.font, dpi_, FIXED_PITCH | FF_MODERN);
    HFONT commandFont = MakeFont(*design::kCommand1.font, dpi_, VARIABLE_PITCH | FF_SWISS);
    if (!textBoxFont || !commandFont) {
        if (textBoxFont) {
            DeleteObject(textBoxFont);
        }
        if (commandFont) {
            DeleteObject(commandFont);
        }
        return false;
    }
    SendMessageW(textBox_, WM_SETFONT, reinterpret_cast<WPARAM>(textBoxFont), TRUE);
    SendMessageW(command_, WM_SETFONT, reinterpret_cast<WPARAM>(commandFont), TRUE);
    if (textBoxFont_) {
        DeleteObject(textBoxFont_);
    }
    if (commandFont_) {
        DeleteObject(commandFont_);
    }
    textBoxFont_ = textBoxFont;
    commandFont_ = commandFont;
    return true;
}

// A high-contrast theme sets the colours the user can read: the fixed grey gives way to the
// system's face colour, as a dialog's. Both are 0x00BBGGRR.
bool MainWindow::MakeBackBrush() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    const bool high = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
                      (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
    const COLORREF colour = high ? GetSysColor(COLOR_BTNFACE) : design::kForm1BackColour;
    if (backBrush_ && colour == backColour_) {
        return true;
    }
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush) {
        return false;
    }
    if (backBrush_) {
        DeleteObject(backBrush_);
    }
    backBrush_ = brush;
    backColour_ = colour;
    return true;
}

// A theme switched on or off, or its colours changed: paint again with a fresh brush.
void MainWindow::OnColoursChanged() {
    const HBRUSH before = backBrush_;
    if (MakeBackBrush() && backBrush_ != before) {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

void MainWindow::LayOut() {
    const std::pair<const design::Control*, HWND> controls[] = {
        {&design::kTextBox1, textBox_}, {&design::kCommand1, command_}, {&design::kLabel1, label_}};
    for (const auto& [control, hwnd] : controls) {
        const design::Rect& rect = control->rect;
        MoveWindow(hwnd, Pixels(rect.left, dpi_), Pixels(rect.top, dpi_), Pixels(rect.width, dpi_),
                   Pixels(rect.height, dpi_), TRUE);
    }
}

void MainWindow::OnCommand(int id, int code) {
    if (id == kCommand1Id && code == BN_CLICKED) {
        host_.Clicked();
    } else if (id == kTextBox1Id && code == EN_CHANGE) {
        OnTextBoxChanged(EditJustMade());
    }
}

void MainWindow::OnClose() {
    // A tooltip would float where the window was through the whole animation, and none may
    // show during it.
    if (tooltip_) {
        SendMessageW(tooltip_, TTM_POP, 0, 0);
        SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
    }
    host_.Closing();
    // Only needed if the animation could not end the program.
    EndProgram();
}

void MainWindow::OnActivate(bool active, bool minimized) {
    // Like a dialog: the focus leaves with the window and comes back to the same control.
    if (!active) {
        RememberFocus();
        // The user is going elsewhere, perhaps to paste: the text has stood long enough.
        PlaceStandingUnmarked(0);
    } else if (!minimized) {
        OnSetFocus();
    }
}

void MainWindow::RememberFocus() {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) {
        lastFocus_ = focus;
    }
}

// Minimized, the window may stay active (when no other window takes over), and the box would
// go on taking keys unseen: the focus goes, and comes back with the window.
void MainWindow::OnMinimized() {
    RememberFocus();
    if (GetFocus() == lastFocus_) {
        SetFocus(nullptr);
    }
}

// A minimized window keeps the focus itself: keys typed then must not reach the hidden box.
// Restored, it takes the focus again and passes it on.
void MainWindow::OnSetFocus() {
    if (!IsIconic(hwnd_)) {
        SetFocus(lastFocus_ ? lastFocus_ : textBox_);
    }
}

bool MainWindow::OnEraseBackground(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    return FillRect(dc, &client, backBrush_) != 0;
}

LRESULT MainWindow::OnColour(UINT message, HDC dc, HWND control, WPARAM wParam, LPARAM lParam) {
    const bool grey = (control == label_ && design::kLabel1.hasBackColour) ||
                      (control == command_ && design::kCommand1.hasBackColour);
    if (!grey) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
    SetBkColor(dc, backColour_);
    return reinterpret_cast<LRESULT>(backBrush_);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    MakeFonts();
    LayOut();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::EndProgram() {
    if (ended_) {
        return;
    }
    ended_ = true;
    // The clipboard outlives the program: what it should hold goes there now, unmarked.
    PlaceStandingUnmarked(kClipboardWaitsAtEnd);
    pending_.reset();
    if (!DestroyWindow(hwnd_)) {
        PostQuitMessage(0);
    }
}

} // namespace kelvorin::win32
