#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

namespace kelvorin::design {

// The window as data: both backends build their widgets from this table and nothing else,
// so the two desktops cannot drift apart. Geometry is in twips (1/1440 inch).

struct Rect {
    float left;
    float top;
    float width;
    float height;
};

struct Font {
    std::u16string_view face;
    int weight; // 400 regular, 700 bold
    float points;
    bool ansiCharset; // western character set
};

enum class ControlKind { TextBox, Button, Label };

struct Control {
    std::u16string_view name;
    ControlKind kind;
    Rect rect;
    int tabIndex;
    std::u16string_view caption;
    const Font* font; // nullptr: the desktop's default font
    bool hasBackColour;
    std::uint32_t backColour; // 0x00BBGGRR
    std::u16string_view tooltip;
};

// Colours travel as 0x00BBGGRR.
constexpr int Red(std::uint32_t colour) { return static_cast<int>(colour & 0xFF); }
constexpr int Green(std::uint32_t colour) { return static_cast<int>((colour >> 8) & 0xFF); }
constexpr int Blue(std::uint32_t colour) { return static_cast<int>((colour >> 16) & 0xFF); }

inline constexpr float kTwipsPerInch = 1440.0f;

// Twips to device pixels at the given dots per inch (96 gives 15 twips a pixel).
inline int TwipsToPixels(float twips, float dpi) {
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

inline constexpr std::u16string_view kProductName = u"Kelvorin";
inline constexpr std::u16string_view kVersion = u"1.00.0001";
inline constexpr std::u16string_view kMakersNotice =
    u"Kelvorin 1.00.0001 \u00A9 2026 the Kelvorin authors";

inline constexpr std::u16string_view kForm1Caption = u"Kelvorin";
inline constexpr std::uint32_t kLightGrey = 0x00C0C0C0;
inline constexpr std::uint32_t kForm1BackColour = kLightGrey;
inline constexpr float kClientWidth = 4680.0f;
inline constexpr float kClientHeight = 1320.0f;

// Both backends hold the box to this many code units; the scrambler stays safe beyond it.
inline constexpr int kTextBoxMaxLength = 32767;

inline constexpr Font kCourierNew{u"Courier New", 400, 9.75f, true};
inline constexpr Font kMsSansSerifBold{u"MS Sans Serif", 700, 9.75f, true};

inline constexpr Control kTextBox1{
    u"TextBox1", ControlKind::TextBox,           {120, 120, 4455, 375}, 0, u"", &kCourierNew, false,
    0,           u" Click To Copy To Clipboard "};

inline constexpr Control kCommand1{u"Command1",
                                   ControlKind::Button,
                                   {1200, 720, 2175, 375},
                                   1,
                                   u"Do",
                                   &kMsSansSerifBold,
                                   true,
                                   kLightGrey,
                                   u""};

// A strip along the bottom edge that carries the maker's notice as its tooltip. It is 15 twips
// wider and lower than the client area, so it spans the whole bottom of the window.
inline constexpr Control kLabel1{
    u"Label1", ControlKind::Label, {0, 1200, 4695, 135}, 2, u"", nullptr,
    true,      kLightGrey,         kMakersNotice};

// In tab order.
inline constexpr const Control* kControls[] = {&kTextBox1, &kCommand1, &kLabel1};

} // namespace kelvorin::design
