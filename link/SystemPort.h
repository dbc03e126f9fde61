// The serial port of the machine the program runs on, COM1 to COM4 on this
// platform's own serial driver. Front ends ask for it here, so that they
// need not know which platform they were built for.
#pragma once

#include "link/ComPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace serial {

std::unique_ptr<ComPort> makeSystemPort();

// For the operator: the device that port number n (1 = COM1) opens here.
std::string systemPortDevice(uint16_t number);

} // namespace serial
