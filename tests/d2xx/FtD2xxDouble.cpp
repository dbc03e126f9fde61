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
    if (FILE* out = file && *file ? std::fopen(file, "a") : nullptr) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

struct Double {
    Double()
    {
        const char* setting = std::getenv("KPX_D2XX_DOUBLE");
        std::stringstream items(setting && *setting ? setting : "none");
        std::string serial;
        std::getline(items, serial, ',');
        if (serial == "none")
            return;
        sim::Scenario scenario;
        std::vector<std::string> faults;
        for (std::string item; std::getline(items, item, ',');)
            if (item.rfind("scenario=", 0) == 0)
                scenario = sim::Scenario::parse(item.substr(9));
            else
                faults.push_back(item);
        device = std::make_unique<sim::Atmega128>(scenario);
        adapter = std::make_unique<sim::Ft232rModel>(serial, device.get());
        for (const std::string& item : faults) {
            if (item == "held")
                adapter->heldElsewhere = true;
            else if (item.rfind("com=", 0) == 0)
                adapter->comNumber = static_cast<uint16_t>(std::stoi(item.substr(4)));
            else if (item.rfind("unplug=", 0) == 0)
                adapter->unplugAtCall = std::stoull(item.substr(7));
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
    return connect() ? sim::d2xx_model::CreateDeviceInfoList(numDevs) : (*numDevs = 0, d2xx::FT_OK);
}

KPX_EXPORT FT_GetDeviceInfoList(d2xx::FT_DEVICE_LIST_INFO_NODE* dest, d2xx::DWORD* numDevs)
{
    return connect() ? sim::d2xx_model::GetDeviceInfoList(dest, numDevs) : (*numDevs = 0, d2xx::FT_OK);
}

KPX_EXPORT FT_OpenEx(void* arg1, d2xx::DWORD flags, d2xx::FT_HANDLE* handle)
{
    return connect() ? sim::d2xx_model::OpenEx(arg1, flags, handle) : d2xx::FT_DEVICE_NOT_FOUND;
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

// The rest as the model answers them: a handle comes only from FT_OpenEx.
#define KPX_FORWARD(name, parameters, arguments) \
    KPX_EXPORT FT_##name parameters { return sim::d2xx_model::name arguments; }
KPX_FORWARD(SetBaudRate, (d2xx::FT_HANDLE h, d2xx::ULONG rate), (h, rate))
KPX_FORWARD(SetLatencyTimer, (d2xx::FT_HANDLE h, d2xx::UCHAR timer), (h, timer))
KPX_FORWARD(SetUSBParameters, (d2xx::FT_HANDLE h, d2xx::ULONG in, d2xx::ULONG out), (h, in, out))
KPX_FORWARD(SetTimeouts, (d2xx::FT_HANDLE h, d2xx::ULONG read, d2xx::ULONG write), (h, read, write))
KPX_FORWARD(Purge, (d2xx::FT_HANDLE h, d2xx::ULONG mask), (h, mask))
KPX_FORWARD(Write, (d2xx::FT_HANDLE h, void* data, d2xx::DWORD size, d2xx::DWORD* done), (h, data, size, done))
KPX_FORWARD(Read, (d2xx::FT_HANDLE h, void* data, d2xx::DWORD size, d2xx::DWORD* done), (h, data, size, done))
KPX_FORWARD(GetComPortNumber, (d2xx::FT_HANDLE h, d2xx::LONG* number), (h, number))

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        log(planted ? "planted ftd2xx.dll loaded" : "ftd2xx.dll loaded");
    return TRUE;
}
