// The serial port of the machine the program runs on, COM1 to COM4 on this
// platform's own serial driver. Front ends ask for it here, so that they
// need not know which platform they were built for.
#pragma once

#include "link/ComPort.h"
#include "link/PortProvider.h"

#include <cstdint>
#include <memory>
#include <string>

namespace serial {

std::unique_ptr<ComPort> makeSystemPort();

// For the operator: the device that port number n (1 = COM1) opens here.
std::string systemPortDevice(uint16_t number);

// What the system knows of the device behind COM port n: whether it is a USB
// serial adapter (and its serial number), whose line changes are USB round
// trips.
void describeSystemPort(uint16_t number, PortEntry& entry);

} // namespace serial
