// The update rig with a port set for a window port: COM1 to COM4 on the
// simulated instrument, and after them a modelled FT232R adapter wired to the
// same instrument, on the rig's virtual clock.
#pragma once

#include "link/PortSet.h"
#include "sim/Ft232rModel.h"
#include "tests/app/UpdateRig.h"

namespace usb_test {

constexpr int comItem = 0;
constexpr int adapterItem = 4;

struct UsbRig {
    explicit UsbRig(const sim::Scenario& scenario = {})
        : device(std::make_unique<sim::Atmega128>(scenario))
        , adapter("SIM00001", device.get())
        , rig(scenario, std::make_unique<serial::PortSet>(std::make_unique<sim::SimComPort>(*device),
                                                          sim::modelFactory({&adapter})))
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

    // Declared first: the window's port uses both until the rig is gone.
    std::unique_ptr<sim::Atmega128> device;
    sim::Ft232rModel adapter;
    app_test::UpdateRig rig;
};

} // namespace usb_test
