// The update rig with a port set for a window port: COM1 to COM4 on the
// simulated instrument, and after them a modelled FT232R adapter wired to the
// same instrument, on the rig's virtual clock, reached through libftdi's or
// D2XX's functions.
#pragma once

#include "link/AdapterPorts.h"
#include "link/ComPorts.h"
#include "link/PortSet.h"
#include "link/d2xx/D2xx.h"
#include "sim/D2xxModel.h"
#include "sim/Ft232rModel.h"
#include "sim/SimComPort.h"
#include "tests/app/UpdateRig.h"

#include <optional>

namespace usb_test {

constexpr int comItem = 0;
constexpr int adapterItem = 4;

// The two libraries the port reaches the chip through.
enum class Library { LibFtdi, D2xx };
inline const char* nameOf(Library library)
{
    return library == Library::LibFtdi ? "libftdi" : "D2XX";
}
constexpr Library libraries[] = {Library::LibFtdi, Library::D2xx};

// The modelled adapters as one library reaches them.
struct AdapterBus {
    AdapterBus(Library library, const std::vector<sim::Ft232rModel*>& adapters)
    {
        if (adapters.empty())
            return;
        if (library == Library::LibFtdi) {
            factory = sim::modelFactory(adapters);
        } else {
            d2xx.emplace(adapters);
            factory = d2xx::factory(sim::D2xxBus::api());
        }
    }
    std::optional<sim::D2xxBus> d2xx;
    usb::FtdiFactory factory;
};

// COM1 to COM4 on device, described by `describe`, then one kind of adapter
// per factory, each with why it has none.
inline std::unique_ptr<serial::PortSet> portsOn(sim::Atmega128& device,
                                                const std::vector<std::pair<usb::FtdiFactory, std::string>>& kinds,
                                                const std::function<void(uint16_t, serial::PortEntry&)>& describe = {})
{
    std::vector<std::unique_ptr<serial::PortProvider>> providers;
    providers.push_back(
        std::make_unique<serial::ComPorts>([&device] { return std::make_unique<sim::SimComPort>(device); }, describe));
    for (const auto& [factory, absence] : kinds)
        providers.push_back(std::make_unique<usb::AdapterPorts>(factory, absence));
    return std::make_unique<serial::PortSet>(std::move(providers));
}

struct UsbRig {
    explicit UsbRig(const sim::Scenario& scenario = {}, Library library = Library::LibFtdi)
        : device(std::make_unique<sim::Atmega128>(scenario))
        , adapter("SIM00001", device.get())
        , bus(library, {&adapter})
        , rig(scenario, sim::simulatedPortSet(*device, bus.factory))
    {
        // The rig made an instrument of its own; ours is the one wired up.
        rig.device.swap(device);
        adapter.clock = &rig.clock;
    }

    // Writes the firmware, picks the list item and expects the program-mode
    // prompt, answered with OK.
    void start(int item, const app_test::Firmware& firmware)
    {
        firmware.write();
        rig.form->lboxComPort.Select(item);
        rig.expect({app_test::programMode, tk::MB_OKCANCEL});
    }

    // Declared first: the window's port uses them until the rig is gone.
    std::unique_ptr<sim::Atmega128> device;
    sim::Ft232rModel adapter;
    AdapterBus bus;
    app_test::UpdateRig rig;
};

} // namespace usb_test
