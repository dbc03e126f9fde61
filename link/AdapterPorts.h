// The FT232R adapters that one library reaches (libftdi, D2XX, or the model
// of the adapter), as one kind of port: listed when made, each opened as an
// Ft232rPort on a connection of its own.
#pragma once

#include "link/PortProvider.h"
#include "link/UsbBitbang.h"

namespace usb {

class AdapterPorts final : public serial::PortProvider {
public:
    // factory null: this kind is not available here, for the reason given.
    explicit AdapterPorts(FtdiFactory factory, std::string absence = {});

    const std::vector<serial::PortEntry>& ports() const override { return ports_; }
    std::unique_ptr<serial::ComPort> make(size_t index, uint16_t number) override;
    bool adapters() const override { return true; }
    std::string absence() const override { return absence_; }

    // "USB FT232R A12345", and " (COM7)" when the system also has it as COM7.
    static std::string name(const AdapterInfo& adapter);

private:
    FtdiFactory factory_;
    std::string absence_;
    std::vector<serial::PortEntry> ports_;
};

} // namespace usb
