// The D2XX library's functions on modelled FT232R adapters (sim/Ft232rModel.h):
// what the vendor's driver does with the chip, as far as the FT232R port
// uses it. In-process tests reach them through api(); the test double of
// ftd2xx.dll (tests/d2xx) exports them under their own names.
#pragma once

#include "link/d2xx/D2xx.h"
#include "sim/Ft232rModel.h"

#include <vector>

namespace sim {

// While one lives, the functions reach these adapters (and no others).
class D2xxBus {
public:
    explicit D2xxBus(std::vector<Ft232rModel*> adapters);
    ~D2xxBus();
    D2xxBus(const D2xxBus&) = delete;
    D2xxBus& operator=(const D2xxBus&) = delete;

    // The functions, as the port's seam takes them.
    static const d2xx::Api& api();

private:
    std::vector<Ft232rModel*> previous_;
};

// The functions one by one, for a library that exports them.
namespace d2xx_model {
d2xx::FT_STATUS CreateDeviceInfoList(d2xx::DWORD* numDevs);
d2xx::FT_STATUS GetDeviceInfoList(d2xx::FT_DEVICE_LIST_INFO_NODE* dest, d2xx::DWORD* numDevs);
d2xx::FT_STATUS OpenEx(void* arg1, d2xx::DWORD flags, d2xx::FT_HANDLE* handle);
d2xx::FT_STATUS Close(d2xx::FT_HANDLE handle);
d2xx::FT_STATUS SetBitMode(d2xx::FT_HANDLE handle, d2xx::UCHAR mask, d2xx::UCHAR mode);
d2xx::FT_STATUS SetBaudRate(d2xx::FT_HANDLE handle, d2xx::ULONG baudRate);
d2xx::FT_STATUS SetLatencyTimer(d2xx::FT_HANDLE handle, d2xx::UCHAR timer);
d2xx::FT_STATUS SetUSBParameters(d2xx::FT_HANDLE handle, d2xx::ULONG inTransferSize, d2xx::ULONG outTransferSize);
d2xx::FT_STATUS SetTimeouts(d2xx::FT_HANDLE handle, d2xx::ULONG readTimeout, d2xx::ULONG writeTimeout);
d2xx::FT_STATUS Purge(d2xx::FT_HANDLE handle, d2xx::ULONG mask);
d2xx::FT_STATUS Write(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD bytesToWrite, d2xx::DWORD* bytesWritten);
d2xx::FT_STATUS Read(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD bytesToRead, d2xx::DWORD* bytesReturned);
d2xx::FT_STATUS GetComPortNumber(d2xx::FT_HANDLE handle, d2xx::LONG* comPortNumber);
} // namespace d2xx_model

} // namespace sim
