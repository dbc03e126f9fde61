#include "toolkit/win/Dpi.h"

namespace tkwin {

namespace {

// A function of user32 by name, or null on a Windows without it.
template <typename Function>
Function user32(const char* name)
{
    const HMODULE module = ::GetModuleHandleA("user32.dll");
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

unsigned systemDpi()
{
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<unsigned>(dpi) : designDpi;
}

} // namespace

unsigned dpiOf(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto forWindow = user32<GetDpiForWindowFn>("GetDpiForWindow");
    if (window && forWindow)
        if (const UINT dpi = forWindow(window))
            return dpi;
    return systemDpi();
}

void adjustWindowRect(RECT& rect, DWORD style, bool menu, DWORD exStyle, unsigned dpi)
{
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto forDpi = user32<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (!forDpi || !forDpi(&rect, style, menu ? TRUE : FALSE, exStyle, dpi))
        ::AdjustWindowRectEx(&rect, style, menu ? TRUE : FALSE, exStyle);
}

} // namespace tkwin
