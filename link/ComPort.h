// The serial-port component the device link drives. Only the modem-control
// lines are used: RTS carries the clock, DTR the data to the instrument and
// CTS the data from it; no character ever goes through the UART.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace serial {

class LineBatch;

// Every failure of the port component is one of these, so callers can catch
// them by kind.
class EComPortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The port number does not name a port that can be opened (missing device,
// or no permission to open it).
class EBadId : public EComPortError {
public:
    using EComPortError::EComPortError;
};

// Open was requested with port number 0.
class ENoPortSelected : public EComPortError {
public:
    using EComPortError::EComPortError;
};

// Another program (or another port object) holds the port.
class EAlreadyOpen : public EComPortError {
public:
    using EComPortError::EComPortError;
};

// A modem-line call failed after the port was opened (adapter unplugged,
// line operation not supported by the device), or a line was used while the
// port was closed. Carries the operating system's reason.
class ELineError : public EComPortError {
public:
    using EComPortError::EComPortError;
};

// The operator's name of port number n: "COM1" for 1.
inline std::string comPortName(uint16_t number)
{
    return "COM" + std::to_string(number);
}

class ComPort {
public:
    virtual ~ComPort() = default;

    // 1 selects COM1; 0 selects none. Changing the number of an open port
    // closes it and opens the new one.
    virtual void SetComNumber(uint16_t number) = 0;
    virtual uint16_t GetComNumber() const = 0;

    virtual void SetOpen(bool open) = 0;
    virtual bool GetOpen() const = 0;

    // Each takes effect before it returns.
    virtual void SetRTS(bool level) = 0;
    virtual void SetDTR(bool level) = 0;
    // True for an asserted line.
    virtual bool GetCTS() = 0;

    // Ports this component opens beyond COM1 to COM4, by name, numbered on
    // from 5 in this order (USB adapters found when it was made).
    virtual std::vector<std::string> GetExtraPorts() const { return {}; }
    // The open port's way of clocking whole byte exchanges from a buffer, or
    // null when every line call goes out on its own.
    virtual LineBatch* GetLineBatch() { return nullptr; }
    // For the operator, before an update: the selected port is the slow way
    // to a USB adapter (an update takes hours), and which port is the fast
    // one; empty when it is not.
    virtual std::string GetSlowPortWarning() const { return {}; }
};

} // namespace serial
