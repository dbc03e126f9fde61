// kpx-updater.exe: the update tool in a window, on Windows.
#include "app/UI.h"
#include "app/startup/Startup.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "platform/win/Win32.h"
#include "toolkit/Application.h"
#include "toolkit/win/Win32Backend.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* programTitle = "M740-RT Updater";

// A window program has no console to print to: what it has to say goes
// into a box.
void tell(const std::string& text, int flags)
{
    ::MessageBoxA(nullptr, text.c_str(), programTitle, static_cast<UINT>(flags));
}

} // namespace

int main(int argc, char** argv)
{
    startup::WindowOptions options;
    try {
        options = startup::parseWindowOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (!options.rest.empty())
            throw std::invalid_argument("unknown option " + options.rest.front());
    } catch (const std::invalid_argument& error) {
        tell(std::string(error.what()) + "\n\n" + startup::boxText(startup::windowUsage("kpx-updater")),
             tk::MB_OK | tk::MB_ICONERROR);
        return 2;
    }
    if (options.help) {
        tell(startup::boxText(startup::windowUsage("kpx-updater")), tk::MB_OK);
        return 0;
    }
    if (options.version) {
        tell("kpx-updater " KPX_VERSION, tk::MB_OK);
        return 0;
    }

    tkwin::Win32Backend backend;
    backend.setTitle(programTitle);
    // Outlives the application, and so the ports wired to it.
    startup::Simulation simulation;
    tk::TApplication application(backend);
    application.HandleEvent([&] {
        application.Initialize();
        const startup::Windows windows = startup::createWindows(application, options, simulation);
        for (tk::TForm* form : {static_cast<tk::TForm*>(&windows.main), static_cast<tk::TForm*>(&windows.about),
                                static_cast<tk::TForm*>(&windows.pages)})
            backend.attach(*form);
        application.Run();
    });
    return 0;
}
