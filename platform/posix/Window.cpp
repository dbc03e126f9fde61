// Windows and their procedures on Linux: a registry of our own, since the
// windows are Qt's; a window's procedure is replaced and called through it.
#include "platform/Window.h"

#include <map>
#include <mutex>
#include <string>

namespace platform {

namespace {

struct WindowEntry {
    std::string className;
    std::string windowName;
    WNDPROC proc;
    void* widget;
};

LRESULT silentProc(HWND, uint32_t, WPARAM, LPARAM)
{
    return 0;
}

// Far from 0 and from the small handles an engine without a host invents.
constexpr HWND kDesktopWindow = 0x10000;

struct Registry {
    std::mutex mutex;
    // Ordered by handle, which is the order of registration.
    std::map<HWND, WindowEntry> windows;
    HWND nextHandle = kDesktopWindow + 2;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

HWND RegisterWindow(const char* className, const char* windowName, WNDPROC defaultProc, void* widget)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const HWND handle = r.nextHandle;
    r.nextHandle += 2;
    r.windows.emplace(handle, WindowEntry{className ? className : "", windowName ? windowName : "",
                                          defaultProc ? defaultProc : &silentProc, widget});
    return handle;
}

void UnregisterWindow(HWND window)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.windows.erase(window);
}

bool IsWindow(HWND window)
{
    if (window == kDesktopWindow)
        return true;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.windows.count(window) != 0;
}

HWND FindWindowA(const char* className, const char* windowName)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& [handle, entry] : r.windows) {
        if (className && entry.className != className)
            continue;
        if (windowName && entry.windowName != windowName)
            continue;
        return handle;
    }
    return 0;
}

HWND GetDesktopWindow()
{
    return kDesktopWindow;
}

void* WidgetOf(HWND window)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.windows.find(window);
    return it == r.windows.end() ? nullptr : it->second.widget;
}

intptr_t SetWindowLongA(HWND window, int index, intptr_t newValue)
{
    if (index != GWL_WNDPROC || newValue == 0)
        return 0;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.windows.find(window);
    if (it == r.windows.end())
        return 0;
    const WNDPROC previous = it->second.proc;
    it->second.proc = longToProc(newValue);
    return procToLong(previous);
}

WNDPROC GetWindowProc(HWND window)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.windows.find(window);
    return it == r.windows.end() ? nullptr : it->second.proc;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(window, message, wParam, lParam) : 0;
}

LRESULT SendMessageA(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    // The lock is released before the procedure runs: a procedure may send
    // further messages or replace procedures.
    const WNDPROC proc = GetWindowProc(window);
    return CallWindowProcA(proc, window, message, wParam, lParam);
}

} // namespace platform
