#include "help/Kyhhint.h"

#include "help/EngineLibrary.h"
#include "help/EngineHost.h"
#include "platform/Desktop.h"
#include "platform/Window.h"
#include "toolkit/Application.h"

#include <vector>

platform::HMODULE HHCtrlHandle = nullptr;
THtmlHelp HtmlHelpProc = nullptr;
bool DownloadOffered = false;

namespace {

std::string libraryOverride;
tk::TApplication* offerApplication = nullptr;

// What the engine may ask of us: our windows and message delivery.
platform::LRESULT hostSendMessage(platform::HWND window, uint32_t message, platform::WPARAM wParam,
                                  platform::LPARAM lParam)
{
    return platform::SendMessageA(window, message, wParam, lParam);
}

platform::HWND hostRegisterWindow(void* widget, const char* className)
{
    return platform::RegisterWindow(className, "", nullptr, widget);
}

void hostUnregisterWindow(platform::HWND window)
{
    platform::UnregisterWindow(window);
}

int hostIsWindow(platform::HWND window)
{
    return platform::IsWindow(window) ? 1 : 0;
}

void* hostWidgetOf(platform::HWND window)
{
    return platform::WidgetOf(window);
}

const KpxHelpHost hostTable{sizeof(KpxHelpHost), &hostSendMessage, &hostRegisterWindow,
                            &hostUnregisterWindow, &hostIsWindow, &hostWidgetOf};

std::vector<std::string> libraryCandidates()
{
    if (!libraryOverride.empty())
        return {libraryOverride};
    return htmlHelpEngineCandidates();
}

platform::HMODULE loadEngineLibrary()
{
    for (const std::string& candidate : libraryCandidates())
        if (platform::HMODULE module = platform::LoadLibraryA(candidate.c_str()))
            return module;
    return nullptr;
}

void releaseEngine()
{
    if (HHCtrlHandle)
        platform::FreeLibrary(HHCtrlHandle);
    HHCtrlHandle = nullptr;
    HtmlHelpProc = nullptr;
}

// The library stays loaded until the program ends.
struct EngineFinalizer {
    ~EngineFinalizer() { releaseEngine(); }
} engineFinalizer;

void offerDownload()
{
    if (!offerApplication)
        return;
    const std::string text = "Unable to load \"HHCtrl.ocx\" library !!!\r\n"
                             "Press OK Button to download and install the latest version\r\n"
                             "of the HTML Help Workshop from the Microsoft Web Site.";
    const int answer = offerApplication->MessageBox(text, "Error", tk::MB_OKCANCEL | tk::MB_ICONERROR);
    if (answer == tk::IDCANCEL)
        return;
    // Whether a browser really came up is not ours to judge.
    platform::ShellExecuteA(0, "open", HtmlHelpDownloadUrl, nullptr, nullptr, platform::SW_SHOWNORMAL);
    DownloadOffered = true;
}

} // namespace

platform::HWND HtmlHelp(platform::HWND caller, std::string File, uint32_t Command, intptr_t Data)
{
    // Without a loaded engine no help window can be open, so there is
    // nothing to close; loading it (or beeping and offering a download when
    // it is missing, at every program exit) would serve no one.
    if (!HtmlHelpProc && Command == HH_CLOSE_ALL)
        return 0;

    if (!HtmlHelpProc) {
        // A library that loaded without the entry point is released before
        // the next attempt rather than piling up references to it.
        releaseEngine();
        HHCtrlHandle = loadEngineLibrary();
        if (HHCtrlHandle) {
            HtmlHelpProc = platform::procAs<THtmlHelp>(platform::GetProcAddress(HHCtrlHandle, kKpxHelpEntryPointName));
            if (HtmlHelpProc) {
                const auto attach = platform::procAs<KpxHelpEngineAttachFn>(
                    platform::GetProcAddress(HHCtrlHandle, kKpxHelpAttachName));
                if (attach)
                    attach(&hostTable);
            }
        }
    }

    if (HtmlHelpProc)
        return HtmlHelpProc(caller, File.c_str(), Command, static_cast<uintptr_t>(Data));

    platform::Beep(1000, 100);
    if (!DownloadOffered)
        offerDownload();
    return -1;
}

void SetHtmlHelpApplication(tk::TApplication* application)
{
    offerApplication = application;
}

tk::TApplication* HtmlHelpApplication()
{
    return offerApplication;
}

void SetHtmlHelpLibrary(const std::string& path)
{
    releaseEngine();
    libraryOverride = path;
}
