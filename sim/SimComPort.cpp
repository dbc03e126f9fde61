#include "sim/SimComPort.h"

#include <string>

namespace sim {

namespace {

constexpr uint16_t highestPort = 4;

} // namespace

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
    if (!open_)
        throw serial::ELineError("RTS: the port is not open");
    rts_ = level;
    device_.setRts(level);
}

void SimComPort::SetDTR(bool level)
{
    if (!open_)
        throw serial::ELineError("DTR: the port is not open");
    dtr_ = level;
    device_.setDtr(level);
}

bool SimComPort::GetCTS()
{
    if (!open_)
        throw serial::ELineError("CTS: the port is not open");
    return device_.cts();
}

} // namespace sim
