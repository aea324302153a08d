#pragma once

#include "platform/clock_random.h"
#include "platform/toolkit.h"
#include "window/form1_design.h"
#include "window/window_host.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace kelvorin::win32 {

// Control identifiers; kept clear of IDOK and IDCANCEL, which the dialog manager sends for
// Enter and Escape.
inline constexpr int kTextBox1Id = 101;
inline constexpr int kCommand1Id = 102;
inline constexpr int kLabel1Id = 103;

inline constexpr wchar_t kWindowClass[] = L"KelvorinForm1";

// Posted to take up a change of the box that came while the box held the clipboard open; the
// WPARAM is the Edit it was.
inline constexpr UINT kTextBoxChangedLater = WM_APP + 1;

inline int Pixels(float twips, UINT dpi) {
    return design::TwipsToPixels(twips, static_cast<float>(dpi));
}

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

// Form1 on the Win32 API: one window class, its state behind GWLP_USERDATA, and each message
// turned into one call into WindowHost, which keeps the box's contract. It decides nothing
// itself: it shows a text in the EDIT control, places text on the clipboard, and reads and
// moves the window.
//   main_window.cpp  the window, the controls, the messages, the end of the program
//   text_box.cpp     the EDIT control: what it shows and what it reports
//   clipboard.cpp    the clipboard, a busy one retried, the mark for clipboard histories
//   geometry.cpp     the window's place and size, and the screen's width
class MainWindow final : public Toolkit {
  public:
    static bool Register(HINSTANCE instance);

    // Creates the window and its controls at the window's DPI; nullptr on failure.
    static std::unique_ptr<MainWindow> Create(HINSTANCE instance);

    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND hwnd() const { return hwnd_; }

    // Shows the window with the focus in the box.
    void Show(int showCommand);

    void ShowText(Text text) override;
    void SetClipboardText(Text text, History history) override;
    void ClearClipboard() override;
    void TakeFocus() override;
    float ReadWindow(Extent extent) override;
    void WriteWindow(Extent extent, float twips) override;
    float ReadScreenWidth() override;

    // The conventional end: the window goes, WM_DESTROY posts the quit, and wWinMain returns 0
    // once the loop sees it. Whatever else is queued for the window by then is a no-op.
    void EndProgram() override;

  private:
    // What still has to go on the clipboard.
    struct Placement {
        bool clear = false; // empty the clipboard and place nothing
        std::u16string text;
        bool marked = false; // with the format that clipboard histories pass over
        // Set: only if the clipboard still holds our placement that left this sequence number.
        std::optional<DWORD> ifSequence;
    };

    // Tries, 5 ms apart, to open a clipboard that another program holds: in a reaction, and at
    // the end of the program, when no timer can try again later.
    static constexpr int kClipboardWaits = 10;
    static constexpr int kClipboardWaitsAtEnd = 100;

    MainWindow() = default;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    static LRESULT CALLBACK TextBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR self) noexcept;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    bool OnCreate();
    void OnCommand(int id, int code);
    void OnTextBoxChanged(Edit edit);
    Edit EditJustMade() const;
    bool CutSelection();
    bool PlaceCutText(const std::wstring& text);
    void OnClose();
    void OnActivate(bool active, bool minimized);
    void OnMinimized();
    void RememberFocus();
    void OnSetFocus();
    bool OnEraseBackground(HDC dc);
    LRESULT OnColour(UINT message, HDC dc, HWND control, WPARAM wParam, LPARAM lParam);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void OnClipboardTimer(UINT_PTR id);
    void OnColoursChanged();

    bool CreateControls(HINSTANCE instance);
    bool AddTooltips(HINSTANCE instance);
    bool MakeFonts();
    bool MakeBackBrush();
    void LayOut();
    float PixelsToTwips(int pixels) const;

    void Place(Placement placement, int waits);
    void PlacePending(int waits);
    void PlaceStandingUnmarked(int waits);

    HWND hwnd_ = nullptr;
    HWND textBox_ = nullptr;
    HWND command_ = nullptr;
    HWND label_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND lastFocus_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    HFONT textBoxFont_ = nullptr;
    HFONT commandFont_ = nullptr;
    // The window's, the button's and the strip's background: light grey, or the system's face
    // colour under a high-contrast theme.
    HBRUSH backBrush_ = nullptr;
    COLORREF backColour_ = 0;
    bool ended_ = false;       // EndProgram ran: every later message is a no-op
    bool showingText_ = false; // inside ShowText: the box's EN_CHANGE is its echo
    // How deep the box is in messages of its own, and the clipboard's sequence number when the
    // outermost began: a change made within one message that also made the box the clipboard's
    // owner is a cut.
    int textBoxDepth_ = 0;
    DWORD clipboardBeforeTextBox_ = 0;

    // A placement that found the clipboard busy, retried from a timer until it is placed or a
    // newer one takes its place.
    std::optional<Placement> pending_;
    // The last placement, if it was marked for clipboard histories to pass over: placed once
    // more unmarked once it has stood a moment, so that a history keeps one entry of it.
    std::optional<Placement> standing_;

    ClockRandom random_;
    WindowHost host_{*this, random_};
};

} // namespace kelvorin::win32
