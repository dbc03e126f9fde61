// One kind of port the operator can pick: the system's COM ports, the FT232R
// adapters of a USB library, the modelled adapter of a simulation. Each kind
// lists the ports it found and makes a port object for any of them; the port
// set (link/PortSet.h) numbers the ports of all kinds in order, so a new
// kind is one provider and one port class, and nothing above the link
// changes for it.
#pragma once

#include "link/ComPort.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace serial {

struct PortEntry {
    // What the operator sees: "COM1", "USB FT232R A12345 (COM7)".
    std::string name;
    // An adapter's serial number, for --port usb:SERIAL; empty for a COM
    // port, and for an adapter whose number could not be read.
    std::string serial;
    // Why the port cannot be used, for the operator; empty when it can.
    std::string problem;
    // The problem is that another program holds the port.
    bool inUse = false;
    // An adapter: the COM number the system's serial driver gave the same
    // device (0 for none), whose port is the slow way to it.
    uint16_t comNumber = 0;
    // A COM port whose device is a USB serial adapter, where every line
    // change is a USB round trip; with the adapter's serial number when it
    // is known.
    bool onUsb = false;
    std::string usbSerial;
};

class PortProvider {
public:
    virtual ~PortProvider() = default;

    // The ports found when the provider was made, in the operator's order.
    virtual const std::vector<PortEntry>& ports() const = 0;
    // A closed port object for entry index of ports(), its number set.
    virtual std::unique_ptr<ComPort> make(size_t index, uint16_t number) = 0;
    // Adapters are chosen as "usb" or "usb:SERIAL", COM ports by name.
    virtual bool adapters() const = 0;
    // Why this kind has no port here, when it has none for a reason the
    // operator can act on ("no FTDI D2XX driver installed"); else empty.
    virtual std::string absence() const { return {}; }
};

} // namespace serial
