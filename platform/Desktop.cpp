#include "platform/Desktop.h"

#include <cstring>

namespace platform {

namespace {

Desktop* current = nullptr;
HCURSOR lastCursor = 0;

constexpr intptr_t kShellOk = 42;
constexpr intptr_t SE_ERR_NOASSOC = 31;

} // namespace

Desktop& systemDesktop()
{
    static SystemDesktop desktop;
    return desktop;
}

Desktop& currentDesktop()
{
    return current ? *current : systemDesktop();
}

ScopedDesktop::ScopedDesktop(Desktop& desktop)
    : previous_(current)
{
    current = &desktop;
}

ScopedDesktop::~ScopedDesktop()
{
    current = previous_;
}

bool GetCursorPos(POINT* point)
{
    if (!point)
        return false;
    *point = currentDesktop().cursorPos();
    return true;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    const HCURSOR previous = lastCursor;
    lastCursor = cursor;
    currentDesktop().setCursor(cursor);
    return previous;
}

bool SystemParametersInfoA(uint32_t action, uint32_t, void* param, uint32_t)
{
    if (action != SPI_GETWORKAREA || !param)
        return false;
    *static_cast<RECT*>(param) = currentDesktop().workArea();
    return true;
}

bool Beep(uint32_t frequency, uint32_t durationMs)
{
    currentDesktop().beep(frequency, durationMs);
    return true;
}

bool MessageBeep(uint32_t type)
{
    currentDesktop().messageBeep(type);
    return true;
}

intptr_t ShellExecuteA(HWND, const char* operation, const char* file, const char* parameters,
                       const char*, int)
{
    if (operation && std::strcmp(operation, "open") != 0)
        return SE_ERR_NOASSOC;
    if (!file || !*file || (parameters && *parameters))
        return SE_ERR_NOASSOC;
    return currentDesktop().shellOpen(file) ? kShellOk : SE_ERR_NOASSOC;
}

} // namespace platform
