#include "app/gui/Updater.h"

#include "app/Firmware.h"
#include "app/UI.h"
#include "app/gui/Windows.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "link/ftdi/SystemPorts.h"
#include "sim/Ft232rModel.h"
#include "toolkit/Application.h"
#include "toolkit/qt/QtBackend.h"

#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace gui {

UpdaterOptions parseOptions(const std::vector<std::string>& arguments)
{
    UpdaterOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--simulate") {
            options.simulate = true;
        } else if (argument.rfind("--simulate=", 0) == 0) {
            options.simulate = true;
            options.scenario = sim::Scenario::parse(argument.substr(std::string("--simulate=").size()));
        } else if (argument == "--firmware" || argument.rfind("--firmware=", 0) == 0) {
            const bool separate = argument == "--firmware";
            if (separate && i + 1 >= arguments.size())
                throw std::invalid_argument("--firmware needs a file name");
            options.firmware = separate ? arguments[++i] : argument.substr(std::string("--firmware=").size());
            if (options.firmware.empty())
                throw std::invalid_argument("--firmware needs a file name");
        } else if (argument.rfind("--dump-widgets=", 0) == 0) {
            options.dumpWidgetsTo = argument.substr(std::string("--dump-widgets=").size());
            if (options.dumpWidgetsTo.empty())
                throw std::invalid_argument("--dump-widgets needs a file name");
        } else {
            options.rest.push_back(argument);
        }
    }
    return options;
}

std::string usage(const std::string& program)
{
    std::string folders;
    for (const std::string& folder : firmware::searchFolders())
        folders += "  " + folder + "\n";
    return "Usage: " + program + " [--firmware FILE] [--simulate[=SCENARIO]] [--dump-widgets=FILE] [--version]\n"
           "\n"
           "Rewrites the program memory of an M740-RT. Pick the serial port in the\n"
           "window, press \"Update!\" and follow the prompts. The firmware image\n"
           "\"KPXUpdate517.hex\" is looked for in these folders, in order:\n" +
           folders +
           "\n"
           "  --firmware FILE        program FILE instead\n"
           "  --simulate[=SCENARIO]  wire the port you pick to a simulated instrument\n"
           "                         instead of a serial device (default: normal); the\n"
           "                         list also offers a modelled USB adapter wired to it\n"
           "  --dump-widgets=FILE    once the window is shown, write its controls'\n"
           "                         names, positions and sizes to FILE\n"
           "  --version              show the program's version\n"
           "  --help                 show this text\n"
           "\n"
           "Port n opens $KPX_COM<n> when set, else /dev/ttyS<n-1>. FT232R USB adapters\n"
           "plugged in at start are listed after COM4.\n"
           "\n"
           "Scenarios:\n" +
           sim::Scenario::names();
}

namespace {

void scheduleDump(tkqt::QtBackend& backend, const TfrmUpdate& form, const std::string& path)
{
    QTimer::singleShot(0, [&backend, &form, path] {
        const QWidget* window = backend.window(form);
        QFile file(QString::fromStdString(path));
        if (!window || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        QTextStream out(&file);
        dumpWidgets(*window, out);
    });
}

} // namespace

int runUpdater(tkqt::QtBackend& backend, const UpdaterOptions& options)
{
    // Outlive the application, and so the ports wired to them.
    std::unique_ptr<sim::Atmega128> instrument;
    std::unique_ptr<sim::SimulatedPorts> simulated;
    tk::TApplication application(backend);
    application.HandleEvent([&] {
        application.Initialize();
        std::unique_ptr<serial::ComPort> port;
        if (options.simulate) {
            instrument = std::make_unique<sim::Atmega128>(options.scenario);
            simulated = std::make_unique<sim::SimulatedPorts>(*instrument, nullptr);
            port = std::move(simulated->ports);
        } else {
            port = serial::makeSystemPorts();
        }
        auto& main = application.CreateForm<TfrmUpdate>(std::move(port));
        main.firmwareFile = options.firmware;
        main.ShowFirmwareNotice();
        attach(backend, main);
        attach(backend, application.CreateForm<TAboutBox>());
        attach(backend, application.CreateForm<TPagesDlg>());
        if (!options.dumpWidgetsTo.empty())
            scheduleDump(backend, main, options.dumpWidgetsTo);
        application.Run();
    });
    return 0;
}

} // namespace gui
