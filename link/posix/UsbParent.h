// Whether a tty is a USB serial adapter, from sysfs.
#pragma once

#include <string>

namespace serial {

// True when the tty device at devicePath (links followed) hangs below a USB
// device in the sysfs tree at sysfsRoot ("/sys"); serial is then that
// device's serial number, or empty when it has none.
bool usbParentOf(const std::string& devicePath, const std::string& sysfsRoot, std::string& serial);

} // namespace serial
