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
using namespace ::d2xx;
FT_STATUS CreateDeviceInfoList(DWORD* numDevs);
FT_STATUS GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* dest, DWORD* numDevs);
FT_STATUS OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle);
FT_STATUS Close(FT_HANDLE handle);
FT_STATUS SetBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode);
FT_STATUS SetBaudRate(FT_HANDLE handle, ULONG baudRate);
FT_STATUS SetLatencyTimer(FT_HANDLE handle, UCHAR timer);
FT_STATUS SetUSBParameters(FT_HANDLE handle, ULONG inTransferSize, ULONG outTransferSize);
FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout);
FT_STATUS Purge(FT_HANDLE handle, ULONG mask);
FT_STATUS Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned);
FT_STATUS GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes);
FT_STATUS GetComPortNumber(FT_HANDLE handle, LONG* comPortNumber);
} // namespace d2xx_model

} // namespace sim
