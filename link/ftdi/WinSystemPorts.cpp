// The ports of a Windows machine: COM1 to COM4, then the FT232R adapters that
// the vendor's D2XX library finds, driven in bit-bang mode through it. Without
// the library (the driver package installs it) the adapters are not listed,
// and the port list says why.
#include "link/ftdi/SystemPorts.h"

#include "link/AdapterPorts.h"
#include "link/ComPorts.h"
#include "link/SystemPort.h"
#include "link/d2xx/D2xx.h"

namespace serial {

std::unique_ptr<PortSet> makeSystemPorts()
{
    std::vector<std::unique_ptr<PortProvider>> providers;
    providers.push_back(std::make_unique<ComPorts>(makeSystemPort, describeSystemPort));
    std::string whyNot;
    const d2xx::Api* library = d2xx::systemLibrary(whyNot);
    providers.push_back(std::make_unique<usb::AdapterPorts>(library ? d2xx::factory(*library) : usb::FtdiFactory(),
                                                            whyNot));
    return std::make_unique<PortSet>(std::move(providers));
}

std::string systemPortsHelp()
{
    return "Ports: COM1..COM4 are the computer's serial ports. A USB serial adapter with a\n"
           "higher number must first be given one of these in the Device Manager (the\n"
           "port's Properties, Port Settings, Advanced, COM Port Number). An FT232R USB\n"
           "adapter is also listed as \"USB FT232R <serial number> (COMn)\" when FTDI's D2XX\n"
           "driver is installed: through it the adapter runs in synchronous bit-bang mode,\n"
           "RTS# the clock, DTR# the data to and CTS# the data from the instrument, and an\n"
           "update takes under two minutes instead of hours.\n";
}

} // namespace serial
