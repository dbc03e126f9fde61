#include "app/startup/Startup.h"

#include "app/Firmware.h"
#include "app/UI.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "link/ftdi/SystemPorts.h"

#include <stdexcept>

namespace startup {

WindowOptions parseWindowOptions(const std::vector<std::string>& arguments)
{
    WindowOptions options;
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
        } else {
            options.rest.push_back(argument);
        }
    }
    return options;
}

std::string windowUsage(const std::string& program, const std::string& frontEndOptions)
{
    std::string folders;
    for (const std::string& folder : firmware::searchFolders())
        folders += "  " + folder + "\n";
    return "Usage: " + program + " [--firmware FILE] [--simulate[=SCENARIO]] [--version]\n"
           "\n"
           "Rewrites the program memory of an M740-RT. Pick the serial port in the\n"
           "window, press \"Update!\" and follow the prompts. The firmware image\n"
           "\"KPXUpdate517.hex\" is looked for in these folders, in order:\n" +
           folders +
           "\n"
           "  --firmware FILE        program FILE instead\n"
           "  --simulate[=SCENARIO]  wire the port you pick to a simulated instrument\n"
           "                         instead of a serial device (default: normal)\n"
           "                         and list a modelled USB adapter wired to it\n" +
           frontEndOptions +
           "  --version              show the program's version\n"
           "  --help                 show this text\n"
           "\n" +
           serial::systemPortsHelp() +
           "\n"
           "Scenarios:\n" +
           sim::Scenario::names();
}

std::string boxText(const std::string& terminalText)
{
    enum class Kind { Blank, Paragraph, Row };
    std::vector<std::string> lines;
    Kind last = Kind::Blank;
    size_t rowIndent = 0;
    size_t start = 0;
    while (start < terminalText.size()) {
        size_t end = terminalText.find('\n', start);
        if (end == std::string::npos)
            end = terminalText.size();
        const std::string line = terminalText.substr(start, end - start);
        start = end + 1;

        const size_t indent = line.find_first_not_of(' ');
        if (indent == std::string::npos) {
            lines.emplace_back();
            last = Kind::Blank;
        } else if ((indent == 0 && last == Kind::Paragraph) || (indent > rowIndent && last == Kind::Row)) {
            lines.back() += ' ' + line.substr(indent);
        } else if (indent == 0) {
            lines.push_back(line);
            last = Kind::Paragraph;
        } else {
            // The columns of a row are apart by two blanks or more.
            const std::string row = line.substr(indent);
            const size_t gap = row.find("  ");
            lines.push_back(gap == std::string::npos
                                ? row
                                : row.substr(0, gap) + ": " + row.substr(row.find_first_not_of(' ', gap)));
            last = Kind::Row;
            rowIndent = indent;
        }
    }
    std::string box;
    for (const std::string& line : lines)
        box += line + '\n';
    return box;
}

Windows createWindows(tk::TApplication& application, const WindowOptions& options, Simulation& simulation)
{
    std::unique_ptr<serial::ComPort> port;
    if (options.simulate) {
        simulation.instrument = std::make_unique<sim::Atmega128>(options.scenario);
        simulation.ports = std::make_unique<sim::SimulatedPorts>(*simulation.instrument, nullptr);
        port = std::move(simulation.ports->ports);
    } else {
        port = serial::makeSystemPorts();
    }
    auto& main = application.CreateForm<TfrmUpdate>(std::move(port));
    main.firmwareFile = options.firmware;
    main.ShowFirmwareNotice();
    auto& about = application.CreateForm<TAboutBox>();
    auto& pages = application.CreateForm<TPagesDlg>();
    return {main, about, pages};
}

} // namespace startup
