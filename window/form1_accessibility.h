#pragma once

#include "window/form1_design.h"

#include <string_view>

namespace kelvorin::design {

// What a screen reader says for each control. The box and the bottom strip show no caption, so
// without a name of their own they would be read out as "edit" and nothing.
struct AccessibleText {
    const Control* control;
    std::u16string_view name;
    std::u16string_view description;
};

inline constexpr AccessibleText kAccessibleTexts[] = {
    {&kTextBox1, u"Text to scramble", u""},
    {&kCommand1, u"Do", u"Put the characters in a random order"},
    {&kLabel1, kMakersNotice, u""},
};

constexpr AccessibleText AccessibleTextOf(const Control& control) {
    for (const AccessibleText& text : kAccessibleTexts) {
        if (text.control == &control) {
            return text;
        }
    }
    return {&control, control.caption, u""};
}

} // namespace kelvorin::design
