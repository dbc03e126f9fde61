#include "link/posix/UsbParent.h"

#include "link/SystemPort.h"
#include "link/posix/PosixComPort.h"

#include <filesystem>
#include <fstream>

namespace serial {

bool usbParentOf(const std::string& devicePath, const std::string& sysfsRoot, std::string& serial)
{
    namespace fs = std::filesystem;
    std::error_code error;
    // Only names are read here: a link such as /dev/serial/by-id/... leads
    // to the tty's name, and the device itself is never opened.
    const fs::path device = fs::weakly_canonical(devicePath, error);
    if (error || device.filename().empty())
        return false;
    const fs::path root = fs::path(sysfsRoot);
    fs::path at = fs::canonical(root / "class" / "tty" / device.filename() / "device", error);
    if (error)
        return false;
    const fs::path top = fs::canonical(root, error);
    // A USB device's folder has its vendor id; its interfaces and the tty
    // below them do not.
    for (; !error && at != top && at.has_relative_path(); at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", error))
            continue;
        std::ifstream file(at / "serial");
        if (!std::getline(file, serial))
            serial.clear();
        return true;
    }
    return false;
}

void describeSystemPort(uint16_t number, PortEntry& entry)
{
    entry.onUsb = usbParentOf(PosixComPort::devicePathFor(number), "/sys", entry.usbSerial);
}

} // namespace serial
