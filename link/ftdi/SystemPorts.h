// The ports of the machine the program runs on: COM1 to COM4 on the
// platform's serial driver, then the FT232R USB adapters plugged in at
// start, driven through the platform's USB library (libftdi on Linux, the
// vendor's D2XX library on Windows).
#pragma once

#include "link/PortSet.h"

#include <memory>
#include <string>

namespace serial {

// Looks for adapters now.
std::unique_ptr<PortSet> makeSystemPorts();

// For the operator: which ports a program can open here, and how.
std::string systemPortsHelp();

} // namespace serial
