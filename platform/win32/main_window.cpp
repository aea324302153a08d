#include "platform/win32/main_window.h"

#include "platform/win32/accessibility.h"
#include "window/form1_design.h"

#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace kelvorin::win32 {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;

// Up to 20 waits of 5 ms for a clipboard that another program holds open, per event.
constexpr int kClipboardRetries = 20;
constexpr DWORD kClipboardRetryMs = 5;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

const wchar_t* WideData(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

int Pixels(float twips, UINT dpi) { return design::TwipsToPixels(twips, static_cast<float>(dpi)); }

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

// Frees a memory block unless the clipboard took it over.
class GlobalBlock {
  public:
    explicit GlobalBlock(std::size_t bytes) : handle_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    ~GlobalBlock() {
        if (handle_) {
            GlobalFree(handle_);
        }
    }
    HGLOBAL get() const { return handle_; }
    void release() { handle_ = nullptr; }

  private:
    HGLOBAL handle_;
};

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
    if (greyBrush_) {
        DeleteObject(greyBrush_);
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
        OnTextBoxChanged();
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam) != WA_INACTIVE);
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
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
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
    greyBrush_ = CreateSolidBrush(design::kForm1BackColour); // both are 0x00BBGGRR
    if (!greyBrush_ || !CreateControls(instance) || !MakeFonts() || !AddTooltips(instance)) {
        return false;
    }
    AnnotateForScreenReaders({{&design::kTextBox1, textBox_},
                              {&design::kCommand1, command_},
                              {&design::kLabel1, label_}});
    // Typing and pasting stop here; the scramble never writes more than it read.
    SendMessageW(textBox_, EM_SETLIMITTEXT, design::kTextBoxMaxLength, 0);
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

void MainWindow::LayOut() {
    const std::pair<const design::Control*, HWND> controls[] = {
        {&design::kTextBox1, textBox_}, {&design::kCommand1, command_}, {&design::kLabel1, label_}};
    for (const auto& [control, hwnd] : controls) {
        const design::Rect& rect = control->rect;
        MoveWindow(hwnd, Pixels(rect.left, dpi_), Pixels(rect.top, dpi_), Pixels(rect.width, dpi_),
                   Pixels(rect.height, dpi_), TRUE);
    }
}

template <class Reaction> void MainWindow::Dispatch(Reaction reaction) {
    if (ended_) {
        return;
    }
    clipboardRetries_ = kClipboardRetries;
    reaction();
    emptied_.Close();
    SyncTextBox();
}

void MainWindow::OnCommand(int id, int code) {
    if (id == kCommand1Id && code == BN_CLICKED) {
        Dispatch([this] { form_.Command1_Click(); });
    } else if (id == kTextBox1Id && code == EN_CHANGE) {
        OnTextBoxChanged();
    }
}

void MainWindow::OnTextBoxChanged() {
    // Our own update of the control is not a change: the notification for it has run.
    if (syncing_ || ended_) {
        return;
    }
    // A paste raises EN_CHANGE while the EDIT control still holds the clipboard open, where
    // the mirror cannot open it: take the change up once the paste is over, before any
    // further input (posted messages come first).
    const HWND holder = GetOpenClipboardWindow();
    if (holder && GetWindowThreadProcessId(holder, nullptr) == GetCurrentThreadId()) {
        PostMessageW(hwnd_, kTextBoxChangedLater, 0, 0);
        return;
    }
    std::wstring edited(static_cast<std::size_t>(GetWindowTextLengthW(textBox_)) + 1, L'\0');
    edited.resize(static_cast<std::size_t>(
        GetWindowTextW(textBox_, edited.data(), static_cast<int>(edited.size()))));
    // The EDIT control cuts a paste at the limit even between the halves of a surrogate pair.
    // Dropping the half left before the caret changes the text again, and that change is the
    // one to mirror.
    if (edited.size() == static_cast<std::size_t>(design::kTextBoxMaxLength)) {
        DWORD caret = 0;
        SendMessageW(textBox_, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
        if (caret > 0 && caret <= edited.size() && IsHighSurrogate(edited[caret - 1]) &&
            (caret == edited.size() || !IsLowSurrogate(edited[caret]))) {
            SendMessageW(textBox_, EM_SETSEL, caret - 1, caret);
            SendMessageW(textBox_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
            return;
        }
    }
    textBoxStale_ = false;
    // The EDIT control reports a change also when a paste or undo leaves the text as it was.
    if (Text(text_) == Text(reinterpret_cast<const char16_t*>(edited.data()), edited.size())) {
        return;
    }
    text_.assign(edited.begin(), edited.end());
    Dispatch([this] { form_.TextBox1_Change(); });
}

void MainWindow::OnClose() {
    if (ended_) {
        return;
    }
    Dispatch([this] { form_.Form1_Close(); });
    // Only needed if the animation could not end the program.
    EndProgram();
}

void MainWindow::OnActivate(bool active) {
    // Like a dialog: the focus leaves with the window and comes back to the same control.
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) {
            lastFocus_ = focus;
        }
    } else {
        OnSetFocus();
    }
}

void MainWindow::OnSetFocus() { SetFocus(lastFocus_ ? lastFocus_ : textBox_); }

bool MainWindow::OnEraseBackground(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    return FillRect(dc, &client, greyBrush_) != 0;
}

