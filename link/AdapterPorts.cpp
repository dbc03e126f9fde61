#include "link/AdapterPorts.h"

#include "link/Ft232rPort.h"

#include <utility>

namespace usb {

AdapterPorts::AdapterPorts(FtdiFactory factory, std::string absence)
    : factory_(std::move(factory))
    , absence_(std::move(absence))
{
    if (!factory_)
        return;
    for (const AdapterInfo& adapter : factory_()->findAll()) {
        serial::PortEntry entry;
        entry.name = name(adapter);
        entry.serial = adapter.serial;
        entry.problem = adapter.problem;
        entry.inUse = adapter.inUse;
        entry.comNumber = adapter.comNumber;
        ports_.push_back(entry);
    }
}

std::string AdapterPorts::name(const AdapterInfo& adapter)
{
    // D2XX tells of an adapter another program holds only that it is held.
    std::string name = "USB FT232R " + (!adapter.serial.empty() ? adapter.serial
                                        : adapter.inUse         ? std::string("(in use)")
                                                                : std::string("(serial number unreadable)"));
    if (adapter.comNumber != 0)
        name += " (" + serial::comPortName(adapter.comNumber) + ")";
    return name;
}

std::unique_ptr<serial::ComPort> AdapterPorts::make(size_t index, uint16_t number)
{
    const serial::PortEntry& entry = ports_.at(index);
    auto port = std::make_unique<Ft232rPort>(factory_(), entry.serial, entry.name);
    port->SetComNumber(number);
    return port;
}

} // namespace usb
