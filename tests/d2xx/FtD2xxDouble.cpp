// A stand-in for the vendor's ftd2xx.dll: the D2XX functions the FT232R port
// calls, exported under their own names with their own calling convention,
// on a modelled FT232R wired to a simulated instrument. Set up from
// $KPX_D2XX_DOUBLE, a comma-separated list:
//   none            no adapter is connected
//   SERIAL          one adapter with this serial number (first item)
//   com=N           its COM number from the vendor's serial driver
//   held            another program has it open
//   unplug=N        pulled out at the N-th call on it
//   scenario=NAME   the instrument's (sim::Scenario), default normal
// Each load, and each bit mode set and close, is appended to $KPX_D2XX_LOG.
// Built as KPX_D2XX_PLANTED it finds no adapter and logs only that it was
// loaded: a library planted where the program must never look.
#include "sim/Atmega128.h"
#include "sim/D2xxModel.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

void log(const std::string& line)
{
    const char* file = std::getenv("KPX_D2XX_LOG");
    if (!file || !*file)
        return;
    if (FILE* out = std::fopen(file, "a")) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

struct Double {
    Double()
    {
        const char* setting = std::getenv("KPX_D2XX_DOUBLE");
        std::stringstream items(setting && *setting ? setting : "none");
        std::string item;
        std::getline(items, item, ',');
        if (item == "none")
            return;
        const std::string serial = item;
        sim::Scenario scenario;
        std::vector<std::string> faults;
        while (std::getline(items, item, ',')) {
            if (item.rfind("scenario=", 0) == 0)
                scenario = sim::Scenario::parse(item.substr(9));
            else
                faults.push_back(item);
        }
        device = std::make_unique<sim::Atmega128>(scenario);
        adapter = std::make_unique<sim::Ft232rModel>(serial, device.get());
        for (const std::string& fault : faults) {
            if (fault == "held")
                adapter->heldElsewhere = true;
            else if (fault.rfind("com=", 0) == 0)
                adapter->comNumber = static_cast<uint16_t>(std::stoi(fault.substr(4)));
            else if (fault.rfind("unplug=", 0) == 0)
                adapter->unplugAtCall = std::stoull(fault.substr(7));
        }
        bus = std::make_unique<sim::D2xxBus>(std::vector<sim::Ft232rModel*>{adapter.get()});
    }
    std::unique_ptr<sim::Atmega128> device;
    std::unique_ptr<sim::Ft232rModel> adapter;
    std::unique_ptr<sim::D2xxBus> bus;
};

#ifdef KPX_D2XX_PLANTED
constexpr bool planted = true;
#else
constexpr bool planted = false;
#endif

// Made on the first call: the program's environment is there by then.
const sim::D2xxBus* connect()
{
    static Double adapters;
    return planted ? nullptr : adapters.bus.get();
}

} // namespace

#define KPX_EXPORT extern "C" __declspec(dllexport) d2xx::FT_STATUS WINAPI

KPX_EXPORT FT_CreateDeviceInfoList(d2xx::DWORD* numDevs)
{
    if (!connect()) {
        *numDevs = 0;
        return d2xx::FT_OK;
    }
    return sim::d2xx_model::CreateDeviceInfoList(numDevs);
}

KPX_EXPORT FT_GetDeviceInfoList(d2xx::FT_DEVICE_LIST_INFO_NODE* dest, d2xx::DWORD* numDevs)
{
    if (!connect()) {
        *numDevs = 0;
        return d2xx::FT_OK;
    }
    return sim::d2xx_model::GetDeviceInfoList(dest, numDevs);
}

KPX_EXPORT FT_OpenEx(void* arg1, d2xx::DWORD flags, d2xx::FT_HANDLE* handle)
{
    if (!connect())
        return d2xx::FT_DEVICE_NOT_FOUND;
    return sim::d2xx_model::OpenEx(arg1, flags, handle);
}

KPX_EXPORT FT_Close(d2xx::FT_HANDLE handle)
{
    log("FT_Close");
    return sim::d2xx_model::Close(handle);
}

KPX_EXPORT FT_SetBitMode(d2xx::FT_HANDLE handle, d2xx::UCHAR mask, d2xx::UCHAR mode)
{
    char line[64];
    std::snprintf(line, sizeof line, "FT_SetBitMode %02X %02X", mask, mode);
    log(line);
    return sim::d2xx_model::SetBitMode(handle, mask, mode);
}

KPX_EXPORT FT_SetBaudRate(d2xx::FT_HANDLE handle, d2xx::ULONG baudRate)
{
    return sim::d2xx_model::SetBaudRate(handle, baudRate);
}

KPX_EXPORT FT_SetLatencyTimer(d2xx::FT_HANDLE handle, d2xx::UCHAR timer)
{
    return sim::d2xx_model::SetLatencyTimer(handle, timer);
}

KPX_EXPORT FT_SetUSBParameters(d2xx::FT_HANDLE handle, d2xx::ULONG inTransferSize, d2xx::ULONG outTransferSize)
{
    return sim::d2xx_model::SetUSBParameters(handle, inTransferSize, outTransferSize);
}

KPX_EXPORT FT_SetTimeouts(d2xx::FT_HANDLE handle, d2xx::ULONG readTimeout, d2xx::ULONG writeTimeout)
{
    return sim::d2xx_model::SetTimeouts(handle, readTimeout, writeTimeout);
}

KPX_EXPORT FT_Purge(d2xx::FT_HANDLE handle, d2xx::ULONG mask)
{
    return sim::d2xx_model::Purge(handle, mask);
}

KPX_EXPORT FT_Write(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD bytesToWrite, d2xx::DWORD* bytesWritten)
{
    return sim::d2xx_model::Write(handle, buffer, bytesToWrite, bytesWritten);
}

KPX_EXPORT FT_Read(d2xx::FT_HANDLE handle, void* buffer, d2xx::DWORD bytesToRead, d2xx::DWORD* bytesReturned)
{
    return sim::d2xx_model::Read(handle, buffer, bytesToRead, bytesReturned);
}

KPX_EXPORT FT_GetQueueStatus(d2xx::FT_HANDLE handle, d2xx::DWORD* rxBytes)
{
    return sim::d2xx_model::GetQueueStatus(handle, rxBytes);
}

KPX_EXPORT FT_GetComPortNumber(d2xx::FT_HANDLE handle, d2xx::LONG* comPortNumber)
{
    return sim::d2xx_model::GetComPortNumber(handle, comPortNumber);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        log(planted ? "planted ftd2xx.dll loaded" : "ftd2xx.dll loaded");
    return TRUE;
}
