#include "platform/WinHelp.h"

namespace platform {

bool WinHelpA(HWND, const char*, uint32_t, uintptr_t)
{
    return false;
}

} // namespace platform
