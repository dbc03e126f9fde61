// Linux has no WinHelp engine: every request fails, as with WinHelp missing.
#include "platform/WinHelp.h"

namespace platform {

bool WinHelpA(HWND, const char*, uint32_t, uintptr_t)
{
    return false;
}

} // namespace platform
