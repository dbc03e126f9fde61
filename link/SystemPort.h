// The serial port of the machine the program runs on, COM1 to COM4 on this
// platform's own serial driver. Front ends ask for it here, so that they
// need not know which platform they were built for.
#pragma once

#include "link/ComPort.h"

#include <memory>

namespace serial {

std::unique_ptr<ComPort> makeSystemPort();

} // namespace serial
