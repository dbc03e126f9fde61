// kpx-updater.exe: the update tool in a window, on Windows.
#include "app/UI.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "link/ftdi/SystemPorts.h"
#include "platform/win/Win32.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
#include "toolkit/Application.h"
#include "toolkit/win/Win32Backend.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr const char* programTitle = "M740-RT Updater";

struct Options {
    bool help = false;
    bool simulate = false;
    sim::Scenario scenario;
};

// Throws std::invalid_argument with a message for the operator.
Options parseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            options.help = true;
        } else if (argument == "--simulate") {
            options.simulate = true;
        } else if (argument.rfind("--simulate=", 0) == 0) {
            options.simulate = true;
            options.scenario = sim::Scenario::parse(argument.substr(std::string("--simulate=").size()));
        } else {
            throw std::invalid_argument("unknown option " + argument);
        }
    }
    return options;
}

// A window program has no console to print to: usage goes into a box.
std::string usage()
{
    return "kpx-updater [--simulate[=SCENARIO]]\n"
           "\n"
           "Rewrites the program memory of an M740-RT. Pick the serial port in the window, press "
           "\"Update!\" and follow the prompts. The firmware image \"KPXUpdate517.hex\" is read from the "
           "current folder.\n"
           "\n"
           "--simulate[=SCENARIO]   wire the port you pick to a simulated instrument instead of a serial "
           "port (default: normal)\n"
           "\n"
           "Scenarios:\n" +
           sim::Scenario::names();
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const std::invalid_argument& error) {
        ::MessageBoxA(nullptr, (std::string(error.what()) + "\n\n" + usage()).c_str(), programTitle,
                      tk::MB_OK | tk::MB_ICONERROR);
        return 2;
    }
    if (options.help) {
        ::MessageBoxA(nullptr, usage().c_str(), programTitle, tk::MB_OK);
        return 0;
    }

    tkwin::Win32Backend backend;
    backend.setTitle(programTitle);
    // Outlives the application, and so the port wired to it.
    std::unique_ptr<sim::Atmega128> instrument;
    tk::TApplication application(backend);
    application.HandleEvent([&] {
        application.Initialize();
        std::unique_ptr<serial::ComPort> port;
        if (options.simulate) {
            // COM1 to COM4 only: Windows has no adapter ports to simulate.
            instrument = std::make_unique<sim::Atmega128>(options.scenario);
            port = std::make_unique<sim::SimComPort>(*instrument);
        } else {
            port = serial::makeSystemPorts();
        }
        // Created in this order (the main window first), each with its window.
        for (tk::TForm* form : {static_cast<tk::TForm*>(&application.CreateForm<TfrmUpdate>(std::move(port))),
                                static_cast<tk::TForm*>(&application.CreateForm<TAboutBox>()),
                                static_cast<tk::TForm*>(&application.CreateForm<TPagesDlg>())})
            backend.attach(*form);
        application.Run();
    });
    return 0;
}
