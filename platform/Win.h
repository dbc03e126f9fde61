// Window handles, window procedures and messages, in the shape the help layer
// and the help engine exchange them. On Linux these are our own: a handle
// names a window registered with this layer (the main window, the help
// viewer's windows), and a message is delivered by calling the window's
// current procedure. On Windows they are the system's, with the same sizes
// and calling convention on 64-bit Windows, so a procedure declared here can
// be installed on a real window.
#pragma once

#include <cstdint>

namespace platform {

using HWND = intptr_t; // 0: no window
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WNDPROC = LRESULT (*)(HWND, uint32_t message, WPARAM, LPARAM);

constexpr uint32_t WM_NOTIFY = 0x004E;

struct POINT {
    int32_t x;
    int32_t y;
};

struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Header of every WM_NOTIFY notification; lParam points to it.
struct NMHDR {
    HWND hwndFrom;
    uintptr_t idFrom;
    uint32_t code;
};

} // namespace platform
