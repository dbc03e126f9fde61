// The FT232R seam on libftdi 1.5. Kept to the library calls themselves;
// what they are used for is decided in link/Ft232rPort.cpp.
#include "link/ftdi/SystemPorts.h"

#include "link/AdapterPorts.h"
#include "link/ComPorts.h"
#include "link/SystemPort.h"

#include <ftdi.h>
#include <libusb.h>

#include <cstdint>
#include <string>

namespace usb {

namespace {

constexpr const char* noPermission = "no permission to use the USB device";

class LibFtdiContext final : public FtdiContext {
public:
    LibFtdiContext()
        : ftdi_(ftdi_new())
    {
    }

    ~LibFtdiContext() override
    {
        if (!ftdi_)
            return;
        cancel();
        if (open_)
            ftdi_usb_close(ftdi_);
        ftdi_free(ftdi_);
    }

    LibFtdiContext(const LibFtdiContext&) = delete;
    LibFtdiContext& operator=(const LibFtdiContext&) = delete;

    std::vector<AdapterInfo> findAll() override
    {
        std::vector<AdapterInfo> found;
        ftdi_device_list* list = nullptr;
        if (!ftdi_ || ftdi_usb_find_all(ftdi_, &list, vendorId, productId) < 0)
            return found;
        for (ftdi_device_list* entry = list; entry; entry = entry->next) {
            AdapterInfo adapter;
            char serial[128] = {};
            if (ftdi_usb_get_strings(ftdi_, entry->dev, nullptr, 0, nullptr, 0, serial, sizeof serial) == 0)
                adapter.serial = serial;
            else
                adapter.problem = whyNotOpened(entry->dev);
            found.push_back(adapter);
        }
        ftdi_list_free(&list);
        return found;
    }

    OpenResult open(const std::string& serial) override
    {
        if (!ftdi_) {
            message_ = "libftdi could not be set up";
            return OpenResult::Failed;
        }
        // The kernel's serial driver has the adapter as /dev/ttyUSBn; it is
        // detached while we use it and attached again when we close.
        ftdi_->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
        const int result = library(ftdi_usb_open_desc(ftdi_, vendorId, productId, nullptr, serial.c_str()));
        if (result == 0) {
            open_ = true;
            return OpenResult::Opened;
        }
        switch (result) {
        case -3:
            return OpenResult::NotFound;
        case -5:
            return OpenResult::InUse;
        case -4:
        case -8:
        case -9:
            if (deniedAccess())
                return OpenResult::NoPermission;
            return OpenResult::Failed;
        default:
            return OpenResult::Failed;
        }
    }

    int setLatencyTimer(uint8_t ms) override { return library(ftdi_set_latency_timer(ftdi_, ms)); }
    int setBitmode(uint8_t outputMask, uint8_t mode) override
    {
        return library(ftdi_set_bitmode(ftdi_, outputMask, mode));
    }
    int setPinRate(int statesPerSecond) override
    {
        return library(ftdi_set_baudrate(ftdi_, libftdiBaudRate(statesPerSecond)));
    }
    int purge() override { return library(ftdi_tcioflush(ftdi_)); }

    int transfer(const uint8_t* states, uint8_t* samples, int size) override
    {
        // The read is submitted before the write, so the samples always have
        // somewhere to go and the chip never stalls on its 384-byte buffer.
        read_ = ftdi_read_data_submit(ftdi_, samples, size);
        if (!read_)
            return transferFailed("submitting the read");
        // libftdi takes the buffer as non-const but only sends it.
        write_ = ftdi_write_data_submit(ftdi_, const_cast<uint8_t*>(states), size);
        if (!write_) {
            cancel();
            return transferFailed("submitting the write");
        }
        ftdi_transfer_control* write = write_;
        ftdi_transfer_control* read = read_;
        write_ = read_ = nullptr;
        // A failed transfer frees itself; a lost device ends both at once.
        if (ftdi_transfer_data_done(write) < 0) {
            timeval now{0, 0};
            ftdi_transfer_data_cancel(read, &now);
            return transferFailed("writing pin states");
        }
        if (ftdi_transfer_data_done(read) != size)
            return transferFailed("reading samples");
        return 0;
    }

    // The read waits in place for all of them.
    size_t largestTransfer() const override { return SIZE_MAX; }

    int close() override
    {
        cancel();
        if (!open_)
            return 0;
        open_ = false;
        return ftdi_usb_close(ftdi_);
    }

    std::string errorText() override { return message_; }

private:
    // libftdi's own calls leave their reason in the context.
    int library(int result)
    {
        if (result < 0) {
            const char* text = ftdi_get_error_string(ftdi_);
            message_ = text && *text ? text : "libftdi call failed";
        }
        return result;
    }

    int transferFailed(const char* step)
    {
        message_ = std::string("USB transfer failed ") + step;
        return -1;
    }

    void cancel()
    {
        timeval now{0, 0};
        if (write_)
            ftdi_transfer_data_cancel(write_, &now);
        if (read_)
            ftdi_transfer_data_cancel(read_, &now);
        write_ = read_ = nullptr;
    }

    // libftdi reports a refused open without libusb's reason; ask libusb.
    std::string whyNotOpened(libusb_device* device)
    {
        libusb_device_handle* handle = nullptr;
        const int result = libusb_open(device, &handle);
        if (result == 0) {
            libusb_close(handle);
            return "its serial number cannot be read";
        }
        if (result == LIBUSB_ERROR_ACCESS)
            return std::string(noPermission) +
                   "; see \"USB serial adapters\" under Serial ports in the help (udev rule, group dialout)";
        return std::string("it cannot be opened (") + libusb_error_name(result) + ")";
    }

    bool deniedAccess()
    {
        ftdi_device_list* list = nullptr;
        bool denied = false;
        if (ftdi_usb_find_all(ftdi_, &list, vendorId, productId) >= 0)
            for (ftdi_device_list* entry = list; entry && !denied; entry = entry->next) {
                libusb_device_handle* handle = nullptr;
                const int result = libusb_open(entry->dev, &handle);
                if (result == 0)
                    libusb_close(handle);
                denied = result == LIBUSB_ERROR_ACCESS;
            }
        ftdi_list_free(&list);
        if (denied)
            message_ = noPermission;
        return denied;
    }

    ftdi_context* ftdi_;
    bool open_ = false;
    ftdi_transfer_control* read_ = nullptr;
    ftdi_transfer_control* write_ = nullptr;
    std::string message_;
};

} // namespace

} // namespace usb

namespace serial {

std::unique_ptr<PortSet> makeSystemPorts()
{
    std::vector<std::unique_ptr<PortProvider>> providers;
    providers.push_back(std::make_unique<ComPorts>(makeSystemPort, describeSystemPort));
    providers.push_back(
        std::make_unique<usb::AdapterPorts>([] { return std::make_unique<usb::LibFtdiContext>(); }));
    return std::make_unique<PortSet>(std::move(providers));
}

std::string systemPortsHelp()
{
    return "Ports: COM1..COM4 open the devices named by the environment variables\n"
           "KPX_COM1..KPX_COM4, by default /dev/ttyS0../dev/ttyS3. An FT232R USB adapter\n"
           "(0403:6001) is driven in synchronous bit-bang mode, RTS# the clock, DTR# the data\n"
           "to and CTS# the data from the instrument.\n";
}

} // namespace serial
