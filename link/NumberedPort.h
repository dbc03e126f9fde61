// What the system ports share: a port chosen by number and opened on
// demand on the device of that number. Changing the number of an open port
// closes it and opens the new one; with number 0 it stays closed.
#pragma once

#include "link/ComPort.h"

#include <cstdint>
#include <string>

namespace serial {

class NumberedPort : public ComPort {
public:
    void SetComNumber(uint16_t number) final
    {
        if (number == number_)
            return;
        const bool wasOpen = GetOpen();
        close();
        number_ = number;
        // With no number there is nothing to reopen; the port just stays closed.
        if (wasOpen && number_ != 0)
            open();
    }
    uint16_t GetComNumber() const final { return number_; }
    void SetOpen(bool open) final
    {
        if (open)
            this->open();
        else
            close();
    }

    // The device the open port was opened on; empty while closed.
    const std::string& devicePath() const { return path_; }

protected:
    // Opens the port of number_, unless it is open already; reports failure
    // as SetOpen does.
    virtual void open() = 0;
    virtual void close() noexcept = 0;

    std::string name() const { return comPortName(number_); }
    // A line used while the port is closed.
    [[noreturn]] void notOpen(const char* line) const
    {
        throw ELineError(name() + ": cannot use the " + line + " line, the port is not open");
    }

    uint16_t number_ = 0;
    std::string path_;
};

} // namespace serial
