// The ports of the machine the program runs on: COM1 to COM4 on the
// platform's serial driver, and the FT232R USB adapters plugged in at start,
// driven through libftdi.
#pragma once

#include "link/PortSet.h"

#include <memory>
#include <string>

namespace usb {

// One libftdi context on the real USB devices.
std::unique_ptr<FtdiContext> makeLibFtdiContext();

} // namespace usb

namespace serial {

// Looks for adapters now.
std::unique_ptr<PortSet> makeSystemPorts();

// For the operator: which ports a program can open here, and how.
std::string systemPortsHelp();

// Whether this platform reaches USB adapters apart from its COM ports, so
// that a simulation offers a modelled one only where a real one could be.
bool adapterPortsAvailable();

} // namespace serial
