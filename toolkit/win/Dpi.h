// Screen resolution for windows drawn at 96 dpi. The program declares itself
// aware of each monitor's resolution, so Windows no longer stretches its
// windows' pixels; the windows scale their own geometry and fonts instead.
// The calls for that came with later versions of Windows than the oldest
// the program runs on, so they are looked up when first needed, with the
// system-wide resolution standing in where they are missing.
#pragma once

#include "platform/win/Win32.h"

namespace tkwin {

// The resolution of a description's own pixels.
constexpr unsigned designDpi = 96;

// The resolution the window is drawn at now; the system's for none.
unsigned dpiOf(HWND window);

// value, in pixels of a 96 dpi screen, at dpi.
inline int scaledTo(int value, unsigned dpi)
{
    return ::MulDiv(value, static_cast<int>(dpi), static_cast<int>(designDpi));
}

// The outer rectangle of a window with that client rectangle at dpi.
void adjustWindowRect(RECT& rect, DWORD style, bool menu, DWORD exStyle, unsigned dpi);

} // namespace tkwin
