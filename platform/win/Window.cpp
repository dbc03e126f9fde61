// Windows and their procedures on Windows: the system's own. A window
// registered here is a real, hidden top-level window, so FindWindowA and
// IsWindow see it as any other; its procedure is the system's to replace.
#include "platform/Window.h"

#include "platform/win/Win32.h"

#include <map>
#include <mutex>
#include <set>
#include <string>

namespace platform {

namespace {

struct Registered {
    WNDPROC defaultProc;
    void* widget;
};

struct Registry {
    std::mutex mutex;
    std::map<::HWND, Registered> windows;
    std::set<std::string> classes;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

LRESULT CALLBACK registeredProc(::HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc = nullptr;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        // Entered once the window exists: a procedure that answers 0 to
        // everything would refuse its creation.
        const auto it = r.windows.find(window);
        if (it != r.windows.end())
            proc = it->second.defaultProc;
    }
    if (proc && message != WM_NCDESTROY)
        return proc(fromNative(window), message, wParam, lParam);
    return ::DefWindowProcA(window, message, wParam, lParam);
}

bool registerClass(const std::string& name)
{
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        if (r.classes.count(name))
            return true;
    }
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &registeredProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name.c_str();
    if (!::RegisterClassExA(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    std::lock_guard lock(r.mutex);
    r.classes.insert(name);
    return true;
}

} // namespace

HWND RegisterWindow(const char* className, const char* windowName, WNDPROC defaultProc, void* widget)
{
    const std::string name = className && *className ? className : "KpxWindow";
    if (!registerClass(name))
        return 0;
    const ::HWND window = ::CreateWindowExA(WS_EX_TOOLWINDOW, name.c_str(), windowName ? windowName : "", WS_POPUP,
                                            0, 0, 0, 0, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return 0;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.windows[window] = Registered{defaultProc, widget};
    return fromNative(window);
}

void UnregisterWindow(HWND window)
{
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        // Only what was registered here is ours to destroy.
        if (r.windows.erase(nativeWindow(window)) == 0)
            return;
    }
    ::DestroyWindow(nativeWindow(window));
}

bool IsWindow(HWND window)
{
    return window != 0 && ::IsWindow(nativeWindow(window)) != FALSE;
}

HWND FindWindowA(const char* className, const char* windowName)
{
    return fromNative(::FindWindowA(className, windowName));
}

HWND GetDesktopWindow()
{
    return fromNative(::GetDesktopWindow());
}

void* WidgetOf(HWND window)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.windows.find(nativeWindow(window));
    return it == r.windows.end() ? nullptr : it->second.widget;
}

intptr_t SetWindowLongA(HWND window, int index, intptr_t newValue)
{
    if (index != GWL_WNDPROC || newValue == 0 || !IsWindow(window))
        return 0;
    // The system refuses windows of other processes, the desktop among
    // them, and answers 0.
    return ::SetWindowLongPtrA(nativeWindow(window), GWLP_WNDPROC, newValue);
}

WNDPROC GetWindowProc(HWND window)
{
    if (!IsWindow(window))
        return nullptr;
    return longToProc(::GetWindowLongPtrA(nativeWindow(window), GWLP_WNDPROC));
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (!proc)
        return 0;
    // The system's call also copes with the procedure handles it hands out
    // for windows of the other character set.
    return ::CallWindowProcA(reinterpret_cast<::WNDPROC>(procToLong(proc)), nativeWindow(window), message, wParam,
                             lParam);
}

LRESULT SendMessageA(HWND window, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    // The desktop belongs to the shell: nothing of ours is sent there.
    if (!IsWindow(window) || window == GetDesktopWindow())
        return 0;
    return ::SendMessageA(nativeWindow(window), message, wParam, lParam);
}

} // namespace platform
