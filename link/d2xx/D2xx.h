// The part of the vendor's D2XX library (ftd2xx.dll, which the driver package
// for FTDI adapters installs into the Windows system folder) that the FT232R
// port uses, declared from the D2XX programmer's guide: its types, status
// codes and functions, as a table of entry points, so that the library
// loaded at run time and a model of it in tests are used alike.
#pragma once

#include "link/UsbBitbang.h"

#include <cstdint>
#include <string>

namespace d2xx {

// The guide's DWORD and ULONG are 32 bits on Windows; the functions are
// WINAPI, which only 32-bit Windows distinguishes from the C convention.
#if defined(_WIN32) && !defined(_WIN64)
#define KPX_D2XX_CALL __stdcall
#else
#define KPX_D2XX_CALL
#endif

using DWORD = uint32_t;
using ULONG = uint32_t;
using LONG = int32_t;
using UCHAR = uint8_t;
using FT_HANDLE = void*;
using FT_STATUS = ULONG;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_OTHER_ERROR = 18,
};

// FT_OpenEx: pArg1 is a serial number.
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr ULONG FT_PURGE_RX = 1;
constexpr ULONG FT_PURGE_TX = 2;
// FT_DEVICE_LIST_INFO_NODE::Flags.
constexpr ULONG FT_FLAGS_OPENED = 1;

struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    // Vendor id in the high 16 bits, product id in the low.
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

// The driver's default USB IN transfer size: what it reads from the chip
// ahead of the program and keeps for it (FT_SetUSBParameters).
constexpr ULONG inTransferSize = 4096;

struct Api {
    FT_STATUS(KPX_D2XX_CALL* CreateDeviceInfoList)(DWORD* numDevs);
    FT_STATUS(KPX_D2XX_CALL* GetDeviceInfoList)(FT_DEVICE_LIST_INFO_NODE* dest, DWORD* numDevs);
    FT_STATUS(KPX_D2XX_CALL* OpenEx)(void* arg1, DWORD flags, FT_HANDLE* handle);
    FT_STATUS(KPX_D2XX_CALL* Close)(FT_HANDLE handle);
    FT_STATUS(KPX_D2XX_CALL* SetBitMode)(FT_HANDLE handle, UCHAR mask, UCHAR mode);
    FT_STATUS(KPX_D2XX_CALL* SetBaudRate)(FT_HANDLE handle, ULONG baudRate);
    FT_STATUS(KPX_D2XX_CALL* SetLatencyTimer)(FT_HANDLE handle, UCHAR timer);
    FT_STATUS(KPX_D2XX_CALL* SetUSBParameters)(FT_HANDLE handle, ULONG inTransferSize, ULONG outTransferSize);
    FT_STATUS(KPX_D2XX_CALL* SetTimeouts)(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout);
    FT_STATUS(KPX_D2XX_CALL* Purge)(FT_HANDLE handle, ULONG mask);
    FT_STATUS(KPX_D2XX_CALL* Write)(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
    FT_STATUS(KPX_D2XX_CALL* Read)(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned);
    FT_STATUS(KPX_D2XX_CALL* GetComPortNumber)(FT_HANDLE handle, LONG* comPortNumber);
};

// The status's name from the guide ("FT_IO_ERROR"), for the operator.
std::string statusText(FT_STATUS status);

// A connection to the chip through the functions of api, for the FT232R
// port.
usb::FtdiFactory factory(const Api& api);

// Loads the library into api through the platform's loader, from the system
// folder only; false, with why for the operator, when it is not there or
// lacks a function.
bool load(Api& api, std::string& whyNot);

// The library as this system has it: loaded once, from the system folder
// only, never from the program's or the current folder. On failure, why, for
// the operator ("no FTDI D2XX driver installed"), and a null result.
const Api* systemLibrary(std::string& whyNot);

} // namespace d2xx
