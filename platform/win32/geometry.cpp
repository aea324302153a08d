#include "platform/win32/main_window.h"

namespace kelvorin::win32 {

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

} // namespace kelvorin::win32
