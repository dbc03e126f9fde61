// Whether a COM port's device is a USB serial adapter, from the name of the
// device the system maps COMn to.
#include "link/SystemPort.h"

#include "platform/win/Win32.h"

#include <algorithm>
#include <cctype>

namespace serial {

void describeSystemPort(uint16_t number, PortEntry& entry)
{
    char target[512] = {};
    if (::QueryDosDeviceA(comPortName(number).c_str(), target, sizeof target) == 0)
        return;
    std::string device = target;
    std::transform(device.begin(), device.end(), device.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    // The devices of the common USB serial drivers: the USB modem class
    // driver, FTDI's virtual COM port, Silicon Labs', Prolific's.
    for (const char* usb : {"\\DEVICE\\USBSER", "\\DEVICE\\VCP", "\\DEVICE\\SILABSER", "\\DEVICE\\PROLIFIC"})
        if (device.rfind(usb, 0) == 0)
            entry.onUsb = true;
}

} // namespace serial
