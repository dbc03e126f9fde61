// The desktop on Windows: the system's cursor, work area, speaker and shell.
#include "platform/Desktop.h"

#include "platform/win/Win32.h"

#include <shellapi.h>

namespace platform {

POINT SystemDesktop::cursorPos()
{
    ::POINT at{};
    if (!::GetCursorPos(&at))
        return {0, 0};
    return {at.x, at.y};
}

void SystemDesktop::setCursor(HCURSOR cursor)
{
    // Our cursor numbers are the system's predefined cursor resources.
    ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(cursor)));
}

RECT SystemDesktop::workArea()
{
    ::RECT area{};
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
        return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    return {area.left, area.top, area.right, area.bottom};
}

void SystemDesktop::beep(uint32_t frequency, uint32_t durationMs)
{
    ::Beep(frequency, durationMs);
}

void SystemDesktop::messageBeep(uint32_t type)
{
    ::MessageBeep(type);
}

bool SystemDesktop::shellOpen(const std::string& file)
{
    const HINSTANCE result = ::ShellExecuteA(nullptr, "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<intptr_t>(result) > 32;
}

} // namespace platform
