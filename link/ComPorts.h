// The COM ports as one kind of port: COM1 to COM4, each opened through a
// port object of the platform's (or the simulation's) serial component.
#pragma once

#include "link/PortProvider.h"

#include <functional>
#include <utility>

namespace serial {

class ComPorts final : public PortProvider {
public:
    static constexpr uint16_t count = 4;

    // make gives a closed port object; describe, when given, adds what is
    // known of the device behind a number (whether it is on USB).
    explicit ComPorts(std::function<std::unique_ptr<ComPort>()> make,
                      const std::function<void(uint16_t number, PortEntry&)>& describe = {})
        : make_(std::move(make))
    {
        for (uint16_t number = 1; number <= count; ++number) {
            PortEntry entry;
            entry.name = comPortName(number);
            if (describe)
                describe(number, entry);
            ports_.push_back(entry);
        }
    }

    const std::vector<PortEntry>& ports() const override { return ports_; }
    std::unique_ptr<ComPort> make(size_t index, uint16_t) override
    {
        std::unique_ptr<ComPort> port = make_();
        port->SetComNumber(static_cast<uint16_t>(index + 1));
        return port;
    }
    bool adapters() const override { return false; }

private:
    std::function<std::unique_ptr<ComPort>()> make_;
    std::vector<PortEntry> ports_;
};

} // namespace serial
