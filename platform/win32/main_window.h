#pragma once

#include "platform/clock_random.h"
#include "platform/window_system.h"
#include "window/form1.h"

#include <windows.h>

#include <memory>
#include <string>

namespace kelvorin::win32 {

// Control identifiers; kept clear of IDOK and IDCANCEL, which the dialog manager sends for
// Enter and Escape.
inline constexpr int kTextBox1Id = 101;
inline constexpr int kCommand1Id = 102;
inline constexpr int kLabel1Id = 103;

inline constexpr wchar_t kWindowClass[] = L"KelvorinForm1";

// Posted to take up a change of the box that came while the box held the clipboard open.
inline constexpr UINT kTextBoxChangedLater = WM_APP + 1;

// Form1 on the Win32 API: one window class, its state behind GWLP_USERDATA, and each message
// turned into one call into Form1. It decides nothing itself; beyond plain delegation it
// only keeps the text box's contract (one change notification per changing write) and keeps
// long scrambles from paying for thousands of EDIT control updates.
class MainWindow final : public WindowSystem {
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

    Text ReadText() override;
    void WriteText(Text text) override;
    void WriteAppended(Text text, Text tail) override;
    void TakeFocus() override;
    float ReadWindow(Extent extent) override;
    void WriteWindow(Extent extent, float twips) override;
    float ReadScreenWidth() override;
    void EmptyClipboard() override;
    void PlaceClipboardText(Text text) override;
    void EndProgram() override;

  private:
    // The clipboard, open for as long as the session lasts.
    class ClipboardSession {
      public:
        ClipboardSession() = default;
        explicit ClipboardSession(bool open) : open_(open) {}
        ClipboardSession(ClipboardSession&& other) noexcept : open_(other.open_) {
            other.open_ = false;
        }
        ClipboardSession& operator=(ClipboardSession&& other) noexcept {
            if (this != &other) {
                Close();
                open_ = other.open_;
                other.open_ = false;
            }
            return *this;
        }
        ~ClipboardSession() { Close(); }
        bool IsOpen() const { return open_; }
        void Close() {
            if (open_) {
                CloseClipboard();
                open_ = false;
            }
        }

      private:
        bool open_ = false;
    };

    MainWindow() = default;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    bool OnCreate();
    void OnCommand(int id, int code);
    void OnTextBoxChanged();
    void OnClose();
    void OnActivate(bool active);
    void OnSetFocus();
    bool OnEraseBackground(HDC dc);
    LRESULT OnColour(UINT message, HDC dc, HWND control, WPARAM wParam, LPARAM lParam);
    void OnDpiChanged(UINT dpi, const RECT& suggested);

    // Runs one of Form1's reactions as one event: a fresh clipboard wait, and the EDIT
    // control brought up to date afterwards.
    template <class Reaction> void Dispatch(Reaction reaction);

    bool CreateControls(HINSTANCE instance);
    bool AddTooltips(HINSTANCE instance);
    bool MakeFonts();
    void LayOut();
    void SyncTextBox();
    ClipboardSession OpenClipboardOrThrow();
    float PixelsToTwips(int pixels) const;

    HWND hwnd_ = nullptr;
    HWND textBox_ = nullptr;
    HWND command_ = nullptr;
    HWND label_ = nullptr;
    HWND tooltip_ = nullptr;
    HWND lastFocus_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    HFONT textBoxFont_ = nullptr;
    HFONT commandFont_ = nullptr;
    HBRUSH greyBrush_ = nullptr;

    // The box's text as the program sees it. Writes land here and the EDIT control is brought
    // up to date once, before the message loop runs again: each EDIT update costs time that
    // grows with the text, and nothing can look at the control while a handler holds the
    // thread.
    std::u16string text_;
    bool textBoxStale_ = false;
    bool syncing_ = false;
    bool ended_ = false; // EndProgram ran: every later message is a no-op

    // Sleeps of a few ms that may still be spent waiting for another program to let go of the
    // clipboard, refilled for each event, so that a held clipboard delays one event a little
    // and never hangs the window.
    int clipboardRetries_ = 0;

    // The clipboard as EmptyClipboard left it: still open, so that the placement which
    // follows in the mirror needs no second session (each costs about as much as the
    // placement under Wine). Closed at the latest when the event ends.
    ClipboardSession emptied_;

    ClockRandom random_;
    Form1 form_{*this, random_};
};

} // namespace kelvorin::win32
