// The serial-port component on Windows: \\.\COM1 to \\.\COM4 opened
// exclusively, each line change one EscapeCommFunction and each CTS reading
// one GetCommModemStatus. Only RTS, DTR and CTS are used; the port is set to
// 9600 baud with software flow control and no hardware flow control, so that
// nothing but this object ever moves RTS or DTR.
#pragma once

#include "link/NumberedPort.h"

#include <cstdint>
#include <string>

namespace serial {

struct WinSerialSys;

class WinComPort final : public NumberedPort {
public:
    // Settings of the port: receive queue, software flow control (XOFF sent
    // when the queue holds bufferFull bytes, XON when it is down to
    // bufferResume), 9600 baud.
    static constexpr uint32_t baudRate = 9600;
    static constexpr uint32_t inSize = 8192;
    static constexpr uint32_t outSize = 8192;
    static constexpr uint32_t bufferFull = 3686;
    static constexpr uint32_t bufferResume = 409;

    // sys, when given, must outlive the port; null uses the real system.
    explicit WinComPort(WinSerialSys* sys = nullptr);
    ~WinComPort() override;
    WinComPort(const WinComPort&) = delete;
    WinComPort& operator=(const WinComPort&) = delete;

    // The device that port number n opens: \\.\COMn. Empty for 0.
    static std::string devicePathFor(uint16_t number);

    bool GetOpen() const override { return handle_ != nullptr; }

    // One system call each.
    void SetRTS(bool level) override;
    void SetDTR(bool level) override;
    bool GetCTS() override;

private:
    void open() override;
    void close() noexcept override;
    // Closes the half-opened device and reports why it cannot be used.
    [[noreturn]] void failOpen(uint32_t error, const char* step);
    void lineCall(uint32_t function, const char* line);
    [[noreturn]] void lineFailed(uint32_t error, const char* line) const;

    WinSerialSys* sys_;
    void* handle_ = nullptr; // the open device; null while closed
};

} // namespace serial
