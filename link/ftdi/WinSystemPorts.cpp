// The ports of a Windows machine: COM1 to COM4 only. Windows reaches an
// FT232R through its vendor's serial driver, as a COM port like any other;
// libftdi's direct USB access is not there, so no adapter is listed apart.
#include "link/ftdi/SystemPorts.h"

#include "link/SystemPort.h"

namespace serial {

std::unique_ptr<PortSet> makeSystemPorts()
{
    return std::make_unique<PortSet>(makeSystemPort(), nullptr);
}

std::string systemPortsHelp()
{
    return "Ports: COM1..COM4 are the computer's serial ports. A USB serial adapter with a\n"
           "higher number must first be given one of these in the Device Manager (the\n"
           "port's Properties, Port Settings, Advanced, COM Port Number).\n";
}

bool adapterPortsAvailable()
{
    return false;
}

} // namespace serial
