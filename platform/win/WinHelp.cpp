// The system's WinHelp engine.
#include "platform/WinHelp.h"

#include "platform/win/Win32.h"

namespace platform {

bool WinHelpA(HWND window, const char* helpFile, uint32_t command, uintptr_t data)
{
    return ::WinHelpA(nativeWindow(window), helpFile, command, data) != FALSE;
}

} // namespace platform
