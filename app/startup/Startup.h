// Start-up of the window program, whichever toolkit shows it: its options
// and usage, and its windows created in start-up order on the ports of this
// machine or on the simulated instrument.
#pragma once

#include "sim/Atmega128.h"
#include "sim/Ft232rModel.h"
#include "toolkit/Application.h"

#include <memory>
#include <string>
#include <vector>

class TAboutBox;
class TPagesDlg;
class TfrmUpdate;

namespace startup {

struct WindowOptions {
    bool help = false;
    bool version = false;
    // The port the operator picks is wired to the simulated instrument.
    bool simulate = false;
    sim::Scenario scenario;
    // The firmware file to program; empty to look for it by name.
    std::string firmware;
    // Arguments that are not ours: the front end's own, or its toolkit's.
    std::vector<std::string> rest;
};

// Throws std::invalid_argument with a message for the operator.
WindowOptions parseWindowOptions(const std::vector<std::string>& arguments);

// The usage text; frontEndOptions are the front end's own option lines.
std::string windowUsage(const std::string& program, const std::string& frontEndOptions = {});

// A terminal's text (such as the usage) for a message box, which wraps
// lines to its own width: the hard line breaks within a paragraph are
// taken out, and each row of an indented table (an option or a scenario and
// its description, or a folder) becomes one line of its own, "NAME: TEXT",
// with its continuation lines joined to it.
std::string boxText(const std::string& terminalText);

// The simulated instrument and the ports wired to it (with a modelled USB
// adapter), which must outlive the application that uses them.
struct Simulation {
    std::unique_ptr<sim::Atmega128> instrument;
    std::unique_ptr<sim::SimulatedPorts> ports;
};

struct Windows {
    TfrmUpdate& main;
    TAboutBox& about;
    TPagesDlg& pages;
};

// Creates the main window (on this machine's ports, or on a simulated
// instrument kept in simulation), with the firmware file announced on its
// status line, then the About box and the instructions dialog.
Windows createWindows(tk::TApplication& application, const WindowOptions& options, Simulation& simulation);

} // namespace startup
