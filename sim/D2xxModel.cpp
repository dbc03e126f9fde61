#include "sim/D2xxModel.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sim {

namespace {

std::vector<Ft232rModel*>& bus()
{
    static std::vector<Ft232rModel*> adapters;
    return adapters;
}

// The list FT_CreateDeviceInfoList made, for FT_GetDeviceInfoList.
std::vector<Ft232rModel*>& listed()
{
    static std::vector<Ft232rModel*> adapters;
    return adapters;
}

bool gone(const Ft232rModel& adapter)
{
    return adapter.unplugAtCall && adapter.counters.calls + 1 >= *adapter.unplugAtCall;
}

// The adapter an open handle stands for: the handle is its model.
Ft232rModel* chip(d2xx::FT_HANDLE handle)
{
    const auto& adapters = bus();
    const auto found = std::find(adapters.begin(), adapters.end(), static_cast<Ft232rModel*>(handle));
    return found != adapters.end() && (*found)->opened() ? *found : nullptr;
}

// A call on an open handle: FT_IO_ERROR once the adapter is gone, as the
// driver reports a pulled adapter.
d2xx::FT_STATUS reach(d2xx::FT_HANDLE handle, Ft232rModel*& adapter)
{
    adapter = chip(handle);
    if (!adapter)
        return d2xx::FT_INVALID_HANDLE;
    return adapter->call() ? d2xx::FT_OK : d2xx::FT_IO_ERROR;
}

// A USB transfer on an open handle, counted as such.
d2xx::FT_STATUS transferOn(d2xx::FT_HANDLE handle, Ft232rModel*& adapter)
{
    const d2xx::FT_STATUS status = reach(handle, adapter);
    if (status == d2xx::FT_OK)
        ++adapter->counters.transfers;
    return status;
}

} // namespace

D2xxBus::D2xxBus(std::vector<Ft232rModel*> adapters)
    : previous_(std::move(bus()))
{
    bus() = std::move(adapters);
}

D2xxBus::~D2xxBus()
{
    bus() = std::move(previous_);
    listed().clear();
}

const d2xx::Api& D2xxBus::api()
{
    using namespace d2xx_model;
    static const d2xx::Api functions{CreateDeviceInfoList, GetDeviceInfoList, OpenEx, Close,
                                     SetBitMode, SetBaudRate, SetLatencyTimer, SetUSBParameters,
                                     SetTimeouts, Purge, Write, Read,
                                     GetComPortNumber};
    return functions;
}

namespace d2xx_model {

using namespace ::d2xx;

FT_STATUS CreateDeviceInfoList(DWORD* numDevs)
{
    listed().clear();
    for (Ft232rModel* adapter : bus())
        if (!gone(*adapter))
            listed().push_back(adapter);
    *numDevs = static_cast<DWORD>(listed().size());
    return FT_OK;
}

FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* dest, DWORD* numDevs)
{
    constexpr ULONG ft232r = 5;
    const size_t count = std::min<size_t>(*numDevs, listed().size());
    for (size_t i = 0; i < count; ++i) {
        const Ft232rModel& adapter = *listed()[i];
        FT_DEVICE_LIST_INFO_NODE& node = dest[i];
        node = {};
        // Of an adapter open elsewhere the driver tells only that it is open.
        const bool open = adapter.heldElsewhere || adapter.opened();
        node.Flags = open ? FT_FLAGS_OPENED : 0;
        node.Type = ft232r;
        node.ID = (static_cast<ULONG>(usb::vendorId) << 16) | static_cast<ULONG>(usb::productId);
        node.LocId = static_cast<DWORD>(i + 1);
        if (!open)
            std::strncpy(node.SerialNumber, adapter.serial().c_str(), sizeof node.SerialNumber - 1);
        std::strncpy(node.Description, "FT232R USB UART", sizeof node.Description - 1);
    }
    *numDevs = static_cast<DWORD>(count);
    return FT_OK;
}

FT_STATUS OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle)
{
    *handle = nullptr;
    if (flags != FT_OPEN_BY_SERIAL_NUMBER || !arg1)
        return FT_INVALID_PARAMETER;
    const std::string serial = static_cast<const char*>(arg1);
    for (Ft232rModel* adapter : bus()) {
        if (adapter->serial() != serial)
            continue;
        if (!adapter->call())
            return FT_DEVICE_NOT_FOUND;
        if (adapter->noPermission || !adapter->claim())
            return FT_DEVICE_NOT_OPENED;
        adapter->hostBuffer = inTransferSize;
        *handle = adapter;
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS Close(FT_HANDLE handle)
{
    Ft232rModel* adapter = chip(handle);
    if (!adapter)
        return FT_INVALID_HANDLE;
    adapter->release();
    adapter->call();
    return FT_OK;
}

FT_STATUS SetBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode)
{
    Ft232rModel* adapter = nullptr;
    const FT_STATUS status = reach(handle, adapter);
    if (status == FT_OK)
        adapter->setBitmode(mask, mode);
    return status;
}

FT_STATUS SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    Ft232rModel* adapter = nullptr;
    const FT_STATUS status = reach(handle, adapter);
    // The chip's rate as given: no factor for bit-bang, unlike libftdi.
    if (status == FT_OK)
        adapter->setChipBaud(baudRate);
    return status;
}

FT_STATUS SetLatencyTimer(FT_HANDLE handle, UCHAR)
{
    Ft232rModel* adapter = nullptr;
    return reach(handle, adapter);
}

FT_STATUS SetUSBParameters(FT_HANDLE handle, ULONG inTransferSize, ULONG)
{
    Ft232rModel* adapter = nullptr;
    const FT_STATUS status = reach(handle, adapter);
    if (status == FT_OK)
        adapter->hostBuffer = inTransferSize;
    return status;
}

FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG, ULONG)
{
    Ft232rModel* adapter = nullptr;
    return reach(handle, adapter);
}

FT_STATUS Purge(FT_HANDLE handle, ULONG)
{
    Ft232rModel* adapter = nullptr;
    const FT_STATUS status = reach(handle, adapter);
    if (status == FT_OK)
        adapter->purge();
    return status;
}

FT_STATUS Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    *bytesWritten = 0;
    Ft232rModel* adapter = nullptr;
    if (const FT_STATUS status = transferOn(handle, adapter); status != FT_OK)
        return status;
    if (adapter->bitmode() != usb::bitmodeSyncBitbang)
        return FT_OTHER_ERROR;
    const uint64_t before = adapter->counters.pinStates;
    // A stalled chip takes no more: the write times out with what it took.
    adapter->clockOut(static_cast<const uint8_t*>(buffer), bytesToWrite);
    *bytesWritten = static_cast<DWORD>(adapter->counters.pinStates - before);
    return FT_OK;
}

FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    *bytesReturned = 0;
    Ft232rModel* adapter = nullptr;
    if (const FT_STATUS status = transferOn(handle, adapter); status != FT_OK)
        return status;
    // Fewer than asked for: the read timed out.
    *bytesReturned = static_cast<DWORD>(adapter->takeUnread(static_cast<uint8_t*>(buffer), bytesToRead));
    return FT_OK;
}

FT_STATUS GetComPortNumber(FT_HANDLE handle, LONG* comPortNumber)
{
    Ft232rModel* adapter = nullptr;
    const FT_STATUS status = reach(handle, adapter);
    *comPortNumber = status == FT_OK && adapter->comNumber != 0 ? adapter->comNumber : -1;
    return status;
}

} // namespace d2xx_model

} // namespace sim