LRESULT MainWindow::OnColour(UINT message, HDC dc, HWND control, WPARAM wParam, LPARAM lParam) {
    const bool grey = (control == label_ && design::kLabel1.hasBackColour) ||
                      (control == command_ && design::kCommand1.hasBackColour);
    if (!grey) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
    SetBkColor(dc, design::kLightGrey);
    return reinterpret_cast<LRESULT>(greyBrush_);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = dpi;
    MakeFonts();
    LayOut();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::SyncTextBox() {
    if (!textBoxStale_ || ended_) {
        return;
    }
    syncing_ = true;
    const BOOL written = SetWindowTextW(textBox_, WideData(text_));
    syncing_ = false;
    if (written) {
        textBoxStale_ = false;
        // The caret goes to the end, ready for more typing.
        const auto end = static_cast<WPARAM>(text_.size());
        SendMessageW(textBox_, EM_SETSEL, end, static_cast<LPARAM>(end));
    }
}

Text MainWindow::ReadText() { return text_; }

void MainWindow::WriteText(Text text) {
    // As typing and pasting do, a write stops at the box's limit, between characters.
    text = CutAtCharacter(text, design::kTextBoxMaxLength);
    if (text == Text(text_)) {
        return;
    }
    text_.assign(text);
    textBoxStale_ = true;
    form_.TextBox1_Change();
}

// Kept simple until this backend moves onto WindowHost, which appends in place.
void MainWindow::WriteAppended(Text text, Text tail) {
    std::u16string joined(text);
    joined += tail;
    WriteText(joined);
}

void MainWindow::TakeFocus() {
    SetFocus(textBox_);
    if (GetFocus() != textBox_) {
        throw PlatformError("the text box did not take the focus");
    }
    lastFocus_ = textBox_;
}

float MainWindow::PixelsToTwips(int pixels) const {
    return static_cast<float>(pixels) * design::kTwipsPerInch / static_cast<float>(dpi_);
}

float MainWindow::ReadWindow(Extent extent) {
    RECT rect;
    if (!GetWindowRect(hwnd_, &rect)) {
        throw PlatformError("GetWindowRect failed");
    }
    switch (extent) {
    case Extent::Top:
        return PixelsToTwips(rect.top);
    case Extent::Left:
        return PixelsToTwips(rect.left);
    case Extent::Width:
        return PixelsToTwips(rect.right - rect.left);
    case Extent::Height:
        return PixelsToTwips(rect.bottom - rect.top);
    }
    throw PlatformError("unknown extent");
}

void MainWindow::WriteWindow(Extent extent, float twips) {
    // A minimized or maximized window keeps its place; saying so ends the closing at once.
    if (IsIconic(hwnd_) || IsZoomed(hwnd_)) {
        throw PlatformError("the window is minimized or maximized");
    }
    if ((extent == Extent::Width || extent == Extent::Height) && twips < 0.0f) {
        throw PlatformError("a size below zero");
    }
    RECT rect;
    if (!GetWindowRect(hwnd_, &rect)) {
        throw PlatformError("GetWindowRect failed");
    }
    int left = rect.left;
    int top = rect.top;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    const int pixels = Pixels(twips, dpi_);
    switch (extent) {
    case Extent::Top:
        top = pixels;
        break;
    case Extent::Left:
        left = pixels;
        break;
    case Extent::Width:
        width = pixels;
        break;
    case Extent::Height:
        height = pixels;
        break;
    }
    // Sizes below the minimum tracking size are clamped by the system.
    if (!SetWindowPos(hwnd_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE)) {
        throw PlatformError("SetWindowPos failed");
    }
}

float MainWindow::ReadScreenWidth() {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    if (width <= 0) {
        throw PlatformError("no screen width");
    }
    return PixelsToTwips(width);
}

MainWindow::ClipboardSession MainWindow::OpenClipboardOrThrow() {
    emptied_.Close();
    // Owned by our window: with no owner, EmptyClipboard leaves SetClipboardData nothing to
    // attach the text to.
    while (!OpenClipboard(hwnd_)) {
        if (clipboardRetries_ <= 0) {
            throw PlatformError("another program holds the clipboard");
        }
        --clipboardRetries_;
        Sleep(kClipboardRetryMs);
    }
    return ClipboardSession(true);
}

void MainWindow::EmptyClipboard() {
    ClipboardSession session = OpenClipboardOrThrow();
    if (!::EmptyClipboard()) {
        throw PlatformError("EmptyClipboard failed");
    }
    emptied_ = std::move(session);
}

void MainWindow::PlaceClipboardText(Text text) {
    GlobalBlock block((text.size() + 1) * sizeof(wchar_t));
    if (!block.get()) {
        throw PlatformError("out of memory for the clipboard");
    }
    void* bytes = GlobalLock(block.get());
    if (!bytes) {
        throw PlatformError("GlobalLock failed");
    }
    std::memcpy(bytes, text.data(), text.size() * sizeof(wchar_t));
    static_cast<wchar_t*>(bytes)[text.size()] = L'\0';
    GlobalUnlock(block.get());

    // Unless it was just emptied in this session, empty it: what another program placed in
    // another format must not outlive our text.
    const bool emptied = emptied_.IsOpen();
    const ClipboardSession session = emptied ? std::move(emptied_) : OpenClipboardOrThrow();
    if (!emptied && !::EmptyClipboard()) {
        throw PlatformError("EmptyClipboard failed");
    }
    // Only the Unicode text: the system makes the ANSI and OEM forms from it on request.
    if (!SetClipboardData(CF_UNICODETEXT, block.get())) {
        throw PlatformError("SetClipboardData failed");
    }
    block.release();
}

// The conventional end: the window goes, WM_DESTROY posts the quit, and wWinMain returns 0 once
// the loop sees it. Whatever else is queued for the window by then is a no-op.
void MainWindow::EndProgram() {
    if (ended_) {
        return;
    }
    ended_ = true;
    emptied_.Close();
    if (!DestroyWindow(hwnd_)) {
        PostQuitMessage(0);
    }
}

} // namespace kelvorin::win32
