// Which ttys are USB serial adapters, read from a sysfs tree of the test's
// own: no real device, and no real sysfs, is looked at.
#include "link/posix/UsbParent.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
}

TEST(UsbParent, ATtyBelowAUsbDeviceIsAnAdapterWithItsSerialNumber)
{
    const fs::path root = testing_support::makeTempFolder("kpx-sysfs-");
    const fs::path sys = root / "sys";
    // An FT232R's tty below its interface below the USB device; a built-in
    // UART's below the platform bus; a CDC modem's on a device with no
    // serial number.
    const fs::path usbDevice = sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    write(usbDevice / "idVendor", "0403");
    write(usbDevice / "serial", "A12345");
    fs::create_directories(usbDevice / "1-2:1.0/ttyUSB0");
    const fs::path cdcDevice = sys / "devices/pci0000:00/0000:00:14.0/usb1/1-3";
    write(cdcDevice / "idVendor", "2341");
    fs::create_directories(cdcDevice / "1-3:1.0/tty/ttyACM0");
    fs::create_directories(sys / "devices/platform/serial8250/tty/ttyS0");
    fs::create_directories(sys / "class/tty/ttyUSB0");
    fs::create_directory_symlink(usbDevice / "1-2:1.0/ttyUSB0", sys / "class/tty/ttyUSB0/device");
    fs::create_directories(sys / "class/tty/ttyACM0");
    fs::create_directory_symlink(cdcDevice / "1-3:1.0", sys / "class/tty/ttyACM0/device");
    fs::create_directories(sys / "class/tty/ttyS0");
    fs::create_directory_symlink(sys / "devices/platform/serial8250", sys / "class/tty/ttyS0/device");
    // The operator's name for the adapter may be a link to it.
    write(root / "dev/ttyUSB0", "");
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink(root / "dev/ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0");

    struct Case {
        fs::path device;
        bool onUsb;
        const char* serial;
    };
    for (const Case& tty : {Case{"/dev/ttyUSB0", true, "A12345"},
                            Case{root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0", true, "A12345"},
                            Case{"/dev/ttyACM0", true, ""}, Case{"/dev/ttyS0", false, ""},
                            Case{"/dev/ttyUSB7", false, ""}}) {
        SCOPED_TRACE(tty.device.string());
        std::string serial = "stale";
        EXPECT_EQ(serial::usbParentOf(tty.device.string(), sys.string(), serial), tty.onUsb);
        if (tty.onUsb) {
            EXPECT_EQ(serial, tty.serial);
        }
    }
    fs::remove_all(root);
}

} // namespace
