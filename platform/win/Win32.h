// The Win32 API for the program's Windows implementations. Include this
// instead of <windows.h>: it removes the macros that windows.h defines under
// names the program declares itself (its own constants of the same values,
// and the toolkit's MessageBox), so that our headers and the system's can be
// included in any order. Code here calls the "A" functions by their full
// names and uses our constants (tk::IDOK, platform::WM_NOTIFY).
#pragma once

#include "platform/Win.h"

#include <string>
#include <windows.h>

#undef MessageBox
#undef DEFAULT_CHARSET
#undef IDC_ARROW
#undef SPI_GETWORKAREA
#undef SW_SHOWNORMAL
#undef WM_NOTIFY
#undef MB_OK
#undef MB_OKCANCEL
#undef MB_RETRYCANCEL
#undef MB_ICONERROR
#undef MB_ICONWARNING
#undef IDOK
#undef IDCANCEL
#undef IDRETRY
#undef HELP_CONTEXT
#undef HELP_QUIT
#undef HELP_CONTENTS
#undef HELP_CONTEXTPOPUP
#undef HELP_FINDER
#undef HELP_SETPOPUP_POS
#undef HELP_TAB
#undef HELP_KEY
#undef HELP_COMMAND
#undef HELP_PARTIALKEY

namespace platform {

// Our window handles are the system's, held as integers.
inline ::HWND nativeWindow(HWND window)
{
    return reinterpret_cast<::HWND>(window);
}

inline HWND fromNative(::HWND window)
{
    return reinterpret_cast<HWND>(window);
}

// The system's text for an error code (GetLastError), without the line
// end, followed by the code itself: "Access is denied. (error 5)".
std::string systemErrorText(DWORD error);

} // namespace platform
