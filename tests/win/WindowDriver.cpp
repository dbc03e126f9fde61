#include "tests/win/WindowDriver.h"

#include <wincodec.h>

#include <cstdio>
#include <utility>

namespace win_test {

namespace {

WindowDriver* running = nullptr;

// A script that makes no progress for this long has lost its way (a box it
// does not expect is waiting): the program is ended rather than left to hang
// the test run until its time limit. A whole update is one step, and takes
// over a minute on a 2-core machine busy with other builds.
constexpr ULONGLONG stallMs = 180'000;

std::string withoutAccessKeys(std::string text)
{
    std::erase(text, '&');
    return text;
}

} // namespace

WindowDriver::WindowDriver()
{
    running = this;
    lastProgress_ = ::GetTickCount64();
    timer_ = ::SetTimer(nullptr, 0, 10, &tick);
}

WindowDriver::~WindowDriver()
{
    ::KillTimer(nullptr, timer_);
    running = nullptr;
}

WindowDriver& WindowDriver::then(std::string what, std::function<bool()> ready, std::function<void()> act)
{
    steps_.push_back({std::move(what), std::move(ready), std::move(act)});
    return *this;
}

WindowDriver& WindowDriver::press(const std::string& caption, const std::string& label)
{
    return then("\"" + label + "\" in \"" + caption + "\"", [caption] { return shown(caption) != nullptr; },
                [caption, label] { click(button(shown(caption), label)); });
}

std::string WindowDriver::pending() const
{
    return done() ? std::string() : steps_[next_].what;
}

void CALLBACK WindowDriver::tick(HWND, UINT, UINT_PTR, DWORD)
{
    WindowDriver* self = running;
    if (!self || self->done())
        return;
    if (!self->steps_[self->next_].ready()) {
        if (::GetTickCount64() - self->lastProgress_ > stallMs) {
            std::fprintf(stderr, "window driver: stalled waiting for %s\n", self->pending().c_str());
            std::fflush(stderr);
            ::ExitProcess(3);
        }
        return;
    }
    // Taken before it acts: what it starts may run a loop that ticks again.
    const Step step = self->steps_[self->next_++];
    self->lastProgress_ = ::GetTickCount64();
    step.act();
}

HWND WindowDriver::shown(const std::string& caption)
{
    struct Search {
        std::string caption;
        HWND found = nullptr;
    } search{caption};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* wanted = reinterpret_cast<Search*>(data);
            if (::IsWindowVisible(window) && text(window) == wanted->caption) {
                wanted->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string WindowDriver::text(HWND window)
{
    char buffer[1024] = {};
    ::GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

std::vector<std::string> WindowDriver::buttons(HWND window)
{
    std::vector<std::string> found;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        char windowClass[64] = {};
        ::GetClassNameA(child, windowClass, sizeof windowClass);
        if (::lstrcmpiA(windowClass, "Button") == 0 && ::IsWindowVisible(child))
            found.push_back(withoutAccessKeys(text(child)));
    }
    return found;
}

HWND WindowDriver::button(HWND window, const std::string& label)
{
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (withoutAccessKeys(text(child)) == label)
            return child;
    return nullptr;
}

void WindowDriver::click(HWND button)
{
    ::PostMessageA(button, BM_CLICK, 0, 0);
}

void WindowDriver::menu(HWND window, std::vector<int> path)
{
    HMENU menu = ::GetMenu(window);
    for (size_t depth = 0; depth + 1 < path.size(); ++depth)
        menu = ::GetSubMenu(menu, path[depth]);
    const UINT id = ::GetMenuItemID(menu, path.back());
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void WindowDriver::key(WORD virtualKey, bool alt)
{
    std::vector<INPUT> strokes;
    const auto stroke = [&strokes](WORD key, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        strokes.push_back(input);
    };
    if (alt)
        stroke(VK_MENU, false);
    stroke(virtualKey, false);
    stroke(virtualKey, true);
    if (alt)
        stroke(VK_MENU, true);
    ::SendInput(static_cast<UINT>(strokes.size()), strokes.data(), sizeof(INPUT));
}

bool saveScreenshot(const RECT& area, const std::string& path)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    const HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    std::wstring file(path.size() + 1, L'\0');
    file.resize(static_cast<size_t>(
        ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, file.data(), static_cast<int>(file.size())) - 1));
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    const bool saved =
        SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                     reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateStream(&stream)) && SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
        SUCCEEDED(frame->SetPixelFormat(&format)) &&
        SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                     static_cast<UINT>(width * height * 4), static_cast<BYTE*>(pixels))) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    for (IUnknown* object : std::initializer_list<IUnknown*>{frame, encoder, stream, factory})
        if (object)
            object->Release();
    ::DeleteObject(bitmap);
    return saved;
}

} // namespace win_test
