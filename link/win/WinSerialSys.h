// The Win32 calls the Windows serial port makes, one virtual each, so tests
// can count them and fail them with a chosen error. Each answers as the
// Win32 call does; after a failure, GetLastError gives the reason.
#pragma once

#include "platform/win/Win32.h"

namespace serial {

struct WinSerialSys {
    virtual ~WinSerialSys() = default;
    // Read and write, no sharing, existing devices only.
    virtual HANDLE CreateFileA(const char* path);
    virtual BOOL CloseHandle(HANDLE handle);
    virtual BOOL SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue);
    virtual BOOL GetCommState(HANDLE handle, DCB* settings);
    virtual BOOL SetCommState(HANDLE handle, DCB* settings);
    virtual BOOL EscapeCommFunction(HANDLE handle, DWORD function);
    virtual BOOL GetCommModemStatus(HANDLE handle, DWORD* status);
    virtual DWORD GetLastError();

    // The calls of the running system.
    static WinSerialSys& real();
};

} // namespace serial
