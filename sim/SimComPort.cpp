#include "sim/SimComPort.h"

#include <string>

namespace sim {

namespace {

constexpr uint16_t highestPort = 4;

} // namespace

void SimComPort::checkLine(const char* line) const
{
    if (!open_)
        throw serial::ELineError(std::string(line) + ": the port is not open");
    // As a USB serial adapter's tty answers once it is pulled out.
    if (device_.unplugged())
        throw serial::ELineError(serial::comPortName(number_) + ": the " + line +
                                 " line call failed: Input/output error (the device is gone)");
}

SimComPort::SimComPort(Atmega128& device)
    : device_(device)
{
}

void SimComPort::SetComNumber(uint16_t number)
{
    if (number == number_)
        return;
    const bool wasOpen = open_;
    open_ = false;
    number_ = number;
    if (wasOpen)
        SetOpen(true);
}

void SimComPort::SetOpen(bool open)
{
    if (!open) {
        open_ = false;
        return;
    }
    if (open_)
        return;
    if (number_ == 0)
        throw serial::ENoPortSelected("No port selected");
    if (number_ == badPort || number_ > highestPort)
        throw serial::EBadId(serial::comPortName(number_) + ": no such port");
    if (number_ == busyPort)
        throw serial::EAlreadyOpen(serial::comPortName(number_) + " is in use by another program");
    open_ = true;
}

void SimComPort::SetRTS(bool level)
{
    checkLine("RTS");
    rts_ = level;
    device_.setRts(level);
}

void SimComPort::SetDTR(bool level)
{
    checkLine("DTR");
    dtr_ = level;
    device_.setDtr(level);
}

bool SimComPort::GetCTS()
{
    checkLine("CTS");
    return device_.cts();
}

} // namespace sim
