#pragma once
// The window's look for a theme: the application's palette dark or as the style gave it, the
// chart's look with it. "system" follows the desktop's preference (app/desktop_scheme.h) while
// the program runs.
// Thread: the window's thread only.

#include <QPalette>

namespace kestrava {

// A dark palette for every window of the program.
QPalette DarkWindowPalette();
// Gives every window the dark palette, or the one the application started with.
void UseDarkWindowPalette(bool dark);

}  // namespace kestrava
