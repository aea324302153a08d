#pragma once

#include "window/form1_design.h"

#include <windows.h>

#include <initializer_list>
#include <utility>

namespace kelvorin::win32 {

// Gives each control the name and description a screen reader should say, as annotations that
// the system's accessibility proxies for EDIT, BUTTON and STATIC read. Where the system has no
// annotation service the window works on without the names.
void AnnotateForScreenReaders(
    std::initializer_list<std::pair<const design::Control*, HWND>> controls);

} // namespace kelvorin::win32
