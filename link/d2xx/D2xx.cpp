// The FT232R seam on the D2XX functions, and the library's loading. Kept to
// the calls themselves; what they are used for is decided in
// link/Ft232rPort.cpp.
#include "link/d2xx/D2xx.h"

#include "platform/Library.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace d2xx {

namespace {

constexpr ULONG ft232rId = (static_cast<ULONG>(usb::vendorId) << 16) | static_cast<ULONG>(usb::productId);
// Long enough for a whole transfer at the bit-bang rate, short enough that an
// adapter that stops answering ends the update at once.
constexpr ULONG timeoutMs = 1000;

std::string text(const char* field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

class D2xxContext final : public usb::FtdiContext {
public:
    explicit D2xxContext(const Api& api)
        : api_(api)
    {
    }
    ~D2xxContext() override { close(); }
    D2xxContext(const D2xxContext&) = delete;
    D2xxContext& operator=(const D2xxContext&) = delete;

    std::vector<usb::AdapterInfo> findAll() override
    {
        std::vector<usb::AdapterInfo> found;
        DWORD count = 0;
        if (api_.CreateDeviceInfoList(&count) != FT_OK || count == 0)
            return found;
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        if (api_.GetDeviceInfoList(nodes.data(), &count) != FT_OK)
            return found;
        nodes.resize(std::min<size_t>(count, nodes.size()));
        for (const FT_DEVICE_LIST_INFO_NODE& node : nodes) {
            if (node.ID != ft232rId)
                continue;
            usb::AdapterInfo adapter;
            adapter.serial = text(node.SerialNumber, sizeof node.SerialNumber);
            // The driver tells of an adapter another program has open only
            // that it is open.
            if (node.Flags & FT_FLAGS_OPENED)
                heldElsewhere(adapter);
            else if (adapter.serial.empty())
                adapter.problem = "its serial number cannot be read";
            else
                askComNumber(adapter);
            found.push_back(adapter);
        }
        return found;
    }

    usb::OpenResult open(const std::string& serial) override
    {
        std::string name = serial;
        FT_HANDLE handle = nullptr;
        const FT_STATUS status = api_.OpenEx(name.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle);
        if (status == FT_DEVICE_NOT_FOUND)
            return usb::OpenResult::NotFound;
        if (status == FT_DEVICE_NOT_OPENED) {
            message_ = "the driver cannot open it: " + statusText(status);
            return usb::OpenResult::InUse;
        }
        if (status != FT_OK) {
            message_ = statusText(status);
            return usb::OpenResult::Failed;
        }
        handle_ = handle;
        // The driver reads what the chip samples into a buffer of its IN
        // transfer size; the port never leaves more unread (largestTransfer).
        if (call(api_.SetUSBParameters(handle_, inTransferSize, inTransferSize)) < 0 ||
            call(api_.SetTimeouts(handle_, timeoutMs, timeoutMs)) < 0) {
            close();
            return usb::OpenResult::Failed;
        }
        return usb::OpenResult::Opened;
    }

    int setLatencyTimer(uint8_t ms) override { return call(api_.SetLatencyTimer(handle_, ms)); }
    int setBitmode(uint8_t outputMask, uint8_t mode) override
    {
        return call(api_.SetBitMode(handle_, outputMask, mode));
    }
    int setPinRate(int statesPerSecond) override
    {
        return call(api_.SetBaudRate(handle_, static_cast<ULONG>(usb::d2xxBaudRate(statesPerSecond))));
    }
    int purge() override { return call(api_.Purge(handle_, FT_PURGE_RX | FT_PURGE_TX)); }

    int transfer(const uint8_t* states, uint8_t* samples, int size) override
    {
        const auto wanted = static_cast<DWORD>(size);
        DWORD done = 0;
        // D2XX takes the buffer as non-const but only sends it.
        if (call(api_.Write(handle_, const_cast<uint8_t*>(states), wanted, &done)) < 0)
            return -1;
        if (done != wanted)
            return timedOut("writing pin states");
        done = 0;
        if (call(api_.Read(handle_, samples, wanted, &done)) < 0)
            return -1;
        if (done != wanted)
            return timedOut("reading samples");
        return 0;
    }

    size_t largestTransfer() const override { return inTransferSize; }

    int close() override
    {
        if (!handle_)
            return 0;
        const FT_STATUS status = api_.Close(handle_);
        handle_ = nullptr;
        return call(status);
    }

    std::string errorText() override { return message_; }

private:
    int call(FT_STATUS status)
    {
        if (status == FT_OK)
            return 0;
        message_ = statusText(status);
        return -1;
    }

    int timedOut(const char* step)
    {
        message_ = std::string(step) + " timed out";
        return -1;
    }

    void heldElsewhere(usb::AdapterInfo& adapter)
    {
        adapter.problem = "another program is using the adapter";
        adapter.inUse = true;
    }

    // The COM number the vendor's serial driver gave the adapter, which
    // names its slow way in as well.
    void askComNumber(usb::AdapterInfo& adapter)
    {
        std::string name = adapter.serial;
        FT_HANDLE handle = nullptr;
        const FT_STATUS status = api_.OpenEx(name.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle);
        if (status == FT_DEVICE_NOT_OPENED)
            heldElsewhere(adapter);
        if (status != FT_OK)
            return;
        LONG number = -1;
        if (api_.GetComPortNumber(handle, &number) == FT_OK && number > 0 && number <= 0xFFFF)
            adapter.comNumber = static_cast<uint16_t>(number);
        api_.Close(handle);
    }

    const Api& api_;
    FT_HANDLE handle_ = nullptr;
    std::string message_;
};

} // namespace

std::string statusText(FT_STATUS status)
{
    static const char* const names[] = {"FT_OK",
                                        "FT_INVALID_HANDLE",
                                        "FT_DEVICE_NOT_FOUND",
                                        "FT_DEVICE_NOT_OPENED",
                                        "FT_IO_ERROR",
                                        "FT_INSUFFICIENT_RESOURCES",
                                        "FT_INVALID_PARAMETER",
                                        "FT_INVALID_BAUD_RATE",
                                        "FT_DEVICE_NOT_OPENED_FOR_ERASE",
                                        "FT_DEVICE_NOT_OPENED_FOR_WRITE",
                                        "FT_FAILED_TO_WRITE_DEVICE",
                                        "FT_EEPROM_READ_FAILED",
                                        "FT_EEPROM_WRITE_FAILED",
                                        "FT_EEPROM_ERASE_FAILED",
                                        "FT_EEPROM_NOT_PRESENT",
                                        "FT_EEPROM_NOT_PROGRAMMED",
                                        "FT_INVALID_ARGS",
                                        "FT_NOT_SUPPORTED",
                                        "FT_OTHER_ERROR",
                                        "FT_DEVICE_LIST_NOT_READY"};
    if (status < sizeof names / sizeof names[0])
        return names[status];
    return "D2XX status " + std::to_string(status);
}

usb::FtdiFactory factory(const Api& api)
{
    return [&api] { return std::make_unique<D2xxContext>(api); };
}

bool load(Api& api, std::string& whyNot)
{
    // Only the copy the driver package put into the system folder: a
    // ftd2xx.dll beside the program or in the current folder may be planted.
    const platform::HMODULE module =
        platform::LoadLibraryExA("ftd2xx.dll", nullptr, platform::searchSystemFolderOnly);
    if (!module) {
        whyNot = "no FTDI D2XX driver installed";
        return false;
    }
    bool complete = true;
    const auto find = [&](auto& entry, const char* name) {
        const platform::FARPROC address = platform::GetProcAddress(module, name);
        if (!address && complete) {
            whyNot = std::string("the installed FTDI D2XX driver has no ") + name + "; install a current one";
            complete = false;
        }
        entry = address ? platform::procAs<std::remove_reference_t<decltype(entry)>>(address) : nullptr;
    };
    find(api.CreateDeviceInfoList, "FT_CreateDeviceInfoList");
    find(api.GetDeviceInfoList, "FT_GetDeviceInfoList");
    find(api.OpenEx, "FT_OpenEx");
    find(api.Close, "FT_Close");
    find(api.SetBitMode, "FT_SetBitMode");
    find(api.SetBaudRate, "FT_SetBaudRate");
    find(api.SetLatencyTimer, "FT_SetLatencyTimer");
    find(api.SetUSBParameters, "FT_SetUSBParameters");
    find(api.SetTimeouts, "FT_SetTimeouts");
    find(api.Purge, "FT_Purge");
    find(api.Write, "FT_Write");
    find(api.Read, "FT_Read");
    find(api.GetComPortNumber, "FT_GetComPortNumber");
    if (!complete)
        platform::FreeLibrary(module);
    return complete;
}

const Api* systemLibrary(std::string& whyNot)
{
    // Loaded once and kept for the program's life.
    static Api api{};
    static std::string reason;
    static const bool loaded = load(api, reason);
    whyNot = reason;
    return loaded ? &api : nullptr;
}

} // namespace d2xx
