#include "link/win/WinComPort.h"

#include "link/SystemPort.h"
#include "link/win/WinSerialSys.h"

#include <memory>

namespace serial {

HANDLE WinSerialSys::CreateFileA(const char* path)
{
    return ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL WinSerialSys::CloseHandle(HANDLE handle)
{
    return ::CloseHandle(handle);
}

BOOL WinSerialSys::SetupComm(HANDLE handle, DWORD inQueue, DWORD outQueue)
{
    return ::SetupComm(handle, inQueue, outQueue);
}

BOOL WinSerialSys::GetCommState(HANDLE handle, DCB* settings)
{
    return ::GetCommState(handle, settings);
}

BOOL WinSerialSys::SetCommState(HANDLE handle, DCB* settings)
{
    return ::SetCommState(handle, settings);
}

BOOL WinSerialSys::EscapeCommFunction(HANDLE handle, DWORD function)
{
    return ::EscapeCommFunction(handle, function);
}

BOOL WinSerialSys::GetCommModemStatus(HANDLE handle, DWORD* status)
{
    return ::GetCommModemStatus(handle, status);
}

DWORD WinSerialSys::GetLastError()
{
    return ::GetLastError();
}

WinSerialSys& WinSerialSys::real()
{
    static WinSerialSys sys;
    return sys;
}

namespace {

std::string reason(uint32_t error)
{
    return platform::systemErrorText(error);
}

bool isMissingDevice(uint32_t error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return true;
    default:
        return false;
    }
}

bool isHeldElsewhere(uint32_t error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
}

} // namespace

WinComPort::WinComPort(WinSerialSys* sys)
    : sys_(sys ? sys : &WinSerialSys::real())
{
}

WinComPort::~WinComPort()
{
    close();
}

std::string WinComPort::devicePathFor(uint16_t number)
{
    // The device namespace reaches every port, COM10 and above included.
    return number == 0 ? std::string() : "\\\\.\\COM" + std::to_string(number);
}

void WinComPort::open()
{
    if (handle_)
        return;
    if (number_ == 0)
        throw ENoPortSelected("No COM port selected");

    const std::string port = name();
    std::string path = devicePathFor(number_);
    const HANDLE handle = sys_->CreateFileA(path.c_str());
    if (handle == INVALID_HANDLE_VALUE) {
        const uint32_t error = sys_->GetLastError();
        if (isMissingDevice(error))
            throw EBadId(port + ": there is no serial port " + path + " on this computer (" + reason(error) + ").");
        if (isHeldElsewhere(error))
            throw EAlreadyOpen(port + ": " + path + " is in use by another program (" + reason(error) + ").");
        throw EBadId(port + ": cannot open " + path + ": " + reason(error));
    }
    handle_ = handle;
    path_ = std::move(path);

    // A device that keeps no serial settings is no serial port, whatever
    // its name.
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!sys_->GetCommState(handle, &settings))
        failOpen(sys_->GetLastError(), "reading the settings of");
    // The queues only matter to a program that sends characters, which this
    // one never does; a driver that refuses these sizes still drives its
    // lines, so a refusal is not worth failing over.
    sys_->SetupComm(handle, inSize, outSize);

    settings.BaudRate = baudRate;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    // No hardware flow control: RTS and DTR move only when we move them,
    // and neither CTS nor DSR holds anything back.
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fOutX = TRUE;
    settings.fInX = TRUE;
    settings.fTXContinueOnXoff = TRUE;
    settings.XonChar = 0x11;
    settings.XoffChar = 0x13;
    settings.XonLim = static_cast<WORD>(bufferResume);
    settings.XoffLim = static_cast<WORD>(inSize - bufferFull);
    settings.fErrorChar = FALSE;
    settings.fNull = FALSE;
    settings.fAbortOnError = FALSE;
    if (!sys_->SetCommState(handle, &settings))
        failOpen(sys_->GetLastError(), "setting up");
}

void WinComPort::failOpen(uint32_t error, const char* step)
{
    const std::string port = name();
    const std::string path = path_;
    close();
    if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_HANDLE)
        throw EBadId(port + ": " + path + " is not a serial port (" + reason(error) + ").");
    throw EBadId(port + ": " + step + " " + path + " failed: " + reason(error));
}

void WinComPort::close() noexcept
{
    if (!handle_)
        return;
    sys_->CloseHandle(handle_);
    handle_ = nullptr;
    path_.clear();
}

void WinComPort::SetRTS(bool level)
{
    lineCall(level ? SETRTS : CLRRTS, "RTS");
}

void WinComPort::SetDTR(bool level)
{
    lineCall(level ? SETDTR : CLRDTR, "DTR");
}

void WinComPort::lineCall(uint32_t function, const char* line)
{
    if (!handle_)
        notOpen(line);
    if (!sys_->EscapeCommFunction(handle_, function))
        lineFailed(sys_->GetLastError(), line);
}

bool WinComPort::GetCTS()
{
    if (!handle_)
        notOpen("CTS");
    DWORD status = 0;
    if (!sys_->GetCommModemStatus(handle_, &status))
        lineFailed(sys_->GetLastError(), "CTS");
    return (status & MS_CTS_ON) != 0;
}

void WinComPort::lineFailed(uint32_t error, const char* line) const
{
    // Typically a USB serial adapter pulled out while in use: its handle is
    // dead from now on, and only a fresh start of the program opens the
    // port anew.
    throw ELineError(name() + " (" + path_ + "): the " + line + " line call failed: " + reason(error) +
                     ". Check that the cable and the serial adapter are still connected, then start the program "
                     "again.");
}

std::unique_ptr<ComPort> makeSystemPort()
{
    return std::make_unique<WinComPort>();
}

std::string systemPortDevice(uint16_t number)
{
    return WinComPort::devicePathFor(number);
}

} // namespace serial
