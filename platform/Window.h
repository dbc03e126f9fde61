// Our own windows as handles with replaceable window procedures. The main
// window and the help viewer's windows register here; a message is delivered
// by calling the window's current procedure on the calling thread. Other
// processes' windows do not exist for us, except the desktop window, which
// can be named but never subclassed. On Windows every call is the system's
// own and a registered window is a real, hidden one (win/Window.cpp).
#pragma once

#include "platform/Win.h"

#include <cstdint>

namespace platform {

constexpr int GWL_WNDPROC = -4;

// Registers a window; a null defaultProc answers every message with 0. The
// widget is whatever the front end draws it with (a QWidget*), or null.
// Handles are never reused, so a stale handle stays invalid.
HWND RegisterWindow(const char* className, const char* windowName, WNDPROC defaultProc, void* widget);
void UnregisterWindow(HWND window);

bool IsWindow(HWND window);
// First registered window whose class and name match; a null argument
// matches any. The desktop window is not found this way.
HWND FindWindowA(const char* className, const char* windowName);
HWND GetDesktopWindow();
// The widget given at registration; null for the desktop and unknown handles.
void* WidgetOf(HWND window);

// Only GWL_WNDPROC is supported: replaces the window procedure and returns
// the previous one (as an integer). Returns 0 and changes nothing for the
// desktop window, an unknown handle or another index.
intptr_t SetWindowLongA(HWND window, int index, intptr_t newValue);
// The window's current procedure, or null.
WNDPROC GetWindowProc(HWND window);

LRESULT CallWindowProcA(WNDPROC proc, HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);
// Calls the window's current procedure; 0 for the desktop and unknown handles.
LRESULT SendMessageA(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam);

inline intptr_t procToLong(WNDPROC proc)
{
    return reinterpret_cast<intptr_t>(proc);
}

inline WNDPROC longToProc(intptr_t value)
{
    return reinterpret_cast<WNDPROC>(value);
}

} // namespace platform
