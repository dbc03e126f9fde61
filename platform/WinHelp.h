// The platform's WinHelp engine. There is none on Linux: every request
// fails, as it would on a system without the engine. On Windows it is the
// system's.
#pragma once

#include "platform/Win.h"

#include <cstdint>

namespace platform {

bool WinHelpA(HWND window, const char* helpFile, uint32_t command, uintptr_t data);

} // namespace platform
